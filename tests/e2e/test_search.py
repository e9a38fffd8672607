"""The searches for an installed version, as the chainer's log tells them, against real evidence in
the prefix: files with version resources of our own, registry keys and values in both views,
Windows Installer packages built by wixl and installed with msiexec, folders.

Every prerequisite is shipped with the setup, so one that is not found "must be installed from
package"; no mode letter is given, so nothing is installed and the selection shows only in the log.
"""

import pytest

from harness import prerequisite_sections, read_log

LOG = r"C:\package\run.log"
END_LINE = "=====================End of Log====================="
KEY = r"HKLM\Software\QuillonSearchTest"

FOUND = "Search result:An acceptable version was found."
FROM_PACKAGE = "Search result:No acceptable version found. It must be installed from package."
NOTHING_TO_DO = "No prerequisite must be installed."
REBOOT_STATE = "After running prerequisites we have:  Reboot was required=false"

PRODUCT_ONE = "{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21}"  # 2.5.1
PRODUCT_TWO = "{B3E8F5C2-7A14-4D6B-8E29-1F0C6A3D5B97}"  # 3.1
UPGRADE_CODE = "{0E4B6A52-8D1C-4F3B-B2A7-5C9E1D7F3A64}"
COMPONENT_ONE = "{9A7C2E41-5B3D-4E8F-A1C6-2D4B7F9E0C35}"
NEVER_INSTALLED = "{00000000-1111-2222-3333-444444444444}"


def entry(kind: int, search: str, ver_min: str = "", ver_max: str = "", n: int = 1, **more) -> dict:
    keys = {f"SearchType{n}": str(kind), f"SearchString{n}": search}
    if ver_min:
        keys[f"VerMin{n}"] = ver_min
    if ver_max:
        keys[f"VerMax{n}"] = ver_max
    for name, value in more.items():
        keys[f"{name}{n}"] = value
    return keys


def prerequisite(*entries: dict, operator: int = 0, options: str = "") -> dict:
    keys = {"SetupFile": r"pkg\setup.exe", "Operator": str(operator)}
    if options:
        keys["Options"] = options
    for e in entries:
        keys.update(e)
    return keys


def check_run(prefix, apps: list[tuple[str, dict, bool]]):
    """Runs setup.exe with the prerequisites [(name, keys, expected found)] and asserts the whole
    evaluation log: one search line and one result line per prerequisite in order, then the
    selection of those not found, and exit code 0."""
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(prerequisite_sections(apps, "", LOG))

    result = chainer.run(timeout=60)

    assert result.exit_code == 0
    entries = read_log(prefix.unix_path(LOG)).entries
    assert entries[-1] == END_LINE
    expected = []
    for name, _, found in apps:
        expected += ["Searching for:" + name, FOUND if found else FROM_PACKAGE]
    missing = [name for name, _, found in apps if not found]
    expected += ["Prerequisite selected for install:" + name for name in missing]
    expected.append(REBOOT_STATE if missing else NOTHING_TO_DO)
    assert entries[:-1] == expected


def test_file_versions_by_path_reference_depth_and_bare_name(prefix):
    prefix.install("fixture-versioned.dll", folder=r"C:\evidence", name="lib.dll")  # 1.2.3.4
    prefix.install("fixture-unversioned.dll", folder=r"C:\evidence", name="plain.dll")
    prefix.install("fixture-dllversion.dll", folder=r"C:\evidence\one\two", name="quillon-deep.dll")  # 9.8.7.6
    prefix.install("fixture-dllversion.dll", folder=r"C:\quillon-evidence\one\two", name="quillon-deeper.dll")
    prefix.install("fixture-versioned.dll", folder="C:\\", name="quillon-root.dll")
    # A file only in the 64-bit system folder: a 32-bit process sees it through system32 only
    # with redirection off.
    prefix.install("fixture-versioned.dll", folder=r"C:\windows\system32", name="quillon-native.dll")

    check_run(prefix, [
        ("By path", prerequisite(entry(0, r"C:\evidence\lib.dll", "1.2")), True),
        ("By path, too old", prerequisite(entry(0, r"C:\evidence\lib.dll", "1.3")), False),
        ("In range", prerequisite(entry(0, r"C:\evidence\lib.dll", "1.0", "1.2.3.4")), True),
        ("Above range", prerequisite(entry(0, r"C:\evidence\lib.dll", "", "1.2")), False),
        ("By reference", prerequisite(entry(0, r"%SystemDrive%\evidence\lib.dll", "1.2")), True),
        ("By folder property", prerequisite(entry(0, r"[WindowsVolume]evidence\lib.dll", "1")), True),
        ("System library by folder property", prerequisite(entry(0, r"[SystemFolder]kernel32.dll", "6.0")), True),
        ("No version, no bounds", prerequisite(entry(0, r"C:\evidence\plain.dll")), True),
        ("No version, a bound", prerequisite(entry(0, r"C:\evidence\plain.dll", "0.1")), False),
        ("One level down", prerequisite(entry(0, r"C:\evidence\one\quillon-deep.dll?1", "9.8")), True),
        ("Depth too small", prerequisite(entry(0, r"C:\evidence\quillon-deep.dll?1")), False),
        ("Bare name", prerequisite(entry(0, "quillon-root.dll", "1.2.3.4")), True),
        ("Bare name, depth 3", prerequisite(entry(0, "quillon-deeper.dll?3", "9.8.7.6")), True),
        ("Bare name, depth 2", prerequisite(entry(0, "quillon-deeper.dll?2")), False),
        # Drive roots list no "." (on NTFS as under Wine): their first folder, here C:\evidence, is
        # searched like every other one.
        ("Bare name in the first folder", prerequisite(entry(0, "quillon-deep.dll?3", "9.8")), True),
        ("Missing folder", prerequisite(entry(0, r"C:\no such folder\lib.dll")), False),
        ("Native, with x", prerequisite(entry(0, r"C:\windows\system32\quillon-native.dll", "1.2"), options="x"),
         True),
        ("Native, without x", prerequisite(entry(0, r"C:\windows\system32\quillon-native.dll")), False),
    ])


def test_registry_in_both_views(prefix):
    for view, version in ((64, "6.4"), (32, "3.2")):
        prefix.reg_import(f"""[{KEY.replace('HKLM', 'HKEY_LOCAL_MACHINE')}]
"Version"="{version}"
"Only{view}"="yes"
"Phrase"="NOT OK"
"Count"=dword:0000000c

[{KEY.replace('HKLM', 'HKEY_LOCAL_MACHINE')}\\Versions\\{version}]

[{KEY.replace('HKLM', 'HKEY_LOCAL_MACHINE')}\\Names]
"{version}"=""
""", view=view)

    apps = [
        ("Subkeys 64", prerequisite(entry(1, KEY + r"\Versions", "6"), options="x"), True),
        ("Subkeys 32", prerequisite(entry(1, KEY + r"\Versions", "6")), False),
        ("Value text 64", prerequisite(entry(2, KEY + r"\Version", "6.4", "6.4"), options="x"), True),
        ("Value text 32", prerequisite(entry(2, KEY + r"\Version", "3.2", "3.2")), True),
        ("Key exists", prerequisite(entry(5, KEY + r"\Names")), True),
        ("Key missing", prerequisite(entry(6, KEY + r"\Nothing")), True),
        ("Key not missing", prerequisite(entry(6, KEY + r"\Names"), options="x"), False),
        ("Value exists 64", prerequisite(entry(7, KEY + r"\Only64"), options="x"), True),
        ("Value exists 32", prerequisite(entry(7, KEY + r"\Only64")), False),
        ("Value missing 32", prerequisite(entry(8, KEY + r"\Only32"), options="x"), True),
        ("Value names 64", prerequisite(entry(12, KEY + r"\Names", "6"), options="x"), True),
        ("Value names 32", prerequisite(entry(12, KEY + r"\Names", "6")), False),
        ("No root", prerequisite(entry(5, r"Software\QuillonSearchTest")), False),
    ]
    # Every comparison letter on real values; the 64-bit view holds the same texts.
    for letter, operand, value, found in [
        ("M", "NOT OK", "Phrase", True), ("D", "NOT OK", "Phrase", False), ("C", "OK", "Phrase", True),
        ("X", "OK", "Phrase", False), ("S", "OK", "Phrase", False), ("S", "NOT", "Phrase", True),
        ("E", "OK", "Phrase", True), ("G", "10", "Count", True), ("L", "10", "Count", False),
        ("G", "1a", "Count", False), ("Q", "", "Phrase", False), ("M", "3.2", "Version", True),
    ]:
        apps.append((f"Compare {letter}{operand} on {value}",
                     prerequisite(entry(9, KEY + "\\" + value, RefContent=letter + operand)), found))
    apps.append(("Compare in the 64-bit view",
                 prerequisite(entry(9, KEY + r"\Version", RefContent="M6.4"), options="x"), True))
    apps.append(("Compare, no value", prerequisite(entry(9, KEY + r"\Nothing", RefContent="D1")), False))
    check_run(prefix, apps)


def test_windows_installer_products_upgrade_codes_and_components(prefix):
    for package in ("search-product.msi", "search-product-two.msi"):
        prefix.install(package, folder=r"C:\msi")
        assert prefix.run(r"C:\windows\system32\msiexec.exe", "/i", "C:\\msi\\" + package, "/qn",
                          timeout=60).exit_code == 0
    check_run(prefix, [
        ("Product", prerequisite(entry(3, PRODUCT_ONE, "2.5", "2.5.1")), True),
        ("Product too old", prerequisite(entry(3, PRODUCT_ONE, "2.6")), False),
        ("Product not installed", prerequisite(entry(3, NEVER_INSTALLED)), False),
        ("Upgrade code, newer one", prerequisite(entry(4, UPGRADE_CODE, "3")), True),
        ("Upgrade code, older one", prerequisite(entry(4, UPGRADE_CODE, "", "2.6")), True),
        ("Upgrade code, none in range", prerequisite(entry(4, UPGRADE_CODE, "2.6", "3.0")), False),
        ("Component", prerequisite(entry(11, COMPONENT_ONE)), True),
        ("Component not installed", prerequisite(entry(11, NEVER_INSTALLED)), False),
        ("Not a code", prerequisite(entry(3, "6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21")), False),
        ("Not an upgrade code", prerequisite(entry(4, "upgrade")), False),
        ("Not a component code", prerequisite(entry(11, "{" + "Z" * 36 + "}")), False),
    ])


def test_programs_folders_operators_and_unknown_kinds(prefix):
    for name in ("2.0", "4.0"):
        (prefix.unix_path(r"C:\evidence\versions") / name).mkdir(parents=True)
    prefix.reg_add(KEY, "Present", "1", view=32)
    present = entry(5, KEY, n=2)
    absent = entry(5, KEY + r"\Absent", n=1)

    check_run(prefix, [
        ("Sub-folders", prerequisite(entry(14, r"C:\evidence\versions", "3")), True),
        ("Sub-folders too old", prerequisite(entry(14, r"C:\evidence\versions\\", "5")), False),
        ("Sub-folders of no folder", prerequisite(entry(14, r"C:\evidence\none")), False),
        # No payload source: the program path is empty, so the program never runs.
        ("Program", prerequisite(entry(10, "probe.exe", SearchCmdLine="/exit:0")), False),
        ("Program, then a key", prerequisite(entry(10, "probe.exe", SearchCmdLine="/exit:0"), present, operator=1),
         True),
        ("And, first fails", prerequisite(absent, present, operator=0), False),
        ("And, both hold", prerequisite(entry(5, KEY), present, operator=0), True),
        ("Or, second holds", prerequisite(absent, present, operator=1), True),
        ("Other operator", prerequisite(present, operator=2), False),
        ("Unknown kind", prerequisite(entry(20, r"C:\nothing", "99")), True),
    ])


@pytest.mark.parametrize("kind", [0, 1, 2, 3, 4, 5, 7, 9, 11, 12, 14])
def test_bad_search_strings_are_not_satisfied(prefix, kind):
    # (A lone backslash is no bad input: as a registry path it names HKEY_USERS, as a folder the
    # current drive's root.)
    bad = ["", "?", "??", r"C:\evidence" + "\\", r"C:\evidence\x.dll?-1", r"C:\evidence\x.dll?999999",
           r"Software\NoRoot\Value", "not a guid", "x" * 65536]
    check_run(prefix, [(f"Bad {n}", prerequisite(entry(kind, text, RefContent="D")), False)
                       for n, text in enumerate(bad, 1)])

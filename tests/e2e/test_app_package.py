"""Installed MSIX and AppX packages, as the AppxPackage search finds them through the Windows package
manager. Wine has no package manager, so a stand-in of our own (winrt-double.dll) is registered as
the runtime class in the 32-bit registry view the chainer reads; it lists the packages its
winrt-double.txt names.

Every prerequisite is shipped with the setup and no mode letter is given, so nothing is installed:
the evaluation shows in the log only.
"""

import pytest

from harness import read_log

LOG = r"C:\package\run.log"
END_LINE = "=====================End of Log====================="
FOUND = "Search result:An acceptable version was found."
FROM_PACKAGE = "Search result:No acceptable version found. It must be installed from package."
NOTHING_TO_DO = "No prerequisite must be installed."
REBOOT_STATE = "After running prerequisites we have:  Reboot was required=false"

CLASSES = r"HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId"
DOUBLE_FOLDER = r"C:\winrt-double"
VERSION_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"

# name, publisher, ProcessorArchitecture value, version; listed in this order.
INSTALLED = [
    ("Contoso.App", "CN=Contoso", 9, "1.2.0.0"),
    ("Contoso.Tools", "CN=Contoso", 12, "3.4.5.6"),
    ("Fabrikam.App", "CN=Fabrikam", 0, "2.0.0.1"),
    ("Contoso.App", "CN=Contoso", 0, "5.0.0.0"),
]


def install_double(prefix, deploy: str = "completed", packages=INSTALLED):
    dll = prefix.install("winrt-double.dll", folder=DOUBLE_FOLDER)
    lines = [f"deploy={deploy}"] + [f"package={n}|{p}|{a}|{v}" for n, p, a, v in packages]
    (dll.parent / "winrt-double.txt").write_text("\n".join(lines) + "\n", encoding="utf-8")
    for runtime_class in ("Windows.Management.Deployment.PackageManager", "Windows.Foundation.Uri"):
        prefix.reg_add(CLASSES + "\\" + runtime_class, "DllPath", DOUBLE_FOLDER + r"\winrt-double.dll", view=32)
    return dll.parent


def appx(search: str, ver_min: str = "", ver_max: str = "") -> dict:
    keys = {"SetupFile": r"pkg\setup.exe", "Operator": "0", "SearchType1": "13", "SearchString1": search}
    if ver_min:
        keys["VerMin1"] = ver_min
    if ver_max:
        keys["VerMax1"] = ver_max
    return keys


def check_run(prefix, apps: list[tuple[str, dict, bool]]):
    """Runs setup.exe with the prerequisites [(name, keys, expected found)] and asserts the whole
    evaluation log and exit code 0."""
    chainer = prefix.install_chainer("setup.exe")
    sections = {"GeneralOptions": {"Options": ""},
                "PREREQUISITES": {f"App{n}": name for n, (name, _, _) in enumerate(apps, 1)}}
    for n, (_, keys, _) in enumerate(apps, 1):
        sections[f"App{n}"] = keys
    sections["PREREQ_CHAINER"] = {"LogFile": LOG}
    chainer.write_ini(sections)

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


def test_packages_match_by_exact_name_architecture_and_publisher(prefix):
    install_double(prefix)
    check_run(prefix, [
        ("ByName", appx("Contoso.App", "1.2", "1.2"), True),
        # The first package of that name decides: the later 5.0 build is never looked at.
        ("FirstOfTheName", appx("Contoso.App", "2.0"), False),
        ("OtherLetterCase", appx("contoso.app"), False),
        ("ByArchitecture", appx("Contoso.App?x86", "5.0", "5.0"), True),
        ("PartsTrimmed", appx(" Contoso.App ?  x86 ", "5.0"), True),
        ("OnlyArm64Installed", appx("Contoso.Tools?x64"), False),
        ("AllThreeParts", appx("Contoso.Tools?arm64?CN=Contoso", "3.4.5.6", "3.4.5.6"), True),
        ("OtherPublisher", appx("Contoso.App?x64?CN=Fabrikam"), False),
        # The empty middle part is skipped, so the publisher stands where the architecture goes.
        ("EmptyMiddlePart", appx("Contoso.Tools??CN=Contoso"), False),
        ("AnyVersionOfX86", appx("Fabrikam.App?x86"), True),
        ("NotInstalled", appx("Northwind.App"), False),
    ])
    # A search asks for nothing to be added.
    assert not (prefix.unix_path(DOUBLE_FOLDER) / "winrt-double.log").exists()


def test_an_empty_package_list_finds_nothing(prefix):
    install_double(prefix, packages=[])
    check_run(prefix, [("Any", appx("Contoso.App"), False)])


@pytest.mark.parametrize("setup", ["no package manager", "Windows 7"])
def test_without_a_package_manager_nothing_is_found(prefix, setup):
    if setup == "Windows 7":
        # Older systems are not asked at all, even with a package manager in reach.
        install_double(prefix)
        for name in ("CurrentMajorVersionNumber", "CurrentMinorVersionNumber"):
            assert prefix.reg_delete(VERSION_KEY, name, view=64)
        for name, value in {"CurrentVersion": "6.1", "CurrentBuildNumber": "7601",
                            "CSDVersion": "Service Pack 1"}.items():
            prefix.reg_add(VERSION_KEY, name, value, view=64)
    # Wine itself registers no package manager: activation fails and the search ends empty.
    check_run(prefix, [("Contoso", appx("Contoso.App"), False)])

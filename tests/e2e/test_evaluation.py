"""What the chainer decides for each prerequisite, as its log tells: the filters, the searches, the
outcome and the selection with parents and children.

Every scenario starts with an InterbootContext key left behind (as by a pass that a restart cut
short) and checks that the run removed it. A configuration whose Options hold neither q nor b
installs nothing, so the selection shows only in the "Prerequisite selected for install:" lines.
"""

import pytest

from harness import read_log

LOG = r"C:\package\run.log"
END_LINE = "=====================End of Log====================="
CONTEXT_KEY = r"HKCU\InterbootContext"
TEST_KEY = r"HKLM\Software\QuillonEvaluationTest"

FOUND = "Search result:An acceptable version was found."
FROM_PACKAGE = "Search result:No acceptable version found. It must be installed from package."
DOWNLOAD = "Search result:No acceptable version found. It must be downloaded."
FROM_SITE = "Search result:No acceptable version found. It must be downloaded manually from a site."
NOTHING_TO_DO = "No prerequisite must be installed."
REBOOT_STATE = "After running prerequisites we have:  Reboot was required=false"
ALL_64BIT_VERSIONS = "Windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64"


def setup_file(found: bool, **keys) -> dict:
    """A prerequisite shipped with the setup and without searches: Operator 0 counts as found,
    any other operator as not found."""
    return {"SetupFile": r"pkg\setup.exe", "Operator": "0" if found else "1", **keys}


def run_chainer(prefix, apps: list[tuple[str, dict]], options: str = "", general: dict | None = None,
                env: dict | None = None, timeout: float = 20):
    """Runs setup.exe with the prerequisites `apps` ([(name, keys)]); returns the log entries
    before the end line. Asserts exit code 0 and that InterbootContext is gone afterwards."""
    prefix.reg_add(CONTEXT_KEY, "Earlier", "3010", view=64)
    chainer = prefix.install_chainer("setup.exe")
    sections = {"GeneralOptions": {"Options": options, **(general or {})}}
    if apps:
        sections["PREREQUISITES"] = {f"App{n}": name for n, (name, _) in enumerate(apps, 1)}
        for n, (_, keys) in enumerate(apps, 1):
            sections[f"App{n}"] = keys
    sections["PREREQ_CHAINER"] = {"LogFile": LOG}
    chainer.write_ini(sections)

    result = chainer.run(env=env, timeout=timeout)

    assert result.exit_code == 0
    assert prefix.reg_values(CONTEXT_KEY, view=64) is None
    entries = read_log(prefix.unix_path(LOG)).entries
    assert entries[-1] == END_LINE
    return entries[:-1]


def evaluated(name: str, result: str) -> list[str]:
    return ["Searching for:" + name, result]


def selected(*names: str) -> list[str]:
    return ["Prerequisite selected for install:" + name for name in names]


def test_outcome_follows_search_and_location_kind(prefix):
    entries = run_chainer(prefix, [
        ("Runtime", setup_file(True)),
        ("Package", setup_file(False)),
        ("Download", {"Url": "http://127.0.0.1/dl/setup.exe", "Operator": "1"}),
        ("Site", {"OpenSite": "http://127.0.0.1/site", "Operator": "1"}),
        ("Other operator", setup_file(False, Operator="7")),
    ])

    assert entries == (evaluated("Runtime", FOUND) + evaluated("Package", FROM_PACKAGE)
                       + evaluated("Download", DOWNLOAD) + evaluated("Site", FROM_SITE)
                       + evaluated("Other operator", FROM_PACKAGE)
                       + selected("Package", "Download", "Site", "Other operator") + [REBOOT_STATE])


@pytest.mark.parametrize("options", ["q", ""], ids=["silent", "no mode letter"])
def test_everything_installed_means_nothing_to_do(prefix, options):
    entries = run_chainer(prefix, [("A", setup_file(True)), ("B", setup_file(True, Options="m"))], options)

    assert entries == evaluated("A", FOUND) + evaluated("B", FOUND) + [NOTHING_TO_DO]


def test_without_prerequisites_nothing_is_logged(prefix):
    assert run_chainer(prefix, [], "q") == []


@pytest.mark.parametrize("keys, excluded", [
    ({"WinNT64Versions": "Windows 10 x64"}, True),
    ({"WinNT64Versions": "Windows 7 x64, Windows 10 version 1903 x64"}, True),
    ({"WinNT64Versions": ALL_64BIT_VERSIONS}, True),
    ({"WinNT64Versions": "windows 10 x64"}, False),  # names match exactly, letter case included
    ({"WinNTVersions": "Windows 10 x64, Windows 10 x86"}, False),  # the 32-bit list: not this Windows
], ids=["family", "release in a list", "every version", "other case", "32-bit list"])
def test_operating_system_filter(prefix, keys, excluded):
    # The golden prefix is Windows 10 version 1903, 64-bit.
    entries = run_chainer(prefix, [("Filtered", setup_file(False, **keys)), ("Next", setup_file(True))])

    if excluded:
        assert entries == ["Wrong OS or Os language for:Filtered"] + evaluated("Next", FOUND) + [NOTHING_TO_DO]
    else:
        assert entries == (evaluated("Filtered", FROM_PACKAGE) + evaluated("Next", FOUND) + selected("Filtered")
                           + [REBOOT_STATE])


@pytest.mark.parametrize("excluded_list, excluded", [
    ("Windows 11 x64", True), ("Windows 11 version 23H2 x64", True), ("Windows 10 x64", False),
])
def test_operating_system_filter_on_windows_11(prefix, excluded_list, excluded):
    # Build 22631 of the 10.0 registry version is Windows 11 version 23H2.
    prefix.reg_add(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "CurrentBuildNumber", "22631", view=64)
    entries = run_chainer(prefix, [("Filtered", setup_file(True, WinNT64Versions=excluded_list))])

    if excluded:
        assert entries == ["Wrong OS or Os language for:Filtered", NOTHING_TO_DO]
    else:
        assert entries == evaluated("Filtered", FOUND) + [NOTHING_TO_DO]


@pytest.mark.parametrize("locale, language, allowed", [
    ("de_DE.UTF-8", "1031-German (Germany)", True),
    ("de_AT.UTF-8", "3079-German (Austria)", True),
    ("fr_FR.UTF-8", "1036-French (France)", False),
    ("en_US.UTF-8", "1033-English (United States)", False),
])
def test_language_filter_follows_the_system_language(prefix, locale, language, allowed):
    # Wine takes the system language from LC_ALL of each call and names it in English.
    entries = run_chainer(prefix, [("German", setup_file(False, LanguageList="1031;3079"))],
                          env={"LC_ALL": locale})

    language_line = "SystemDefault LangID=" + language
    if allowed:
        assert entries == [language_line] + evaluated("German", FROM_PACKAGE) + selected("German") + [REBOOT_STATE]
    else:
        assert entries == [language_line, "Wrong OS or Os language for:German", NOTHING_TO_DO]


def test_processor_filter_on_an_x64_machine(prefix):
    # Wine's IsWow64Process2 names an x64 machine; 64-bit ARM is covered by the unit tests only.
    entries = run_chainer(prefix, [
        ("Not on ARM", setup_file(False, Options="c")),
        ("Only on ARM", setup_file(False, Options="d")),
        ("Neither", setup_file(False, Options="cd")),
        ("Plain", setup_file(False, Options="C D")),  # the letters are case-sensitive
    ])

    assert entries == (evaluated("Not on ARM", FROM_PACKAGE) + evaluated("Plain", FROM_PACKAGE)
                       + selected("Not on ARM", "Plain") + [REBOOT_STATE])


def test_parents_and_children(prefix):
    entries = run_chainer(prefix, [
        ("Child first", setup_file(False, ParentPrereq="Parent")),
        ("Parent", setup_file(False)),
        ("Installed parent", setup_file(True)),
        ("Its child", setup_file(False, ParentPrereq="Installed parent")),
        ("Orphan", setup_file(False, ParentPrereq="Nobody")),
        ("Installed child", setup_file(True, ParentPrereq="Parent")),
        ("Unsupported child", setup_file(False, ParentPrereq="Parent", Options="d")),
        ("Case", setup_file(False, ParentPrereq="parent")),
    ])

    assert entries == (evaluated("Child first", FROM_PACKAGE) + evaluated("Parent", FROM_PACKAGE)
                       + evaluated("Installed parent", FOUND) + evaluated("Its child", FROM_PACKAGE)
                       + evaluated("Orphan", FROM_PACKAGE) + evaluated("Installed child", FOUND)
                       + evaluated("Case", FROM_PACKAGE)
                       # the child selects its parent at once; the installed parent stays out
                       + selected("Child first", "Parent", "Its child", "Orphan", "Case") + [REBOOT_STATE])


def test_no_search_counts_as_not_installed(prefix):
    entries = run_chainer(prefix, [
        ("Forced", setup_file(True, Options="i")),
        ("Forced download", {"Url": "http://127.0.0.1/f.exe", "Operator": "0", "Options": "im"}),
        ("Forced but excluded", setup_file(True, Options="id")),
    ])

    assert entries == (evaluated("Forced", FROM_PACKAGE) + evaluated("Forced download", DOWNLOAD)
                       + selected("Forced", "Forced download") + [REBOOT_STATE])


def test_downloads_with_file_urls_and_packages_on_disk(prefix):
    # Whether the package is present already decides later whether it is downloaded again; the
    # evaluation itself selects each of them for download.
    folder = prefix.unix_path(r"C:\dl")
    (folder / "Sub").mkdir(parents=True)
    (folder / "right.exe").write_bytes(b"x" * 100)
    (folder / "Sub" / "named.exe").write_bytes(b"x" * 7)
    apps = [
        ("File URL", {"Url": "file:///C:/nowhere/setup.exe", "Operator": "1", "ExactSize": "5"}),
        ("Right size", {"Url": "http://127.0.0.1/right.exe", "Operator": "1", "ExactSize": "100"}),
        ("Wrong size", {"Url": "http://127.0.0.1/right.exe", "Operator": "1", "ExactSize": "99"}),
        ("Absent", {"Url": "http://127.0.0.1/absent.exe", "Operator": "1"}),
        ("Named", {"Url": "http://127.0.0.1/x.exe", "Operator": "1", "Folder": "Sub?named.exe"}),
    ]
    entries = run_chainer(prefix, apps, general={"DownloadFolder": r"C:\dl"})

    expected = []
    for name, _ in apps:
        expected += evaluated(name, DOWNLOAD)
    assert entries == expected + selected(*(name for name, _ in apps)) + [REBOOT_STATE]
    assert sorted(p.name for p in folder.rglob("*")) == ["Sub", "named.exe", "right.exe"]  # nothing touched


@pytest.mark.parametrize("x, view, found", [
    ("", 32, True), ("", 64, False), ("x", 64, True), ("x", 32, False),
], ids=["32-bit key", "64-bit key unseen", "64-bit key with x", "32-bit key unseen with x"])
def test_registry_key_search_in_the_view_of_the_x_switch(prefix, x, view, found):
    prefix.reg_add_key(TEST_KEY + r"\Present", view=view)
    entries = run_chainer(prefix, [
        ("Key", setup_file(False, Options=x, Operator="0", SearchType1="5", SearchString1=TEST_KEY + r"\Present")),
        ("No key", setup_file(False, Options=x, Operator="0", SearchType1="6", SearchString1=TEST_KEY + r"\Absent")),
    ])

    result = FOUND if found else FROM_PACKAGE
    tail = [REBOOT_STATE] if not found else [NOTHING_TO_DO]
    assert entries == (evaluated("Key", result) + evaluated("No key", FOUND)
                       + (selected("Key") if not found else []) + tail)


def test_a_thousand_prerequisites_are_all_evaluated(prefix):
    apps = [(f"P{n}", setup_file(n % 2 == 0, **({"ParentPrereq": f"P{n - 1}"} if n % 4 == 3 else {})))
            for n in range(1, 1001)]
    entries = run_chainer(prefix, apps, timeout=120)

    expected = []
    for name, keys in apps:
        expected += evaluated(name, FOUND if keys["Operator"] == "0" else FROM_PACKAGE)
    # Every odd one must be installed; its parent (even, installed) stays unselected.
    expected += selected(*(name for name, keys in apps if keys["Operator"] != "0")) + [REBOOT_STATE]
    assert entries == expected


@pytest.mark.parametrize("installed_version, expected_selection", [
    ("2.0", ["Add-on"]),               # the runtime is there: only the add-on is installed
    ("1.0", ["Runtime", "Add-on"]),    # an older runtime: the add-on brings its parent along
], ids=["runtime current", "runtime old"])
def test_selection_from_registry_evidence(prefix, installed_version, expected_selection):
    prefix.reg_add(TEST_KEY + r"\Runtime", "Version", installed_version, view=32)
    runtime_value = TEST_KEY + r"\Runtime\Version"
    entries = run_chainer(prefix, [
        ("Runtime", setup_file(False, Operator="0", SearchType1="9", SearchString1=runtime_value, RefContent1="M2.0")),
        ("Add-on", setup_file(False, Operator="0", ParentPrereq="Runtime",
                              SearchType1="7", SearchString1=TEST_KEY + r"\Addon\Version")),
    ])

    runtime_result = FOUND if installed_version == "2.0" else FROM_PACKAGE
    assert entries == (evaluated("Runtime", runtime_result) + evaluated("Add-on", FROM_PACKAGE)
                       + selected(*expected_selection) + [REBOOT_STATE])

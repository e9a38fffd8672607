"""MSIX and AppX packages through the Windows package manager: the AppxPackage search among the
installed packages, and silent installations of msix, appx and msixbundle files. Wine has no package
manager, so a stand-in of our own (winrt-double.dll) is registered as the runtime class in the 32-bit
registry view the chainer reads; its winrt-double.txt names the installed packages and how a
deployment ends, and its winrt-double.log records the packages it was asked to add.

In the search scenarios every prerequisite is shipped with the setup and no mode letter is given,
so nothing is installed: the evaluation shows in the log only.
"""

import pytest

from harness import prerequisite_sections, read_log
from test_search import check_run  # the whole evaluation log of a run, checked line by line

LOG = r"C:\package\run.log"
END_LINE = "=====================End of Log====================="
FOUND = "Search result:An acceptable version was found."
FROM_PACKAGE = "Search result:No acceptable version found. It must be installed from package."
REBOOT_STATE = "After running prerequisites we have:  Reboot was required=false"
SILENT = "Starting installing prerequisites in silent mode."

CLASSES = r"HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId"
DOUBLE_FOLDER = r"C:\winrt-double"
# The system text of ERROR_FUNCTION_FAILED (1627) as Wine words it; Windows says "Function failed
# during execution."
FUNCTION_FAILED_TEXT = "Function failed."
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


# -- installation through the package manager ----------------------------------------------------


def msix_package(file: str, options: str = "q") -> dict:
    """A prerequisite that is never found (no searches, Operator 1), shipped as `file` beside the chainer."""
    return {"SetupFile": "C:\\package\\" + file, "Operator": "1", "Options": options}


def ship(prefix, name: str) -> None:
    """Puts a package file beside the chainer; the stand-in never reads it."""
    folder = prefix.unix_path(r"C:\package")
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(b"package bytes")


def run_silent(prefix, apps: list[tuple[str, dict]]):
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(prerequisite_sections(apps, "q", LOG))
    prefix.unix_path(LOG).unlink(missing_ok=True)
    result = chainer.run(timeout=120)
    entries = read_log(prefix.unix_path(LOG)).entries
    assert entries[-1] == END_LINE
    return result, entries[:-1]


@pytest.mark.parametrize("deploy, code", [("completed", 0), ("later", 0), ("error", 1627), ("canceled", 1627),
                                          ("fail", 1627)])
def test_packages_are_added_through_the_package_manager_in_silent_mode(prefix, deploy, code):
    folder = install_double(prefix, deploy=deploy, packages=[])
    files = ["app.msix", "tools.appx", "suite.msixbundle"]
    for name in files:
        ship(prefix, name)
    apps = [(f"Package{n}", msix_package(name)) for n, name in enumerate(files, 1)]

    result, entries = run_silent(prefix, apps)

    names = [name for name, _ in apps]
    expected = []
    for name in names:
        expected += ["Searching for:" + name, FROM_PACKAGE]
    expected += ["Prerequisite selected for install:" + name for name in names] + [SILENT]
    for name in files:
        expected.append("Launching file:C:\\package\\" + name)
        if code:
            expected.append("Launch failed. Error:" + FUNCTION_FAILED_TEXT)
        expected.append(f"Return code of launched file:{code}")
    for name in names:
        expected += ["Searching for:" + name, FROM_PACKAGE]
    expected.append(REBOOT_STATE)
    assert entries == expected
    assert result.exit_code == 0  # nothing is mandatory
    # Each file went to the package manager once, by its path, unchanged.
    recorded = (folder / "winrt-double.log").read_text(encoding="utf-8").splitlines()
    assert recorded == ["C:\\package\\" + name for name in files]


def test_a_mandatory_package_the_manager_refuses_ends_the_run_with_1(prefix):
    install_double(prefix, deploy="error", packages=[])
    ship(prefix, "app.msix")
    result, entries = run_silent(prefix, [("Required", msix_package("app.msix", options="qm"))])
    assert "Return code of launched file:1627" in entries
    assert result.exit_code == 1


def test_without_a_package_manager_the_installation_fails(prefix):
    # Wine registers no package manager: activation fails, so the package counts as failed.
    ship(prefix, "app.msix")
    result, entries = run_silent(prefix, [("Package", msix_package("app.msix"))])
    assert entries[entries.index(SILENT) + 1:entries.index(SILENT) + 4] == [
        "Launching file:C:\\package\\app.msix", "Launch failed. Error:" + FUNCTION_FAILED_TEXT,
        "Return code of launched file:1627"]
    assert result.exit_code == 0


@pytest.mark.parametrize("deploy, found_after, exit_code", [("completed", True, 0), ("error", False, 1)])
def test_a_mandatory_package_is_found_again_only_when_its_deployment_completed(prefix, deploy, found_after,
                                                                                exit_code):
    install_double(prefix, deploy=deploy, packages=[])
    # A completed deployment makes the stand-in list the package from then on.
    with (prefix.unix_path(DOUBLE_FOLDER) / "winrt-double.txt").open("a", encoding="utf-8") as behaviour:
        behaviour.write("adds=Contoso.App|CN=Contoso|9|1.2.0.0\n")
    ship(prefix, "app.msix")
    keys = {**appx("Contoso.App?x64?CN=Contoso", "1.2"), **msix_package("app.msix", options="qm")}
    keys["Operator"] = "0"

    result, entries = run_silent(prefix, [("Contoso", keys)])

    expected = ["Searching for:Contoso", FROM_PACKAGE, "Prerequisite selected for install:Contoso", SILENT,
                r"Launching file:C:\package\app.msix"]
    if not found_after:
        expected.append("Launch failed. Error:" + FUNCTION_FAILED_TEXT)
    expected += [f"Return code of launched file:{0 if found_after else 1627}", "Searching for:Contoso",
                 FOUND if found_after else FROM_PACKAGE]
    if found_after:
        # Deselection is a change of selection, logged like one.
        expected.append("Prerequisite selected for install:Contoso")
    expected.append(REBOOT_STATE)
    assert entries == expected
    assert result.exit_code == exit_code

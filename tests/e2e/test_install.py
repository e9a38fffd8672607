"""Silent installation passes with real packages: the probe, which records how it was started and the
return codes recorded before it, and Windows Installer packages built by wixl, started through their
file association. What a calling installer sees: the exit code, the log, the registry."""

import json

from harness import prerequisite_sections, read_log

LOG = r"C:\package\run.log"
PROBE_LOG = r"C:\records\probe.jsonl"
END_LINE = "=====================End of Log====================="
CONTEXT = r"HKCU\InterbootContext"
FROM_PACKAGE = "Search result:No acceptable version found. It must be installed from package."
SILENT = "Starting installing prerequisites in silent mode."
NO_REBOOT = "After running prerequisites we have:  Reboot was required=false"

PRODUCT_ONE = "{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21}"  # search-product.msi, 2.5.1


def probe_package(code_args: str, options: str = "q", prop: str = "", setup_file: str = r"C:\package\probe.exe") -> dict:
    """A prerequisite that is never found (no searches, Operator 1) and runs the probe silently."""
    keys = {"SetupFile": setup_file, "Operator": "1", "CommandLine": code_args, "NoUiCommandLine": "/q",
            "Options": options}
    if prop:
        keys["RetValPropName"] = prop
    return keys


def prepare_pass(prefix, apps: list[tuple[str, dict]]):
    """Installs the probe and setup.exe with a silent configuration over the prerequisites; gives the
    chainer copy and the unix path of the probe's records."""
    prefix.install("probe.exe")
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(prerequisite_sections(apps, "q", LOG))
    records = prefix.unix_path(PROBE_LOG)
    records.parent.mkdir(parents=True, exist_ok=True)
    # Each pass starts with fresh records, so that one prefix can serve several passes.
    records.unlink(missing_ok=True)
    prefix.unix_path(LOG).unlink(missing_ok=True)
    return chainer, records


def probe_records(records) -> list[dict]:
    return [json.loads(line) for line in records.read_text(encoding="utf-8").splitlines()] if records.exists() else []


def finished_pass(prefix, records, ends: bool = True):
    entries = read_log(prefix.unix_path(LOG)).entries
    if ends or entries[-1:] == [END_LINE]:
        assert entries[-1] == END_LINE
        entries = entries[:-1]
    return entries, probe_records(records)


def run_pass(prefix, apps: list[tuple[str, dict]], ends: bool = True):
    """Runs setup.exe silently over the prerequisites; gives the result, log entries and probe records."""
    chainer, records = prepare_pass(prefix, apps)
    result = chainer.run(timeout=120, env={"PROBE_LOG": PROBE_LOG})
    entries, probes = finished_pass(prefix, records, ends)
    return result, entries, probes


def evaluation_lines(names: list[str]) -> list[str]:
    lines = []
    for name in names:
        lines += ["Searching for:" + name, FROM_PACKAGE]
    return lines + ["Prerequisite selected for install:" + name for name in names]


def launch_lines(path: str, code: int, failure: str | None = None) -> list[str]:
    lines = ["Launching file:" + path]
    if failure is not None:
        lines.append("Launch failed. Error:" + failure)
    return lines + [f"Return code of launched file:{code}"]


def reevaluation_lines(names: list[str]) -> list[str]:
    lines = []
    for name in names:
        lines += ["Searching for:" + name, FROM_PACKAGE]
    return lines


def test_return_codes_are_logged_and_recorded_first_code_winning(prefix):
    apps = [
        ("Zero", probe_package("/exit:0", prop="zero")),
        ("Fatal", probe_package("/exit:1603", prop="shared")),
        ("Reboot later", probe_package("/exit:3010", prop="reboot")),
        ("Restart started", probe_package("/exit:1641", prop="shared")),
        ("Crash", probe_package("/crash", prop="crash")),
        ("Missing", probe_package("/exit:0", prop="missing", setup_file=r"C:\package\absent.exe")),
        ("Last", probe_package("/exit:7")),
    ]
    result, entries, probes = run_pass(prefix, apps)

    names = [name for name, _ in apps]
    probe = r"C:\package\probe.exe"
    expected = evaluation_lines(names) + [SILENT]
    expected += launch_lines(probe, 0) + launch_lines(probe, 1603) + launch_lines(probe, 3010)
    expected += launch_lines(probe, 1641) + launch_lines(probe, 3221225477)
    # Wine's message for ERROR_FILE_NOT_FOUND; Windows says "The system cannot find the file specified."
    expected += launch_lines(r"C:\package\absent.exe", 2, "File not found.")
    expected += launch_lines(probe, 7)
    expected += reevaluation_lines(names) + [NO_REBOOT]
    assert entries == expected
    # Nothing is mandatory, so the failures leave the exit code at 0.
    assert result.exit_code == 0

    # Each package was started with its command line completed by the silent one, and saw the codes
    # recorded before it; a later code under a name already used does not replace the first.
    assert [p["argv"][1:] for p in probes] == [[a, "/q"] for a in
                                               ("/exit:0", "/exit:1603", "/exit:3010", "/exit:1641", "/crash",
                                                "/exit:7")]
    # A quiet command line runs the package hidden.
    assert [p["showWindow"] for p in probes] == [0] * 6
    seen = [sorted((v["name"], v["data"]) for v in p["interbootContext"]) for p in probes]
    assert seen[0] == []
    assert seen[3] == [("reboot", "3010"), ("shared", "1603"), ("zero", "0")]
    # The crash status is recorded as the signed 32-bit number the store writes.
    assert seen[5] == [("crash", "-1073741819"), ("missing", "2"), ("reboot", "3010"), ("shared", "1603"),
                       ("zero", "0")]
    # The store goes with the pass.
    assert prefix.reg_values(CONTEXT, view=64) is None


def test_a_failing_mandatory_prerequisite_ends_with_1_unless_exempt(prefix):
    probe = r"C:\package\probe.exe"
    # i exempts from the final check and also skips the search when evaluating again.
    cases = [("m", 1, reevaluation_lines(["Required"])), ("mi", 0, ["Searching for:Required"])]
    for options, exit_code, required_again in cases:
        result, entries, probes = run_pass(prefix, [("Required", probe_package("/exit:1", options="q" + options)),
                                                    ("After", probe_package("/exit:0"))])
        # The failed mandatory package stops the launches; the one after it never runs.
        assert entries == (evaluation_lines(["Required", "After"]) + [SILENT] + launch_lines(probe, 1) +
                           required_again + reevaluation_lines(["After"]) + [NO_REBOOT]), options
        assert len(probes) == 1, options
        assert result.exit_code == exit_code, options


def test_an_msi_installed_through_its_association_is_found_again(prefix):
    prefix.install("search-product.msi")
    app = {"SetupFile": r"C:\package\search-product.msi", "SearchType1": "3", "SearchString1": PRODUCT_ONE,
           "VerMin1": "2.5", "CommandLine": "", "NoUiCommandLine": "/qn", "Options": "qm",
           "RetValPropName": "product"}
    result, entries, _ = run_pass(prefix, [("Product", app)])

    assert entries == (evaluation_lines(["Product"]) + [SILENT] +
                       launch_lines(r"C:\package\search-product.msi", 0) +
                       ["Searching for:Product", "Search result:An acceptable version was found.",
                        # Deselection is a change of selection, logged like one.
                        "Prerequisite selected for install:Product", NO_REBOOT])
    assert result.exit_code == 0
    assert prefix.reg_values(CONTEXT, view=64) is None


def test_reboot_mode_r_restarts_windows_after_the_package(prefix):
    # The real privilege and ExitWindowsEx sequence: under Wine the restart ends every process of the
    # prefix some 50 to 100 ms later and restarts nothing, so only the log, the probe's records and
    # the registry tell what happened; the chainer's exit status means nothing.
    apps = [("Needs restart", probe_package("/exit:0", options="qmr", prop="first")),
            ("Never", probe_package("/exit:0", prop="never"))]
    _, entries, probes = run_pass(prefix, apps, ends=False)

    probe = r"C:\package\probe.exe"
    head = (evaluation_lines(["Needs restart", "Never"]) + [SILENT] + launch_lines(probe, 0) +
            ["Rebooting machine..."])
    assert entries[:len(head)] == head
    # The mandatory prerequisite that asked for a restart stops the launches; there is no second
    # evaluation. How far the pass got before the prefix ended depends on the kill's timing.
    tail = ["After running prerequisites we have:  Reboot was required=true", "  Reboot was refused=false",
            "  Reboot in Progress=false"]
    assert entries[len(head):] == tail[:len(entries) - len(head)]
    assert len(probes) == 1
    # The registry is not looked at: the restart's killing of the prefix's processes goes on for a
    # while after the chainer has gone and would take the query with it.


def test_bad_packages_are_logged_and_the_next_one_runs(prefix):
    long_folder = "C:\\package\\" + "\\".join(["f" * 60] * 4)
    long_probe = long_folder + "\\probe.exe"
    assert len(long_probe) > 260
    prefix.install("probe.exe", folder=long_folder)
    prefix.install("probe.exe", name="noext")
    apps = [
        ("Long path", probe_package("/exit:4", setup_file=long_probe)),
        ("No extension", probe_package("/exit:5", setup_file=r"C:\package\noext")),
        ("Long command line", probe_package("/exit:6 " + "x" * 32768)),
        ("Refused name", probe_package("/exit:7", prop="n" * 20000)),
        ("Last", probe_package("/exit:0", prop="last")),
    ]
    result, entries, probes = run_pass(prefix, apps)

    probe = r"C:\package\probe.exe"
    names = [name for name, _ in apps]
    # Wine's shell does not start a program beyond MAX_PATH ("Path not found."), runs a file without
    # extension as a program and passes a 32 KB command line on.
    assert entries == (evaluation_lines(names) + [SILENT] + launch_lines(long_probe, 3, "Path not found.") +
                       launch_lines(r"C:\package\noext", 5) + launch_lines(probe, 6) + launch_lines(probe, 7) +
                       launch_lines(probe, 0) + reevaluation_lines(names) + [NO_REBOOT])
    assert [p["argv"][1] for p in probes] == ["/exit:5", "/exit:6", "/exit:7", "/exit:0"]
    # The system's limit of 32767 characters per command line cuts the long one short.
    assert set(probes[1]["argv"][2]) == {"x"} and 32700 < len(probes[1]["argv"][2]) < 32768
    # The first code under the default name stays; the name the registry refuses records nothing.
    seen = {v["name"]: v["data"] for v in probes[3]["interbootContext"]}
    assert seen == {"": "3"}
    assert result.exit_code == 0


def test_a_hanging_package_is_waited_for_until_it_is_killed(prefix):
    apps = [("Hangs", probe_package("/sleep:600000")), ("After", probe_package("/exit:0"))]
    chainer, records = prepare_pass(prefix, apps)
    process = chainer.start(env={"PROBE_LOG": PROBE_LOG})
    for _ in range(600):
        if probe_records(records) or not process.is_running():
            break
        process.stays_running(0.1)
    [hanging] = probe_records(records)
    # No time limit: the chainer is still waiting for the package.
    assert process.stays_running(2)
    assert prefix.run(r"C:\windows\system32\taskkill.exe", "/F", "/PID", str(hanging["processId"]),
                      timeout=60).exit_code == 0
    result = process.wait(120)
    entries, probes = finished_pass(prefix, records)

    probe = r"C:\package\probe.exe"
    killed = entries[len(evaluation_lines(["Hangs", "After"])) + 2]
    assert entries == (evaluation_lines(["Hangs", "After"]) + [SILENT, "Launching file:" + probe, killed] +
                       launch_lines(probe, 0) + reevaluation_lines(["Hangs", "After"]) + [NO_REBOOT])
    assert killed.startswith("Return code of launched file:")
    assert len(probes) == 2
    assert result.exit_code == 0


def test_reboot_modes_that_do_not_restart_now(prefix):
    probe = r"C:\package\probe.exe"
    # (options of the first prerequisite, its exit code, whether the second one still runs, exit code)
    cases = [
        ("qrR", 0, True, 0),   # mode 2 restarts only once the prerequisite is found, and it is not
        ("qrR", 3010, True, 0),  # so a 3010 is only remembered, as under mode 0
        ("q", 3010, True, 0),
        ("qm", 3010, False, 1),  # a mandatory prerequisite that asks for a restart stops the launches
    ]
    for options, code, second_runs, exit_code in cases:
        label = f"{options} {code}"
        apps = [("First", probe_package(f"/exit:{code}", options=options)), ("Second", probe_package("/exit:0"))]
        result, entries, probes = run_pass(prefix, apps)
        # Mode 2 evaluates the prerequisite again before it decides.
        asked = reevaluation_lines(["First"]) if "R" in options else []
        launches = launch_lines(probe, code) + asked + (launch_lines(probe, 0) if second_runs else [])
        assert entries == (evaluation_lines(["First", "Second"]) + [SILENT] + launches +
                           reevaluation_lines(["First", "Second"]) + [NO_REBOOT]), label
        assert len(probes) == (2 if second_runs else 1), label
        assert result.exit_code == exit_code, label


def test_relative_setup_file_lies_beside_the_chainer_without_an_extraction_folder(prefix):
    """Nothing is ever extracted: with no ExtractionFolder, a relative SetupFile names a file in the
    chainer's own folder (here C:\\package), not in the temporary folder."""
    prefix.install("probe.exe", folder=r"C:\package\pkg")
    result, entries, probes = run_pass(prefix, [("Relative", probe_package("/exit:0", setup_file=r"pkg\probe.exe"))])

    assert result.exit_code == 0
    assert r"Launching file:C:\package\pkg\probe.exe" in entries
    assert "Return code of launched file:0" in entries
    assert len(probes) == 1

"""The log a run writes: where it goes, its header, its entries and its end line."""

import re
from pathlib import Path

import pytest

from harness import read_log

LOG_WINDOWS_PATH = r"C:\package\run.log"
END_LINE = "=====================End of Log====================="
VERSION_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"
PRODUCT_OPTIONS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions"


def host_cpu_brand() -> str:
    # Wine runs the processor identification natively, so the chainer sees the host's brand text.
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return "UnkownCPU"


def ini_with_log(log_file: str) -> dict:
    return {"GeneralOptions": {"Options": "q"}, "PREREQ_CHAINER": {"LogFile": log_file}}


def run_logged(prefix, log_file: str = LOG_WINDOWS_PATH, name: str = "setup.exe", debug: bool = False):
    chainer = prefix.install_chainer(name)
    chainer.write_ini(ini_with_log(log_file))
    env = {"WINEDEBUG": "-all,warn+seh"} if debug else None
    result = chainer.run(env=env)
    assert result.exit_code == 0
    return chainer, result


def debugger_lines(stderr: str) -> list[str]:
    """The chainer's debugger output, as Wine's seh channel shows it (each message appears twice,
    once as the call and once as the exception that carries it)."""
    lines = []
    for quoted in re.findall(r'OutputDebugStringA "((?:[^"\\]|\\.)*)"', stderr):
        lines.append(quoted.encode().decode("unicode_escape"))
    return lines


def header_lines(os_line: str) -> list[tuple[bool, str]]:
    return [(False, ""), (False, "<< Quillon (x86) Log >>"), (False, os_line),
            (False, "CPU: " + host_cpu_brand()), (False, "")]


def shape(log) -> list[tuple[bool, str]]:
    """Each line as (has a time stamp, text)."""
    return [(line.stamp is not None, line.text) for line in log.lines]


def test_run_writes_header_then_end_line(prefix):
    run_logged(prefix)

    log = read_log(prefix.unix_path(LOG_WINDOWS_PATH))
    assert log.has_bom
    assert shape(log) == header_lines("OS Version: 10.0.18362 SP0 (workstation) [x64]") + [
        (True, END_LINE), (False, "")]
    assert log.ends_with_newline


def test_second_run_appends_its_header_without_a_second_mark(prefix):
    run_logged(prefix)
    run_logged(prefix)

    data = prefix.unix_path(LOG_WINDOWS_PATH).read_bytes()
    assert data.count("\ufeff".encode("utf-16-le")) == 1
    log = read_log(prefix.unix_path(LOG_WINDOWS_PATH))
    one_run = header_lines("OS Version: 10.0.18362 SP0 (workstation) [x64]") + [(True, END_LINE), (False, "")]
    assert shape(log) == one_run + one_run


@pytest.mark.parametrize("settings", [{"LogFile": ""}, {"CleanupFiles": ""}, None],
                         ids=["empty LogFile", "no LogFile", "no PREREQ_CHAINER"])
def test_without_log_file_nothing_is_written(prefix, settings):
    chainer = prefix.install_chainer("setup.exe")
    sections = {"GeneralOptions": {"Options": "q"}}
    if settings is not None:
        sections["PREREQ_CHAINER"] = settings
    chainer.write_ini(sections)

    result = chainer.run(env={"WINEDEBUG": "-all,warn+seh"})

    assert result.exit_code == 0
    assert debugger_lines(result.stderr) == []
    assert not list(prefix.drive_c.rglob("*.LOG"))
    assert not (prefix.drive_c / "ProgramData" / "QUILLON_LOGS").exists()


def test_debugger_output_tells_which_file_is_created(prefix):
    _, result = run_logged(prefix, debug=True)

    lines = list(dict.fromkeys(debugger_lines(result.stderr)))  # each message is shown twice
    assert lines == [
        rf"Logger::SetLogFile( {LOG_WINDOWS_PATH} ) while OLD path is:",
        rf"LOGGER->Creating LOG file at:{LOG_WINDOWS_PATH}" + "\r\n",
    ]


def temp_folder(prefix) -> Path:
    (temp,) = (prefix.drive_c / "users").glob("*/Temp")
    return temp


@pytest.mark.parametrize("blocked, expected", [
    ([], r"C:\ProgramData\QUILLON_LOGS\setup.LOG"),
    (["ProgramData"], r"C:\package\setup.LOG"),
    (["ProgramData", "beside"], "TEMP"),
], ids=["common application data", "beside the executable", "temporary folder"])
def test_unopenable_log_file_falls_back(prefix, blocked, expected):
    missing = r"C:\no such folder\run.log"
    # A file where a folder should be, or a folder where the log file should be, blocks a location.
    if "ProgramData" in blocked:
        (prefix.drive_c / "ProgramData" / "QUILLON_LOGS").write_text("not a folder")
    if "beside" in blocked:
        (prefix.drive_c / "package").mkdir(exist_ok=True)
        (prefix.drive_c / "package" / "setup.LOG").mkdir()

    _, result = run_logged(prefix, log_file=missing, debug=True)

    if expected == "TEMP":
        path = temp_folder(prefix) / "QUILLON_LOGS" / "setup.LOG"
        expected = prefix.windows_path(path)
    log = read_log(prefix.unix_path(expected))
    assert log.has_bom
    assert log.entries == [END_LINE]
    lines = debugger_lines(result.stderr)
    assert f"LOGGER->failed to create LOG at:{missing}" in lines
    assert any(line.lower() == f"LOGGER->Creating LOG file at:{expected}\r\n".lower() for line in lines), lines


@pytest.mark.parametrize("edits, os_line", [
    ({"delete": ["CurrentMajorVersionNumber", "CurrentMinorVersionNumber"],
      "set": {"CurrentVersion": "6.1", "CurrentBuildNumber": "7601", "CSDVersion": "Service Pack 1"}},
     "OS Version: 6.1.7601 SP1 (workstation) [x64]"),
    ({"set": {"CurrentBuildNumber": "19045"}}, "OS Version: 10.0.19045 SP0 (workstation) [x64]"),
    ({"set": {"CurrentBuildNumber": "22631"}}, "OS Version: 11.0.22631 SP0 (workstation) [x64]"),
    ({"set": {"CurrentBuildNumber": "17763"}, "server": True}, "OS Version: 10.0.17763 SP0 (server) [x64]"),
], ids=["Windows 7 SP1", "Windows 10 22H2", "Windows 11 23H2", "Server 2019"])
def test_log_header_names_the_running_windows(prefix, edits, os_line):
    for name in edits.get("delete", []):
        assert prefix.reg_delete(VERSION_KEY, name, view=64)
    for name, value in edits.get("set", {}).items():
        prefix.reg_add(VERSION_KEY, name, value, view=64)
    if edits.get("server"):
        prefix.reg_add(PRODUCT_OPTIONS_KEY, "ProductType", "ServerNT", view=64)

    run_logged(prefix)

    log = read_log(prefix.unix_path(LOG_WINDOWS_PATH))
    assert shape(log)[2] == (False, os_line)

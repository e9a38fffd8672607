"""The stand-in package and the mutex holder do what later scenarios rely on."""

import json

import pytest

from harness import REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_SZ


def probe_records(path):
    return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]


def test_probe_records_how_it_was_started(prefix):
    probe = prefix.install("probe.exe", r"C:\packages\p one", "package.exe")
    prefix.reg_add(r"HKCU\InterbootContext", "status", "3010", view=64)
    prefix.reg_add(r"HKCU\InterbootContext", None, "default text", view=64)
    prefix.reg_add(r"HKCU\InterbootContext", "count", 4294967295, view=64)
    prefix.reg_add(r"HKCU\InterbootContext", "items", ["a", "b c"], view=64)
    prefix.reg_add(r"HKCU\InterbootContext", "blob", b"\x01\x02\xff", view=64)
    log = prefix.drive_c / "records" / "probe.jsonl"
    log.parent.mkdir()

    result = prefix.run(probe, "a b", 'say "hi"', "C:\\trailing\\", "/exit:3010",
                        env={"PROBE_LOG": prefix.windows_path(log)})

    assert result.exit_code == 3010 % 256  # unix sees only the low byte; the record has the full code
    [record] = probe_records(log)
    assert record["argv"] == [r"C:\packages\p one\package.exe", "a b", 'say "hi"', "C:\\trailing\\",
                              "/exit:3010"]
    assert record["commandLine"].startswith('"C:\\packages\\p one\\package.exe" ')
    assert record["modulePath"] == r"C:\packages\p one\package.exe"
    assert record["currentFolder"] == r"C:\packages\p one"
    assert record["exitCode"] == 3010
    assert sorted((v["name"], v["type"], v["data"]) for v in record["interbootContext"]) == [
        ("", REG_SZ, "default text"),
        ("blob", REG_BINARY, "0102ff"),
        ("count", REG_DWORD, "4294967295"),
        ("items", REG_MULTI_SZ, "a\nb c"),
        ("status", REG_SZ, "3010"),
    ]


# From unix only the low byte of an exit code shows (3010 arrives as 194); the record holds the
# full value the probe passes to ExitProcess.
@pytest.mark.parametrize("code", [0, 1, 1641, 3221225477, 4294967295])
def test_probe_exits_with_the_code_it_is_given(prefix, code):
    probe = prefix.install("probe.exe")

    result = prefix.run(probe, f"/exit:{code}")

    assert result.exit_code == code % 256
    assert [r["exitCode"] for r in probe_records(probe.parent / "probe.log")] == [code]


def test_probe_takes_exit_code_from_environment_and_logs_beside_itself(prefix):
    probe = prefix.install("probe.exe")

    first = prefix.run(probe, env={"PROBE_EXIT": "3010"})
    second = prefix.run(probe, "/exit:7", env={"PROBE_EXIT": "3010"})

    assert (first.exit_code, second.exit_code) == (3010 % 256, 7)
    records = probe_records(probe.parent / "probe.log")
    assert [r["exitCode"] for r in records] == [3010, 7]
    assert records[0]["interbootContext"] == []
    assert records[0]["processId"] != records[1]["processId"]


def test_probe_crashes_on_request(prefix):
    probe = prefix.install("probe.exe")

    result = prefix.run(probe, "/crash")

    assert result.exit_code == 0xC0000005 % 256
    [record] = probe_records(probe.parent / "probe.log")
    assert record["crash"] is True


def test_probe_sleeps_before_exiting(prefix):
    probe = prefix.install("probe.exe")

    process = prefix.start(probe, "/sleep:1000")

    assert process.stays_running(0.5)
    assert process.wait().exit_code == 0


def test_mutex_holder_counts_handles_and_a_second_owner_is_refused(prefix):
    holder = prefix.hold_mutex("Global\\BenchMutex")
    assert holder.handle_count() == 1

    rival = prefix.run(prefix.bin_dir / "mutex-holder.exe", "Global\\BenchMutex", cwd=prefix.drive_c)

    assert rival.exit_code == 1
    assert holder.handle_count() == 1
    holder.release()
    again = prefix.hold_mutex("Global\\BenchMutex")
    again.abandon()

"""The bench's own parsing and encoding, which later scenarios trust for exact assertions."""

from pathlib import Path

import pytest

from harness import (REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_MULTI_SZ, REG_QWORD, REG_SZ, WinePrefix,
                     WineTimeout, encode_text, ini_text, parse_log, parse_reg_file)


def test_ini_is_utf16le_with_bom_and_crlf():
    text = ini_text({"GeneralOptions": {"Options": "q"}, "PREREQ_CHAINER": [("LogFile", "a"), ("LogFile", "b")]})

    assert encode_text(text) == b"\xff\xfe" + (
        "[GeneralOptions]\r\nOptions=q\r\n[PREREQ_CHAINER]\r\nLogFile=a\r\nLogFile=b\r\n".encode("utf-16-le"))
    assert encode_text("a\nb", bom=False, newline="\n") == "a\nb".encode("utf-16-le")


def test_log_entries_lose_their_stamps_and_other_lines_stay_apart():
    data = b"\xff\xfe" + (
        "Banner line\r\n"
        "2024-03-01 09-05-07-First entry\r\n"
        "continued\r\n"
        "2024-03-01 09-05-08-\r\n"
        "2024-13-01 09-05-08-not a date\r\n"
        "2024-03-01 09-05-09-ends with LF\n"
    ).encode("utf-16-le")

    log = parse_log(data)

    assert log.has_bom and not log.ends_with_newline
    assert log.entries == ["First entry", "", "ends with LF\n"]
    assert log.unstamped == ["Banner line", "continued", "2024-13-01 09-05-08-not a date"]
    assert [line.number for line in log.lines if line.stamp] == [2, 4, 6]
    assert [s.second for s in log.stamps] == [7, 8, 9]


def test_reg_file_values_keep_their_exact_data():
    keys = parse_reg_file(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\InterbootContext]\r\n"
        '@="def"\r\n'
        '"q\\"uote\\\\"="line1\\nline2"\r\n'
        '"d"=dword:ffffffff\r\n'
        '"b"=hex:01,02,\\\r\n  ff\r\n'
        '"m"=hex(7):78,00,00,00,79,00,00,00,00,00\r\n'
        '"e"=hex(2):25,00,54,00,00,00\r\n'
        '"w"=hex(b):00,00,00,00,01,00,00,00\r\n'
        "\r\n[HKEY_CURRENT_USER\\InterbootContext\\sub]\r\n")

    values = keys["HKEY_CURRENT_USER\\InterbootContext"]
    assert {name: (v.type, v.value) for name, v in values.items()} == {
        "": (REG_SZ, "def"),
        'q"uote\\': (REG_SZ, "line1\nline2"),
        "d": (REG_DWORD, 0xFFFFFFFF),
        "b": (REG_BINARY, b"\x01\x02\xff"),
        "m": (REG_MULTI_SZ, ["x", "y"]),
        "e": (REG_EXPAND_SZ, "%T"),
        "w": (REG_QWORD, 0x100000000),
    }
    assert values[""].data == "def\0".encode("utf-16-le")
    assert keys["HKEY_CURRENT_USER\\InterbootContext\\sub"] == {}


def test_paths_translate_both_ways(tmp_path):
    prefix = WinePrefix(tmp_path / "p", tmp_path)
    (prefix.path / "dosdevices").mkdir(parents=True)
    (prefix.path / "dosdevices" / "z:").symlink_to("/")

    assert prefix.unix_path(r"C:\a b\c.exe") == prefix.drive_c / "a b" / "c.exe"
    assert prefix.unix_path("\\\\?\\c:\\x") == prefix.drive_c / "x"
    assert prefix.unix_path(r"Z:\usr\bin") == Path("/usr/bin")
    assert prefix.windows_path(prefix.drive_c / "a b" / "c.exe") == r"C:\a b\c.exe"
    assert prefix.windows_path(prefix.drive_c) == "C:\\"
    assert prefix.windows_path("/usr/bin") == r"Z:\usr\bin"


def test_registry_views_stay_apart_and_values_read_back_exactly(prefix):
    key = r"HKLM\Software\ChainerBench"
    prefix.reg_add(key, "view", "32-bit", view=32)
    prefix.reg_add(key, "view", "64-bit", view=64)
    prefix.reg_import('[HKEY_LOCAL_MACHINE\\Software\\ChainerBench]\n"big"=hex(b):00,00,00,00,01,00,00,00\n'
                      '"items"=hex(7):61,00,00,00,62,00,00,00,00,00\n', view=64)

    assert prefix.reg_value(key, "view", view=32).value == "32-bit"
    assert prefix.reg_value(r"HKLM\Software\Wow6432Node\ChainerBench", "view", view=64).value == "32-bit"
    values = prefix.reg_values(key, view=64)
    assert {name: (v.type, v.value) for name, v in values.items()} == {
        "view": (REG_SZ, "64-bit"), "big": (REG_QWORD, 1 << 32), "items": (REG_MULTI_SZ, ["a", "b"])}

    assert prefix.reg_delete(key, "view", view=32)
    assert not prefix.reg_delete(key, "view", view=32)
    assert prefix.reg_values(key, view=32) == {}
    assert prefix.reg_delete(key, view=64)
    assert prefix.reg_values(key, view=64) is None


def test_run_kills_a_program_past_its_time_limit(prefix):
    probe = prefix.install("probe.exe")
    process = prefix.start(probe, "/sleep:60000")

    with pytest.raises(WineTimeout):
        process.wait(timeout=1)

    assert not process.is_running()

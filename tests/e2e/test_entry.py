"""How the chainer finds its INI and waits for another installation to finish.

Until the installation pass does something, the mutex wait is what shows from outside that an INI
was found: with `Global\\_MSIExecute` held, a chainer that found its INI opens the mutex (the
holder sees a second handle) and keeps running until the holder lets go; one that found none ends
at once without touching the mutex.
"""

import re
import subprocess

import pytest

from harness import encode_text, ini_text

SMALL_INI = {"GeneralOptions": {"ProductVersion": "1.0"}}


def expect_wait_until_released(holder, chainer):
    process = chainer.start()
    holder.wait_for_handles(2, while_running=process)
    assert process.is_running()
    holder.release()
    assert process.wait().exit_code == 0


def expect_exit_without_waiting(holder, chainer):
    assert chainer.run().exit_code == 0
    assert holder.handle_count() == 1  # the chainer never opened the mutex


def test_without_ini_exits_at_once_even_while_installer_mutex_held(prefix):
    chainer = prefix.install_chainer("setup.exe")
    holder = prefix.hold_mutex()

    expect_exit_without_waiting(holder, chainer)


def test_waits_while_installer_mutex_held_then_exits_when_released(prefix):
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(SMALL_INI)
    holder = prefix.hold_mutex()

    process = chainer.start()
    holder.wait_for_handles(2, while_running=process)
    assert process.stays_running(1.5)
    holder.release()

    assert process.wait().exit_code == 0


def test_abandoned_installer_mutex_ends_the_wait(prefix):
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(SMALL_INI)
    holder = prefix.hold_mutex()
    process = chainer.start()
    holder.wait_for_handles(2, while_running=process)

    holder.abandon()

    # The pass must not run after an abandoned wait; today the pass does nothing, so only the
    # clean end shows.
    assert process.wait().exit_code == 0


@pytest.mark.parametrize("exe_name, ini_name, found", [
    ("setup.exe", "setup.ini", True),
    ("setup.x64.exe", "setup.x64.ini", True),
    ("setup.x64.exe", "setup.ini", False),
    ("my.product.setup.exe", "my.product.setup.ini", True),
    ("my.product.setup.exe", "my.product.ini", False),
    ("my.product.setup.exe", "my.ini", False),
    ("Setup.EXE", "Setup.ini", True),
    ("setup.exe", "SETUP.INI", True),  # file names compare without case
])
def test_ini_name_is_exe_name_cut_at_last_dot(prefix, exe_name, ini_name, found):
    chainer = prefix.install_chainer(exe_name)
    chainer.write_ini(SMALL_INI, name=ini_name)
    holder = prefix.hold_mutex()

    if found:
        expect_wait_until_released(holder, chainer)
    else:
        expect_exit_without_waiting(holder, chainer)


def deep_folder(exe_path_length: int, exe_name: str) -> str:
    """A folder under C:\\ in which exe_name makes a path of exactly exe_path_length characters."""
    budget = exe_path_length - len("C:\\") - len(exe_name)  # segments, each with its backslash
    count = -(-budget // 101)  # segments of at most 100 characters
    segments = []
    for i in range(count):
        length = budget // count - 1 + (1 if i < budget % count else 0)
        segments.append(f"level{i}".ljust(length, "x"))
    return "C:\\" + "\\".join(segments)


@pytest.mark.parametrize("length", [260, 420])
@pytest.mark.parametrize("with_ini", [True, False])
def test_exe_path_beyond_max_path_still_finds_ini(prefix, length, with_ini):
    chainer = prefix.install_chainer("setup.exe", folder=deep_folder(length, "setup.exe"))
    assert len(chainer.windows_exe) == length
    if with_ini:
        chainer.write_ini(SMALL_INI)
    holder = prefix.hold_mutex()

    if with_ini:
        expect_wait_until_released(holder, chainer)
    else:
        expect_exit_without_waiting(holder, chainer)


BROKEN_INIS = {
    "no BOM": encode_text(ini_text(SMALL_INI), bom=False),
    "LF line ends": encode_text(ini_text(SMALL_INI), newline="\n"),
    "no BOM and LF": encode_text(ini_text(SMALL_INI), bom=False, newline="\n"),
    "UTF-8": encode_text(ini_text(SMALL_INI), encoding="utf-8"),
    "empty": b"",
    "one byte": b"[",
    "BOM only": b"\xff\xfe",
    "odd length": encode_text(ini_text(SMALL_INI)) + b"[",
    "binary": bytes(range(256)) * 4,
    "no sections": encode_text("ProductVersion=1.0\nOptions=q\n"),
    "unclosed section": encode_text("[GeneralOptions\nProductVersion=1.0\n[\n]\n=\n"),
    "well formed": encode_text(ini_text(SMALL_INI)),
}


@pytest.mark.parametrize("data", BROKEN_INIS.values(), ids=BROKEN_INIS.keys())
def test_unusable_ini_ends_cleanly(prefix, data):
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(data=data)

    result = chainer.run()

    assert result.exit_code == 0
    assert "Unhandled" not in result.stderr  # Wine's word for a crash, printed despite WINEDEBUG


SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
               "ole32.dll", "oleaut32.dll", "comctl32.dll", "version.dll", "wininet.dll", "dbghelp.dll",
               "imagehlp.dll", "msvcrt.dll", "ntdll.dll"}


@pytest.mark.parametrize("program, subsystem", [
    ("chainer.exe", "Windows GUI"),
    ("probe.exe", "Windows GUI"),
    ("mutex-holder.exe", "Windows CUI"),
])
def test_program_is_self_contained_pe32_for_i386(bench, program, subsystem):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-f", "-p", str(bench.bin_dir / program)],
                          check=True, capture_output=True, text=True, timeout=30).stdout

    assert "file format pei-i386" in dump
    assert re.search(r"^architecture: i386\b", dump, re.M)
    assert re.search(r"^Magic\s+010b\s+\(PE32\)", dump, re.M)
    assert re.search(rf"^Subsystem\s+[0-9a-f]+\s+\({subsystem}\)", dump, re.M)
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    assert "kernel32.dll" in imports
    assert imports <= SYSTEM_DLLS, f"not a system DLL: {sorted(imports - SYSTEM_DLLS)}"


def test_chainer_declares_vista_as_oldest_system(bench):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(bench.bin_dir / "chainer.exe")],
                          check=True, capture_output=True, text=True, timeout=30).stdout

    assert re.search(r"^MajorSubsystemVersion\s+6$", dump, re.M)
    assert re.search(r"^MinorSubsystemVersion\s+0$", dump, re.M)

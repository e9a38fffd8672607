"""No library is ever loaded from the chainer's own folder (or from the current folder).

The chainer usually runs from a downloads folder, often elevated, beside files that anyone could have
put there. It imports only libraries that Windows always takes from the system folder, restricts the
library search to the system folder first thing, and loads every other library by its full
system-folder path.

How the bench makes planting mean something under Wine:

- Wine prefers its own copy of a system library to one planted beside a program. WINEDLLOVERRIDES
  with "n,b" for the planted names makes it search the way Windows does for a library that is not a
  known one: the program's folder first. A control run of marker-loader.exe shows that the planted
  libraries are then found and leave their marker.
- Wine has no known libraries: while it starts a process it resolves the imports of its own system
  libraries through the program's folder too (its user32 imports version.dll, for one). Windows takes
  those from the system folder, and the import-table test below keeps the chainer's imports to such
  libraries. So a marker left while the process started ("static") is Wine's doing; a marker left by
  a load at run time ("dynamic") would be the chainer's, and there must be none.
"""

from __future__ import annotations

import re
import shutil
import subprocess

import pytest

# The libraries that Windows Vista to 11 always take from the system folder (known libraries on every
# one of them), and the C runtime the compiler links. Nothing else may be imported.
ALWAYS_FROM_SYSTEM_FOLDER = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                             "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll"}

# Libraries the chainer uses or the system loads on its behalf, none of them a known library everywhere.
PLANTED = ("version", "wininet", "msi", "dbghelp", "imagehlp", "shfolder", "comctl32", "uxtheme",
           "dwmapi", "cryptbase", "userenv", "propsys", "profapi", "urlmon", "iertutil", "winhttp",
           "ntmarta", "secur32", "sspicli", "setupapi", "cabinet", "wintrust", "crypt32", "apphelp")

NATIVE_FIRST = {"WINEDLLOVERRIDES": "mscoree,mshtml=;" + ",".join(PLANTED) + "=n,b"}
# Wine's loader reports every module it maps on this channel, with the process and thread numbers:
# '0124:0128:trace:loaddll:build_module Loaded L"C:\\...\\x.dll" at ...'.
LOADER_TRACE = {"WINEDEBUG": "-all,+pid,+loaddll"}

INI = {
    "GeneralOptions": {"ProductVersion": "1.0"},
    "PREREQ_CHAINER": {"LogFile": r"C:\logs\chainer.log"},
}


def imported_libraries(exe) -> list[str]:
    objdump = shutil.which("i686-w64-mingw32-objdump")
    if objdump is None:
        pytest.fail("i686-w64-mingw32-objdump is missing (package binutils-mingw-w64-i686)")
    text = subprocess.run([objdump, "-p", str(exe)], check=True, capture_output=True, text=True,
                          timeout=60).stdout
    # Ordinary and delay-load imports both list their libraries this way.
    return [name.lower() for name in re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", text, re.MULTILINE)]


def plant_markers(prefix, bench, folder: str) -> list:
    if not (bench.bin_dir / "marker.dll").is_file():
        pytest.fail(f"marker.dll missing in {bench.bin_dir}: run `make build` first")
    return [prefix.install("marker.dll", folder, f"{name}.dll") for name in PLANTED]


def markers(planted, kind: str) -> list[str]:
    """The planted libraries that were loaded, and how ("static" or "dynamic")."""
    names = []
    for path in planted:
        marker = path.with_name(path.name + ".loaded")
        if marker.exists() and marker.read_bytes().decode("utf-16-le").startswith(kind + "|"):
            names.append(path.name)
    return sorted(names)


def loaded_modules(trace: str, exe: str) -> list[str]:
    """The modules mapped into the process that ran `exe` (other processes of the prefix left out)."""
    lines = re.findall(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]+)"', trace, re.MULTILINE)
    modules = [(pid, path.replace("\\\\", "\\").lower()) for pid, path in lines]
    pids = {pid for pid, path in modules if path == exe.lower()}
    assert len(pids) == 1, f"{exe} not found once in the loader trace: {modules}"
    return [path for pid, path in modules if pid in pids]


def expect_no_crash(result) -> None:
    # A crash need not show in the exit code: Wine's stub exception 0x80000100 arrives as 0.
    for sign in ("unimplemented function", "Unhandled exception", "page fault"):
        assert sign not in result.stderr, result.stderr


def test_chainer_imports_only_libraries_windows_takes_from_the_system_folder(bench):
    imports = imported_libraries(bench.bin_dir / "chainer.exe")

    assert "kernel32.dll" in imports  # the table was read
    assert sorted(set(imports) - ALWAYS_FROM_SYSTEM_FOLDER) == []


def test_planted_libraries_are_found_by_a_careless_program(prefix, bench):
    planted = plant_markers(prefix, bench, r"C:\careless")
    loader = prefix.install("marker-loader.exe", r"C:\careless")

    result = prefix.run(loader, *PLANTED, env=NATIVE_FIRST)

    assert result.exit_code == 0, result.stdout
    expect_no_crash(result)
    assert markers(planted, "dynamic") == sorted(p.name for p in planted)


def test_chainer_loads_no_library_from_its_folder_or_the_current_folder(prefix, bench):
    chainer = prefix.install_chainer("setup.exe", r"C:\Downloads")
    chainer.write_ini(INI)
    beside = plant_markers(prefix, bench, r"C:\Downloads")
    current = plant_markers(prefix, bench, r"C:\started-from")

    result = chainer.run(cwd=prefix.unix_path(r"C:\started-from"), env={**NATIVE_FIRST, **LOADER_TRACE})

    assert result.exit_code == 0, result.stderr
    expect_no_crash(result)
    modules = loaded_modules(result.stderr, chainer.windows_exe)
    # The run got as far as the waiting dialog's title, which reads the chainer's version resource
    # through the system folder's version.dll.
    assert r"c:\windows\system32\version.dll" in modules, modules
    assert markers(beside, "dynamic") == []
    assert markers(current, "dynamic") == []
    assert markers(current, "static") == []
    # What Wine's own libraries took from beside the chainer while the process started.
    wine_start_up = {f"c:\\downloads\\{name}" for name in markers(beside, "static")}
    assert [m for m in modules if m.startswith("c:\\downloads\\") and m != r"c:\downloads\setup.exe"
            and m not in wine_start_up] == []

"""The end-to-end bench: Wine prefixes, the chainer and its fixtures, INI files, logs and the registry.

Every Windows process runs in a test's own clone of the golden prefix, with its own wineserver,
registry, C: drive and named objects. Nothing here sleeps for a fixed time where it can poll, and
everything that waits has a time limit.
"""

from __future__ import annotations

import datetime
import itertools
import os
import queue
import re
import shutil
import signal
import subprocess
import threading
import time
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath
from typing import Mapping, Sequence

REPO = Path(__file__).resolve().parents[2]
WINEPREFIX_SCRIPT = REPO / "tests" / "support" / "wineprefix.sh"
INSTALLER_MUTEX = r"Global\_MSIExecute"

DEFAULT_TIMEOUT = 10.0  # seconds; generous for a cold prefix on a loaded machine

_UNSET = ("DISPLAY", "WAYLAND_DISPLAY", "http_proxy", "https_proxy", "ftp_proxy",
          "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "all_proxy", "ALL_PROXY")


class WineTimeout(AssertionError):
    """A Windows process outlived its time limit; it has been killed."""


def wine_environment(prefix: Path, extra: Mapping[str, str] | None = None) -> dict[str, str]:
    """The environment every Wine command of the bench runs with."""
    env = {k: v for k, v in os.environ.items() if k not in _UNSET}
    env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    if extra:
        env.update(extra)
    return env


def make_template(template: Path, timeout: float = 600) -> None:
    """Builds the golden prefix unless it is already complete."""
    subprocess.run([str(WINEPREFIX_SCRIPT), "template", str(template)], check=True, timeout=timeout,
                   stdin=subprocess.DEVNULL)


# ---------------------------------------------------------------------------------------------
# Text files the chainer reads and writes


def ini_text(sections: Mapping[str, Mapping[str, str] | Sequence[tuple[str, str]]]) -> str:
    """INI text from {section: {key: value}} (or a list of (key, value) pairs to repeat keys),
    lines joined by '\\n' (encode_text puts the real line ends in)."""
    lines: list[str] = []
    for name, items in sections.items():
        lines.append(f"[{name}]")
        pairs = items.items() if isinstance(items, Mapping) else items
        lines.extend(f"{key}={value}" for key, value in pairs)
    return "\n".join(lines) + "\n"


def prerequisite_sections(apps: Sequence[tuple], options: str, log_file: str) -> dict:
    """INI sections for prerequisites given as (name, keys, ...) tuples, numbered App1, App2 ... in
    order, with GeneralOptions Options and a log file."""
    sections = {"GeneralOptions": {"Options": options},
                "PREREQUISITES": {f"App{n}": app[0] for n, app in enumerate(apps, 1)}}
    for n, app in enumerate(apps, 1):
        sections[f"App{n}"] = app[1]
    sections["PREREQ_CHAINER"] = {"LogFile": log_file}
    return sections


def encode_text(text: str, *, bom: bool = True, newline: str = "\r\n", encoding: str = "utf-16-le") -> bytes:
    """Bytes of `text` with '\\n' turned into `newline`; the BOM follows the encoding."""
    body = text.replace("\r\n", "\n").replace("\n", newline).encode(encoding)
    if not bom:
        return body
    return {"utf-16-le": b"\xff\xfe", "utf-16-be": b"\xfe\xff", "utf-8": b"\xef\xbb\xbf"}[encoding] + body


_STAMP = re.compile(r"(\d{4}-\d{2}-\d{2} \d{2}-\d{2}-\d{2})-")


@dataclass(frozen=True)
class LogLine:
    number: int  # 1-based line number in the file
    stamp: str | None  # "YYYY-MM-DD HH-MM-SS", or None for a line without a time stamp
    text: str  # the line after "<stamp>-", or the whole line when it has no stamp


@dataclass(frozen=True)
class Log:
    lines: tuple[LogLine, ...]
    has_bom: bool
    ends_with_newline: bool

    @property
    def entries(self) -> list[str]:
        """The texts of the time-stamped lines, stamps stripped, in file order."""
        return [line.text for line in self.lines if line.stamp is not None]

    @property
    def unstamped(self) -> list[str]:
        """The lines without a time stamp (the banner, continuation lines), as they are."""
        return [line.text for line in self.lines if line.stamp is None]

    @property
    def stamps(self) -> list[datetime.datetime]:
        return [datetime.datetime.strptime(line.stamp, "%Y-%m-%d %H-%M-%S")
                for line in self.lines if line.stamp is not None]


def parse_log(data: bytes) -> Log:
    """Splits a UTF-16 LE log into lines at CR LF (a lone CR or LF stays in its line) and strips
    the time stamps. Raises UnicodeDecodeError when the data is not UTF-16 LE."""
    has_bom = data.startswith(b"\xff\xfe")
    text = data[2 if has_bom else 0:].decode("utf-16-le")
    pieces = text.split("\r\n")
    ends_with_newline = pieces[-1] == ""
    if ends_with_newline:
        pieces.pop()
    lines = []
    for number, piece in enumerate(pieces, 1):
        match = _STAMP.match(piece)
        if match and _is_time(match.group(1)):
            lines.append(LogLine(number, match.group(1), piece[match.end():]))
        else:
            lines.append(LogLine(number, None, piece))
    return Log(tuple(lines), has_bom, ends_with_newline)


def read_log(path: Path) -> Log:
    """parse_log of a file; FileNotFoundError when there is none."""
    return parse_log(Path(path).read_bytes())


def _is_time(stamp: str) -> bool:
    try:
        datetime.datetime.strptime(stamp, "%Y-%m-%d %H-%M-%S")
        return True
    except ValueError:
        return False


# ---------------------------------------------------------------------------------------------
# Registry values as `reg export` writes them

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 0, 1, 2, 3, 4
REG_MULTI_SZ, REG_QWORD = 7, 11
REG_TYPE_NAMES = {REG_NONE: "REG_NONE", REG_SZ: "REG_SZ", REG_EXPAND_SZ: "REG_EXPAND_SZ",
                  REG_BINARY: "REG_BINARY", REG_DWORD: "REG_DWORD", REG_MULTI_SZ: "REG_MULTI_SZ",
                  REG_QWORD: "REG_QWORD"}
_REG_ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE", "HKCR": "HKEY_CLASSES_ROOT",
              "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}


@dataclass(frozen=True)
class RegValue:
    type: int
    data: bytes  # exactly as stored, terminating NULs included

    @property
    def type_name(self) -> str:
        return REG_TYPE_NAMES.get(self.type, f"REG_{self.type}")

    @property
    def value(self):
        """str for REG_SZ/REG_EXPAND_SZ (up to the first NUL), list[str] for REG_MULTI_SZ, int for
        REG_DWORD/REG_QWORD, bytes otherwise."""
        if self.type in (REG_SZ, REG_EXPAND_SZ):
            return self.data.decode("utf-16-le", "surrogatepass").split("\0", 1)[0]
        if self.type == REG_MULTI_SZ:
            text = self.data.decode("utf-16-le", "surrogatepass").rstrip("\0")
            return text.split("\0") if text else []
        if self.type in (REG_DWORD, REG_QWORD) and len(self.data) in (4, 8):
            return int.from_bytes(self.data, "little")
        return self.data


def full_key_name(key: str) -> str:
    """HKCU\\X -> HKEY_CURRENT_USER\\X (the spelling `reg export` writes)."""
    root, _, rest = key.partition("\\")
    root = _REG_ROOTS.get(root.upper(), root.upper())
    return f"{root}\\{rest}" if rest else root


def parse_reg_file(text: str) -> dict[str, dict[str, RegValue]]:
    """{key: {value name ('' for the default): RegValue}} of a .reg file's text, keys in file order."""
    keys: dict[str, dict[str, RegValue]] = {}
    current: dict[str, RegValue] | None = None
    lines = iter(text.replace("\r\n", "\n").split("\n"))
    for line in lines:
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line or line.startswith(";"):
            continue
        name, rest = _reg_name(line)
        if rest.startswith("hex"):
            while rest.endswith("\\"):
                rest = rest[:-1] + next(lines).strip()
        current[name] = _reg_data(rest)
    return keys


def _reg_unescape(text: str) -> str:
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "0": "\0"}.get(m.group(1), m.group(1)), text)


def _reg_name(line: str) -> tuple[str, str]:
    if line.startswith("@="):
        return "", line[2:]
    match = re.match(r'"((?:[^"\\]|\\.)*)"=', line)
    if not match:
        raise ValueError(f"unreadable .reg line: {line!r}")
    return _reg_unescape(match.group(1)), line[match.end():]


def _reg_data(text: str) -> RegValue:
    if text.startswith('"') and text.endswith('"'):
        return RegValue(REG_SZ, (_reg_unescape(text[1:-1]) + "\0").encode("utf-16-le", "surrogatepass"))
    if text.startswith("dword:"):
        return RegValue(REG_DWORD, int(text[6:], 16).to_bytes(4, "little"))
    match = re.fullmatch(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)", text)
    if not match:
        raise ValueError(f"unreadable .reg data: {text!r}")
    kind = int(match.group(1), 16) if match.group(1) else REG_BINARY
    return RegValue(kind, bytes(int(b, 16) for b in match.group(2).split(",") if b))


# ---------------------------------------------------------------------------------------------
# Processes


@dataclass(frozen=True)
class RunResult:
    exit_code: int  # the unix status: the Windows exit code modulo 256 (negative: killed by a signal)
    stdout: str
    stderr: str
    seconds: float


class WineProcess:
    """A Windows process started in the background; wait() ends it with a RunResult."""

    def __init__(self, popen: subprocess.Popen, label: str, out: Path, err: Path):
        self._popen, self.label, self._out, self._err = popen, label, out, err
        self._started = time.monotonic()
        self.result: RunResult | None = None

    @property
    def pid(self) -> int:
        return self._popen.pid

    def is_running(self) -> bool:
        return self._popen.poll() is None

    def stays_running(self, seconds: float) -> bool:
        """True when the process is still running after `seconds` (returns early if it ends)."""
        try:
            self._popen.wait(timeout=seconds)
            return False
        except subprocess.TimeoutExpired:
            return True

    def wait(self, timeout: float = DEFAULT_TIMEOUT) -> RunResult:
        """Waits for the end; on timeout kills the process (and what it started) and raises WineTimeout."""
        try:
            code = self._popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise WineTimeout(f"{self.label} still ran after {timeout} s; killed\n{self._output()}") from None
        self.result = RunResult(code, *self._texts(), time.monotonic() - self._started)
        return self.result

    def kill(self) -> None:
        if self._popen.poll() is None:
            try:
                os.killpg(self._popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self._popen.wait(timeout=DEFAULT_TIMEOUT)

    def _texts(self) -> tuple[str, str]:
        return (self._out.read_text(errors="replace"), self._err.read_text(errors="replace"))

    def _output(self) -> str:
        out, err = self._texts()
        return f"stdout:\n{out}\nstderr:\n{err}"


class MutexHolder:
    """mutex-holder.exe owning a named mutex in one prefix, steered through its stdin."""

    def __init__(self, popen: subprocess.Popen, name: str):
        self._popen, self.name = popen, name
        self._lines: queue.Queue[str | None] = queue.Queue()
        threading.Thread(target=self._pump, daemon=True).start()
        line = self._next_line()
        if line != "held":
            self._popen.kill()
            raise AssertionError(f"mutex-holder for {name} answered {line!r} instead of 'held'")

    def handle_count(self) -> int:
        """Handles open to the mutex in the prefix, the holder's own included."""
        self._send("handles")
        line = self._next_line()
        if not line or not line.startswith("handles "):
            raise AssertionError(f"mutex-holder answered {line!r}")
        return int(line.split()[1])

    def wait_for_handles(self, count: int, timeout: float = DEFAULT_TIMEOUT,
                         while_running: WineProcess | None = None) -> None:
        """Polls until at least `count` handles are open (count=2: one waiter has opened the mutex).
        Fails at the timeout, or at once when `while_running` has ended."""
        deadline = time.monotonic() + timeout
        while (seen := self.handle_count()) < count:
            if while_running is not None and not while_running.is_running():
                raise AssertionError(f"{while_running.label} ended without opening {self.name} "
                                     f"({seen} handle(s))")
            if time.monotonic() > deadline:
                raise AssertionError(f"{self.name} has {seen} handle(s) after {timeout} s, wanted {count}")
            time.sleep(0.02)

    def release(self, timeout: float = DEFAULT_TIMEOUT) -> None:
        """Releases the mutex and ends the holder."""
        self._send("release")
        line = self._next_line(timeout)
        if line != "released":
            raise AssertionError(f"mutex-holder answered {line!r} instead of 'released'")
        self._finish(timeout)

    def abandon(self, timeout: float = DEFAULT_TIMEOUT) -> None:
        """Ends the holder without releasing: the mutex is abandoned."""
        self._send("abandon")
        self._finish(timeout)

    def _finish(self, timeout: float) -> None:
        try:
            code = self._popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self._popen.kill()
            raise WineTimeout(f"mutex-holder for {self.name} did not end") from None
        if code != 0:
            raise AssertionError(f"mutex-holder for {self.name} exited {code}")

    def _send(self, line: str) -> None:
        self._popen.stdin.write(line + "\n")
        self._popen.stdin.flush()

    def _next_line(self, timeout: float = DEFAULT_TIMEOUT) -> str | None:
        try:
            return self._lines.get(timeout=timeout)
        except queue.Empty:
            raise WineTimeout(f"mutex-holder for {self.name} gave no answer in {timeout} s") from None

    def _pump(self) -> None:
        # The holder's stdout may stay open in Wine's service processes after it ends, so it is
        # read line by line here and never to its end from the test's thread.
        for line in self._popen.stdout:
            self._lines.put(line.rstrip("\r\n"))
        self._lines.put(None)


# ---------------------------------------------------------------------------------------------
# One test's prefix


class WinePrefix:
    """A test's own clone of the golden prefix, with a wineserver that lives until close()."""

    def __init__(self, path: Path, bin_dir: Path):
        self.path = Path(path)
        self.bin_dir = Path(bin_dir)
        self.drive_c = self.path / "drive_c"
        self._scratch = self.path.parent / (self.path.name + "-output")
        self._scratch.mkdir(parents=True, exist_ok=True)
        self._counter = itertools.count(1)
        self._processes: list[subprocess.Popen] = []
        self.env = wine_environment(self.path)

    @classmethod
    def clone(cls, template: Path, path: Path, bin_dir: Path) -> "WinePrefix":
        """Clones an idle golden prefix and starts the clone's own persistent wineserver."""
        subprocess.run([str(WINEPREFIX_SCRIPT), "clone", str(template), str(path)], check=True,
                       timeout=60, stdin=subprocess.DEVNULL)
        prefix = cls(path, bin_dir)
        # Started before any process so it stays up between runs (no 3 s linger, no cold restarts).
        subprocess.run(["wineserver", "-p"], env=prefix.env, check=True, timeout=DEFAULT_TIMEOUT,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Boot the prefix's services now, apart from any test's run: Wine's device service now and
        # then faults while it starts, and its message would land in the output of whatever program
        # happened to start it.
        subprocess.run(["wine", r"C:\windows\system32\cmd.exe", "/c", "exit"], env=prefix.env,
                       timeout=DEFAULT_TIMEOUT, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return prefix

    def close(self, remove: bool = True) -> None:
        """Stops every process of the prefix and its server, then removes the clone."""
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            try:
                subprocess.run(args, env=self.env, timeout=DEFAULT_TIMEOUT, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        for popen in self._processes:
            if popen.poll() is None:
                try:
                    os.killpg(popen.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                popen.wait(timeout=DEFAULT_TIMEOUT)
        if remove:
            shutil.rmtree(self.path, ignore_errors=True)
            shutil.rmtree(self._scratch, ignore_errors=True)

    # -- paths ----------------------------------------------------------------------------------

    def unix_path(self, windows_path: str) -> Path:
        """The unix path of a Windows path on one of the prefix's drives (C: is drive_c)."""
        text = windows_path[4:] if windows_path.startswith("\\\\?\\") else windows_path
        win = PureWindowsPath(text)
        if not win.drive or len(win.drive) != 2:
            raise ValueError(f"not an absolute drive path: {windows_path!r}")
        letter = win.drive[0].lower()
        root = self.drive_c if letter == "c" else Path(os.path.realpath(self.path / "dosdevices" / f"{letter}:"))
        return root.joinpath(*win.parts[1:])

    def windows_path(self, unix_path: Path | str) -> str:
        """The Windows path of a unix path: C:\\... inside drive_c, else Z:\\... (the host's root)."""
        path = Path(os.path.abspath(unix_path))
        try:
            rest = path.relative_to(self.drive_c)
            return "C:\\" + "\\".join(rest.parts)
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def _as_windows(self, exe: Path | str) -> str:
        return exe if isinstance(exe, str) else self.windows_path(exe)

    # -- files ----------------------------------------------------------------------------------

    def install(self, fixture: str, folder: str = r"C:\package", name: str | None = None) -> Path:
        """Copies build/bin/<fixture> to <folder>\\<name> in the prefix; returns the unix path."""
        target = self.unix_path(folder) / (name or fixture)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.bin_dir / fixture, target)
        return target

    def install_chainer(self, name: str = "setup.exe", folder: str = r"C:\package") -> "ChainerCopy":
        """Copies chainer.exe into the prefix under `name`."""
        return ChainerCopy(self, self.install("chainer.exe", folder, name))

    # -- processes ------------------------------------------------------------------------------

    def start(self, exe: Path | str, *args: str, cwd: Path | None = None,
              env: Mapping[str, str] | None = None, label: str | None = None) -> WineProcess:
        """Starts `wine exe args...` in the background. `exe` is a Windows path, or a unix path
        inside the prefix. The working folder defaults to the exe's folder."""
        windows_exe = self._as_windows(exe)
        if cwd is None:
            folder = PureWindowsPath(windows_exe).parent
            # Wine falls back to C:\windows, with a warning, for a current folder beyond MAX_PATH.
            cwd = self.unix_path(str(folder)) if len(str(folder)) < 248 else self.drive_c
        number = next(self._counter)
        out, err = self._scratch / f"{number}.out", self._scratch / f"{number}.err"
        # Files, not pipes: Wine's service processes inherit the first process's handles and would
        # keep a pipe open for seconds after the process itself has ended.
        with open(out, "wb") as out_file, open(err, "wb") as err_file:
            popen = subprocess.Popen(["wine", windows_exe, *args], cwd=cwd, env={**self.env, **(env or {})},
                                     stdin=subprocess.DEVNULL, stdout=out_file, stderr=err_file,
                                     start_new_session=True)
        self._processes.append(popen)
        return WineProcess(popen, label or PureWindowsPath(windows_exe).name, out, err)

    def run(self, exe: Path | str, *args: str, timeout: float = DEFAULT_TIMEOUT, **kwargs) -> RunResult:
        """Runs a Windows program to its end; WineTimeout (after killing it) past `timeout` seconds."""
        return self.start(exe, *args, **kwargs).wait(timeout)

    def hold_mutex(self, name: str = INSTALLER_MUTEX) -> MutexHolder:
        """Starts mutex-holder.exe and returns once it owns the mutex `name`. The holder runs from
        the build folder (through Z:), so it leaves nothing on the prefix's C: drive."""
        exe = self.windows_path(self.bin_dir / "mutex-holder.exe")
        popen = subprocess.Popen(["wine", exe, name], cwd=self.drive_c, env=self.env,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 text=True, start_new_session=True)
        self._processes.append(popen)
        return MutexHolder(popen, name)

    # -- registry -------------------------------------------------------------------------------

    def reg(self, *args: str, check: bool = True) -> int:
        """`wine reg args...`, returning its exit code; the caller passes the view flag (/reg:32 or
        /reg:64). With `check`, a non-zero exit fails the test."""
        if not any(a.lower() in ("/reg:32", "/reg:64") for a in args):
            raise ValueError("pass /reg:32 or /reg:64: wine reg reads and writes the 32-bit view by default")
        err = self._scratch / f"reg-{next(self._counter)}.err"
        with open(err, "wb") as err_file:
            code = subprocess.run(["wine", "reg", *args], cwd=self.drive_c, env=self.env, timeout=DEFAULT_TIMEOUT,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err_file).returncode
        if check and code != 0:
            raise AssertionError(f"wine reg {' '.join(args)} exited {code}: {err.read_text(errors='replace')}")
        return code

    def reg_add(self, key: str, name: str | None, data, *, view: int, reg_type: str | None = None) -> None:
        """Sets one value (name None: the default value). The type follows the data unless given:
        str REG_SZ, int REG_DWORD, list[str] REG_MULTI_SZ, bytes REG_BINARY."""
        if reg_type is None:
            reg_type = {str: "REG_SZ", int: "REG_DWORD", list: "REG_MULTI_SZ", bytes: "REG_BINARY"}[type(data)]
        if isinstance(data, bytes):
            text = data.hex()
        elif isinstance(data, list):
            text = "\\0".join(data)
        else:
            text = str(data)
        where = ["/ve"] if name is None else ["/v", name]
        self.reg("add", key, *where, "/t", reg_type, "/d", text, "/f", f"/reg:{view}")

    def reg_add_key(self, key: str, *, view: int) -> None:
        self.reg("add", key, "/f", f"/reg:{view}")

    def reg_delete(self, key: str, name: str | None = None, *, view: int) -> bool:
        """Deletes a value, or the whole key when `name` is None; False when it was not there."""
        where = [] if name is None else ["/v", name]
        return self.reg("delete", key, *where, "/f", f"/reg:{view}", check=False) == 0

    def reg_import(self, text: str, *, view: int) -> None:
        """Imports .reg text (the header line is added when missing)."""
        if not text.startswith("Windows Registry Editor"):
            text = "Windows Registry Editor Version 5.00\n\n" + text
        file = self.drive_c / "windows" / "temp" / f"bench-import-{next(self._counter)}.reg"
        file.write_bytes(encode_text(text))
        self.reg("import", self.windows_path(file), f"/reg:{view}")
        file.unlink()

    def reg_export(self, key: str, *, view: int) -> dict[str, dict[str, RegValue]] | None:
        """The key and its sub-keys, exactly as stored: {full key name: {value name: RegValue}};
        None when the key does not exist."""
        file = self.drive_c / "windows" / "temp" / f"bench-export-{next(self._counter)}.reg"
        if self.reg("export", key, self.windows_path(file), "/y", f"/reg:{view}", check=False) != 0:
            return None
        try:
            return parse_reg_file(file.read_bytes().decode("utf-16"))
        finally:
            file.unlink()

    def reg_values(self, key: str, *, view: int) -> dict[str, RegValue] | None:
        """The values of one key ('' names the default value); None when the key does not exist."""
        keys = self.reg_export(key, view=view)
        if keys is None:
            return None
        wanted = full_key_name(key).lower()
        for name, values in keys.items():
            if name.lower() == wanted:
                return values
        return next(iter(keys.values()))  # the key asked for is always written first

    def reg_value(self, key: str, name: str, *, view: int) -> RegValue | None:
        values = self.reg_values(key, view=view)
        return None if values is None else values.get(name)



class ChainerCopy:
    """A copy of chainer.exe inside a prefix, with the INI it reads."""

    def __init__(self, prefix: WinePrefix, exe: Path):
        self.prefix, self.exe = prefix, exe
        self.folder = exe.parent
        self.windows_exe = prefix.windows_path(exe)

    @property
    def ini(self) -> Path:
        """Where the chainer looks for its INI: the exe name cut at its last dot, plus .ini."""
        return self.folder / (self.exe.name.rsplit(".", 1)[0] + ".ini")

    def write_ini(self, sections: Mapping | None = None, *, text: str | None = None, data: bytes | None = None,
                  name: str | None = None, bom: bool = True, newline: str = "\r\n",
                  encoding: str = "utf-16-le") -> Path:
        """Writes an INI beside the exe (under `name`, else the name the chainer looks for) from
        sections, from text, or as raw bytes; UTF-16 LE with BOM and CR LF unless told otherwise."""
        if data is None:
            data = encode_text(ini_text(sections) if text is None else text, bom=bom, newline=newline,
                               encoding=encoding)
        path = self.folder / name if name else self.ini
        path.write_bytes(data)
        return path

    def start(self, *args: str, **kwargs) -> WineProcess:
        return self.prefix.start(self.exe, *args, **kwargs)

    def run(self, *args: str, timeout: float = DEFAULT_TIMEOUT, **kwargs) -> RunResult:
        return self.prefix.run(self.exe, *args, timeout=timeout, **kwargs)

#!/usr/bin/env python3
"""Runs the benchmarks under Wine in a throwaway prefix clone and prints one line per figure."""

import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from harness import encode_text, ini_text, wine_environment  # noqa: E402


def thousand_prerequisites() -> str:
    sections = {
        "GeneralOptions": {"Options": "q"},
        "PREREQUISITES": {f"App{i}": f"Prerequisite {i}" for i in range(1, 1001)},
        "PREREQ_CHAINER": {"LogFile": r"C:\bench\setup.log"},
    }
    for i in range(1, 1001):
        sections[f"App{i}"] = {"SetupFile": f"pkg{i}\\setup.exe", "CommandLine": "/q", "Options": "m",
                               "SearchType1": "4", "SearchString1": rf"HKLM\Software\Bench\P{i}\Version",
                               "VerMin1": "1.0"}
    return ini_text(sections)


def main() -> int:
    build = REPO / os.environ.get("CHAINER_BUILD", "build")
    template = build / "wineprefix-template"
    with tempfile.TemporaryDirectory(prefix="chainer-bench-") as work:
        prefix = Path(work) / "prefix"
        subprocess.run([str(REPO / "tests/support/wineprefix.sh"), "clone", str(template), str(prefix)], check=True)
        env = wine_environment(prefix)
        subprocess.run(["wineserver", "-p"], env=env, check=True)
        try:
            subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            out = subprocess.run(["wine", str(build / "bin" / "logger_bench.exe"), "5000"], env=env,
                                 capture_output=True, text=True, check=True).stdout
            print(out.strip())

            app = prefix / "drive_c" / "bench"
            app.mkdir()
            (app / "setup.exe").write_bytes((build / "bin" / "chainer.exe").read_bytes())
            (app / "setup.ini").write_bytes(encode_text(thousand_prerequisites()))
            times = []
            for _ in range(11):
                (app / "setup.log").unlink(missing_ok=True)
                start = time.perf_counter()
                subprocess.run(["wine", r"C:\bench\setup.exe"], env=env, check=True, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                times.append(time.perf_counter() - start)
            runs = times[1:]  # the first run warms the prefix's caches
            print(f"chainer_run_1000_prerequisites_ms median {statistics.median(runs) * 1000:.0f} "
                  f"min {min(runs) * 1000:.0f} max {max(runs) * 1000:.0f} ({len(runs)} runs)")
        finally:
            subprocess.run(["wineserver", "-k"], env=env)
    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

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


def mixed_searches(with_prerequisites: bool = True) -> str:
    """1,000 prerequisites whose searches cycle through registry, file and Windows Installer kinds;
    Options name no install mode, so nothing is installed and the run is the evaluation."""
    sections = {"GeneralOptions": {"Options": ""}}
    if not with_prerequisites:
        return ini_text(sections)
    sections["PREREQUISITES"] = {f"App{i}": f"Mixed {i}" for i in range(1, 1001)}
    kinds = [
        {"SearchType1": "5", "SearchString1": rf"HKLM\Software\Microsoft\Windows NT\CurrentVersion"},
        {"SearchType1": "9", "SearchString1": r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\CurrentVersion",
         "RefContent1": "M6.3"},
        {"SearchType1": "7", "SearchString1": r"HKCU\Software\Bench\Missing\Value"},
        {"SearchType1": "0", "SearchString1": r"C:\windows\system32\kernel32.dll", "VerMin1": "5.0"},
        {"SearchType1": "3", "SearchString1": "{6F6A7C1E-0000-4000-8000-00000000BEEF}", "VerMin1": "1.0"},
        {"SearchType1": "11", "SearchString1": "{6F6A7C1E-0000-4000-8000-00000000C0DE}"},
    ]
    for i in range(1, 1001):
        sections[f"App{i}"] = {"SetupFile": f"pkg{i}\\setup.exe", "Operator": "0", "Options": "x" if i % 2 else "",
                               **kinds[i % len(kinds)]}
    return ini_text(sections)


def time_runs(env, exe: str, count: int = 6) -> list[float]:
    """Wall-clock seconds of `count` runs after one warm-up run."""
    times = []
    for _ in range(count + 1):
        start = time.perf_counter()
        subprocess.run(["wine", exe], env=env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return times[1:]


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
                code = subprocess.run(["wine", r"C:\bench\setup.exe"], env=env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
                times.append(time.perf_counter() - start)
                # Every prerequisite is mandatory and missing, so an evaluating run ends with 1.
                assert code in (0, 1), f"chainer exited {code}"
            runs = times[1:]  # the first run warms the prefix's caches
            print(f"chainer_run_1000_prerequisites_ms median {statistics.median(runs) * 1000:.0f} "
                  f"min {min(runs) * 1000:.0f} max {max(runs) * 1000:.0f} ({len(runs)} runs)")

            # Evaluation rate: the same run with and without the prerequisites; the difference is
            # what the 1,000 evaluations cost (without a log, whose writes would dominate).
            mixed = prefix / "drive_c" / "benchmix"
            mixed.mkdir()
            (mixed / "setup.exe").write_bytes((build / "bin" / "chainer.exe").read_bytes())
            (mixed / "setup.ini").write_bytes(encode_text(mixed_searches(False)))
            empty = statistics.median(time_runs(env, r"C:\benchmix\setup.exe"))
            (mixed / "setup.ini").write_bytes(encode_text(mixed_searches()))
            full = statistics.median(time_runs(env, r"C:\benchmix\setup.exe"))
            rate = 1000 / (full - empty) if full > empty else float("inf")
            print(f"prerequisites_evaluated_per_second {rate:.0f} (1000 mixed registry/file/MSI searches: "
                  f"run {full * 1000:.0f} ms, empty run {empty * 1000:.0f} ms, medians of 6)")

            # A depth-3 file search over 10,000 folders (10 x 10 x 100) for a name that is not there,
            # beside a plain recursive walk of the same tree: the floor for that search.
            tree = prefix / "drive_c" / "benchtree"
            for a in range(10):
                for b in range(10):
                    for c in range(100):
                        (tree / f"a{a}" / f"b{b}" / f"c{c}").mkdir(parents=True)
            search_ms = float(subprocess.run(["wine", str(build / "bin" / "file_search_bench.exe"), r"C:\benchtree", "7"],
                                             env=env, capture_output=True, text=True, check=True).stdout.split()[0])
            walk = subprocess.run(["wine", str(build / "bin" / "tree_walk.exe"), r"C:\benchtree", "7"], env=env,
                                  capture_output=True, text=True, check=True).stdout.split()
            walk_ms, folders = float(walk[0]), int(walk[1])
            print(f"file_search_depth3_ms {search_ms:.1f} over {folders} folders; plain walk {walk_ms:.1f} ms; "
                  f"ratio {search_ms / walk_ms:.2f} (medians of 7)")
        finally:
            subprocess.run(["wineserver", "-k"], env=env)
    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

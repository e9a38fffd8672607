"""Fixtures of the end-to-end bench: the golden prefix once per session, a clone per test.

CHAINER_BUILD names the build folder (default: build); CHAINER_KEEP_PREFIX=1 keeps each test's
clone for a look afterwards.
"""

from __future__ import annotations

import os
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from pathlib import Path

import pytest

from harness import REPO, WinePrefix, make_template

FIXTURE_PROGRAMS = ("chainer.exe", "probe.exe", "mutex-holder.exe")


@dataclass(frozen=True)
class Bench:
    build_dir: Path
    bin_dir: Path
    template: Path


@pytest.fixture(scope="session")
def bench() -> Bench:
    build_dir = (REPO / os.environ.get("CHAINER_BUILD", "build")).resolve()
    bin_dir = build_dir / "bin"
    missing = [name for name in FIXTURE_PROGRAMS if not (bin_dir / name).is_file()]
    if missing:
        pytest.exit(f"{', '.join(missing)} missing in {bin_dir}: run `make build` first", returncode=2)
    template = build_dir / "wineprefix-template"
    make_template(template)
    return Bench(build_dir, bin_dir, template)


@pytest.fixture(scope="session")
def retire():
    """Closes finished prefixes in the background: `wineserver -k` takes most of a second, which
    the next test need not wait for. All are closed before the session ends."""
    pool = ThreadPoolExecutor(max_workers=4, thread_name_prefix="retire-prefix")
    pending = []
    yield lambda prefix: pending.append(pool.submit(prefix.close, os.environ.get("CHAINER_KEEP_PREFIX") != "1"))
    pool.shutdown(wait=True)
    for future in pending:
        future.result()


@pytest.fixture
def prefix(bench: Bench, retire, tmp_path: Path):
    """An isolated clone of the golden prefix with its own wineserver; stopped and removed afterwards."""
    clone = WinePrefix.clone(bench.template, tmp_path / "prefix", bench.bin_dir)
    try:
        yield clone
    finally:
        retire(clone)

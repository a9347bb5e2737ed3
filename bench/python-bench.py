#!/usr/bin/env python3
"""The Python package against its floors, each pair timed in the same run, one after the other
(the order alternating), the ratio of each pair taken and their median printed: on a machine
shared with other work, a pair sees the same load.

- Reading every value of every setup of a 10,000-setup file into Python objects (ornr.open, then
  values.to_dict() of each setup) against ornr-python-bench, a C++ program that opens the file
  through the same host read path and visits every value. Target: at most 2x.
- ornr.audit over the audit benchmark's 2,000 files against rsm-audit, the same run as a process
  of its own. Target: at most 1.1x.

    python-bench.py [--build DIR] [--runs N] [--small]
"""

from __future__ import annotations

import argparse
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def paired(first, second, runs: int) -> tuple[list[float], list[float]]:
    """Times of first and second, run one after the other runs times, the order alternating."""
    a, b = [], []
    for run in range(runs):
        if run % 2:
            b.append(second())
            a.append(first())
        else:
            a.append(first())
            b.append(second())
    return a, b


def row(name: str, now: list[float], floor: list[float], floor_name: str, target: float) -> str:
    ratio = statistics.median(n / f for n, f in zip(now, floor))
    return (f"| {name} | {1000 * statistics.median(now):.1f} ms | {floor_name} "
            f"{1000 * statistics.median(floor):.1f} ms | {ratio:.2f} | {target:g}x | "
            f"{'yes' if ratio <= target else 'NO'} |")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build-bench")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--small", action="store_true", help="100 setups, 40 files, one run")
    args = parser.parse_args()
    build = Path(args.build).resolve()
    sys.path.insert(0, str(build / "python"))
    import ornr

    helper = build / "bench" / "ornr-python-bench"
    audit = build / "audit" / "rsm-audit"
    setups, files, runs = (100, 40, 1) if args.small else (10_000, 2_000, args.runs)
    work = Path(tempfile.mkdtemp(prefix="ornr-python-bench-"))
    try:
        design_file = work / "setups.zel"
        subprocess.run([helper, "setups", design_file, str(setups)], check=True)

        def read_floor() -> float:
            out = subprocess.run([helper, "read", design_file], check=True, capture_output=True,
                                 text=True).stdout
            return float(out.split()[0])

        def read_python() -> float:
            start = time.perf_counter()
            with ornr.open(design_file) as f:
                for setup in f.setups.values():
                    setup.values.to_dict()
            return time.perf_counter() - start

        def read_python_by_key() -> float:
            start = time.perf_counter()
            with ornr.open(design_file) as f:
                for setup in f.setups.values():
                    values = setup.values
                    {key: values[key] for key in values}
            return time.perf_counter() - start

        read_floor(), read_python()  # the file in the page cache for both
        python_reads, floor_reads = paired(read_python, read_floor, runs)
        by_key, floor_by_key = paired(read_python_by_key, read_floor, runs)

        project, library = subprocess.run([helper, "audit-project", work, str(files)],
                                          check=True, capture_output=True,
                                          text=True).stdout.split("\n")[:2]

        def audit_floor() -> float:
            start = time.perf_counter()
            status = subprocess.run([audit, "--library", library, project],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
            elapsed = time.perf_counter() - start
            assert status == 1, f"rsm-audit ended with {status}"
            return elapsed

        def audit_python() -> float:
            start = time.perf_counter()
            report = ornr.audit(project, library)
            elapsed = time.perf_counter() - start
            assert report.exit_status == 1 and report.totals.design_files == files
            return elapsed

        audit_floor(), audit_python()
        audits, floor_audits = paired(audit_python, audit_floor, runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print(f"| Measurement | Now | Paired with | Ratio (median of {runs} pairs) | Target | Met |")
    print("|---|---|---|---|---|---|")
    print(row(f"Every value of {setups:,} setups into Python (to_dict)", python_reads,
              floor_reads, "C++, same host read path:", 2.0))
    print(row(f"The same, one value at a time (values[key])", by_key, floor_by_key,
              "C++, same host read path:", float("inf")).replace("| infx | yes |", "| - | - |"))
    print(row(f"ornr.audit over {files:,} files", audits, floor_audits, "rsm-audit:", 1.1))
    return 0


if __name__ == "__main__":
    sys.exit(main())

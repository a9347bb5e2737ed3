#!/usr/bin/env python3
"""Prints, after a failed CTest run, what failed and why, in a few lines per test.

A CI log is often cut in the middle, where a long run's failures sit; this puts them at its end.
For each test CTest names in BUILD/Testing/Temporary/LastTestsFailed.log it prints the lines of
its output that say what failed: GoogleTest's failures, the browser suites' "not ok" cases with
their error, a Python traceback's last lines, or the output's tail.

    scripts/failure-digest.py (BUILD | --preset NAME) [--lines N]
"""
import argparse
import json
import pathlib
import re
import sys

FAILED_LINE = re.compile(r"^\d+:(.*)$")
GTEST_FAILURE = re.compile(r": Failure$")
TAP_NOT_OK = re.compile(r"^\s*not ok \d+ - ")


def outputs(log_text):
    """Maps each test's name to its output in LastTest.log."""
    pattern = re.compile(r"^\d+/\d+ Testing: (.*?)\n.*?^Output:\n-+\n(.*?)^<end of output>",
                         re.M | re.S)
    return {match.group(1): match.group(2) for match in pattern.finditer(log_text)}


def tap_failures(lines):
    """The browser suites' failed cases: the "not ok" line, its diagnostics, where it was thrown."""
    picked = []
    for i, line in enumerate(lines):
        if not TAP_NOT_OK.match(line):
            continue
        picked.append(line.strip())
        frames = 0
        for detail in lines[i + 1:i + 80]:
            text = detail.strip()
            if text == "...":
                break
            if text.startswith(("duration_ms:", "---", "stack:")):
                continue
            if text.startswith("at "):
                frames += 1
                if frames > 3:
                    continue
            picked.append("    " + text[:300])
    return picked


def gtest_failures(lines):
    """GoogleTest's failures: where, and what was expected, up to the next test's mark."""
    picked = []
    for i, line in enumerate(lines):
        if not GTEST_FAILURE.search(line):
            continue
        picked.append(line[:300])
        for detail in lines[i + 1:i + 12]:
            if detail.startswith("[") or GTEST_FAILURE.search(detail):
                break
            picked.append("  " + detail[:300])
    return picked


def digest(output, limit):
    lines = output.splitlines()
    picked = tap_failures(lines)
    if not picked:
        picked = gtest_failures(lines)
    if not picked and "Traceback" in output:
        picked = lines[-12:]
    if not picked:
        picked = lines[-limit:]
    return picked[:limit]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("build", nargs="?", help="a build folder")
    where.add_argument("--preset", help="a configure preset of CMakePresets.json, for its build folder")
    parser.add_argument("--lines", type=int, default=40, help="at most this many lines per test")
    args = parser.parse_args()
    if args.preset:
        root = pathlib.Path(__file__).resolve().parent.parent
        presets = json.loads((root / "CMakePresets.json").read_text())["configurePresets"]
        binary = next(p["binaryDir"] for p in presets if p["name"] == args.preset)
        args.build = binary.replace("${sourceDir}", str(root))
    temporary = pathlib.Path(args.build) / "Testing" / "Temporary"
    try:
        failed_text = (temporary / "LastTestsFailed.log").read_text(errors="replace")
        log_text = (temporary / "LastTest.log").read_text(errors="replace")
    except OSError as error:
        print(f"failure digest: no CTest log to read ({error.strerror}: {error.filename})")
        return 0
    failed = [m.group(1) for m in map(FAILED_LINE.match, failed_text.splitlines()) if m]
    found = outputs(log_text)
    print(f"== what failed in {args.build}: {len(failed)} test(s)")
    for name in failed:
        print(f"-- {name}")
        for line in digest(found.get(name, ""), args.lines) or ["(no output)"]:
            print(f"   {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

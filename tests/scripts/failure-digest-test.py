#!/usr/bin/env python3
"""The failure digest finds, in a CTest log, what failed in a browser suite and in GoogleTest,
and only that: a passing test's output and a failed case's timing stay out.

Usage: failure-digest-test.py SOURCE_DIR
"""
import pathlib
import subprocess
import sys
import tempfile

ENTRY = """{n}/9 Testing: {name}
{n}/9 Test: {name}
Command: "/bin/true"
Directory: /tmp
"{name}" start time: Dec 07 12:00 UTC
Output:
----------------------------------------------------------
{output}<end of output>
Test time =   1.00 sec
----------------------------------------------------------

"""
BROWSER = """TAP version 13
# Subtest: a passing case
ok 1 - a passing case
  ---
  duration_ms: 12.5
  ...
# Subtest: a failing case
not ok 2 - a failing case
  ---
  duration_ms: 9000.25
  location: '/x/status-line.test.js:103:1'
  error: |-
    status says "Saved", not /^Added/
  code: 'ERR_ASSERTION'
  stack: |-
    at statusSays (file:///x/status-line.test.js:19:29)
    at frame2
    at frame3
    at frame4
  ...
# Subtest: a later case
ok 3 - a later case
"""
GTEST = """[ RUN      ] Store.Keeps
/x/StoreTest.cpp:12: Failure
Expected equality of these values:
  kept
    Which is: 1
[  FAILED  ] Store.Keeps (0 ms)
"""


def main():
    script = pathlib.Path(sys.argv[1]) / "scripts" / "failure-digest.py"
    with tempfile.TemporaryDirectory() as build:
        temporary = pathlib.Path(build) / "Testing" / "Temporary"
        temporary.mkdir(parents=True)
        (temporary / "LastTestsFailed.log").write_text("1:BrowserPanel\n7:Store.Keeps\n")
        log = "".join(ENTRY.format(n=n, name=name, output=output) for n, name, output in [
            (1, "BrowserPanel", BROWSER), (5, "Passing.One", "all good: a passing case\n"),
            (7, "Store.Keeps", GTEST)])
        (temporary / "LastTest.log").write_text(log)
        said = subprocess.run([sys.executable, script, build], check=True, capture_output=True,
                              text=True).stdout
    failures = []
    for wanted in ["2 test(s)", "-- BrowserPanel", "not ok 2 - a failing case",
                   'status says "Saved", not /^Added/', "status-line.test.js:19:29", "frame3",
                   "-- Store.Keeps", "StoreTest.cpp:12: Failure", "Which is: 1"]:
        if wanted not in said:
            failures.append(f"missing {wanted!r}")
    for unwanted in ["a passing case", "a later case", "duration_ms", "frame4", "all good",
                     "Passing.One"]:
        if unwanted in said:
            failures.append(f"says {unwanted!r}, which did not fail")
    if failures:
        print(said)
        print("\n".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks the labels and time-outs of every test CTest knows in a build tree.

Usage: check_test_properties.py CTEST BUILD_DIR STRICT

Every test must carry at least one label, none of them a property name or a number (the mark
of arguments shifted by a missing value), and a time-out between 1 and 900 seconds. The suite
must hold threaded tests labelled "tsan", since the thread-sanitizer stage runs that label
only. With STRICT set (1, ON, TRUE), no test may be reported as skipped: no test has a skip
return code, and every GoogleTest test (one with a skip pattern) runs with ROVAK_NO_SKIP set,
which turns a skip into a failure.
Prints one line per fault and exits with 1 when there is any.
"""
import json
import re
import subprocess
import sys

PROPERTY_NAMES = {"TIMEOUT", "LABELS", "ENVIRONMENT", "RESOURCE_LOCK", "WORKING_DIRECTORY",
                  "SKIP_RETURN_CODE", "SKIP_REGULAR_EXPRESSION", "FIXTURES_SETUP",
                  "FIXTURES_REQUIRED", "PROPERTIES"}
MAX_TIMEOUT = 900


def properties(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}


def faults_of(test, strict):
    props = properties(test)
    faults = []
    labels = props.get("LABELS", [])
    if not labels:
        faults.append("no label")
    for label in labels:
        if label in PROPERTY_NAMES or re.fullmatch(r"[0-9.]*", label):
            faults.append(f"label {label!r} is not a label (shifted arguments?)")
    timeout = props.get("TIMEOUT")
    if timeout is None:
        faults.append("no time-out")
    elif not 0 < float(timeout) <= MAX_TIMEOUT:
        faults.append(f"time-out {timeout} outside 1..{MAX_TIMEOUT} s")
    if strict:
        if "SKIP_RETURN_CODE" in props:
            faults.append(f"skip return code {props['SKIP_RETURN_CODE']} in strict mode")
        env = props.get("ENVIRONMENT", []) + props.get("ENVIRONMENT_MODIFICATION", [])
        no_skip = any(e in ("ROVAK_NO_SKIP=1", "ROVAK_NO_SKIP=set:1") for e in env)
        if props.get("SKIP_REGULAR_EXPRESSION") and not no_skip:
            faults.append("a GoogleTest skip still counts as a skip in strict mode")
    return faults


def main():
    ctest, build, strict = sys.argv[1], sys.argv[2], sys.argv[3].upper() in ("1", "ON", "TRUE")
    listing = subprocess.run([ctest, "--show-only=json-v1"], cwd=build, check=True,
                             capture_output=True, text=True).stdout
    tests = json.loads(listing)["tests"]
    bad = 0
    for test in tests:
        for fault in faults_of(test, strict):
            print(f"{test['name']}: {fault}")
            bad += 1
    if not any("tsan" in properties(t).get("LABELS", []) for t in tests):
        print("no test carries the label tsan: the thread-sanitizer stage would run nothing")
        bad += 1
    print(f"{len(tests)} tests checked, {bad} fault(s)")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

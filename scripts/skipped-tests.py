#!/usr/bin/env python3
"""Lists every skipped test of the given ctest JUnit files with its reason, and the tests a build
disabled (the arm64 build's under emulation: tests/arm64.cmake says why). With CI=true, a test
skipped for want of a network namespace, Wine or a sound server makes the exit status 1: such a
machine has them all, so the skip would hide a test that never ran."""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

# What a skip for want of a capability says; the tests' own skip messages name it.
CAPABILITY = re.compile(r"unshare|namespace|wine|pulseaudio|pacat|sound server", re.IGNORECASE)


def reason(output):
    """The line that says why: a script's SKIP line, or what GoogleTest printed after Skipped."""
    lines = [line.strip() for line in output.splitlines()]
    for index, line in enumerate(lines):
        if line.startswith("SKIP"):
            return line
        if line.endswith(": Skipped") and index + 1 < len(lines):
            return lines[index + 1]
    return "(no reason given)"


def main(paths):
    on_ci = os.environ.get("CI") == "true"
    skipped = []
    disabled = {}
    for path in paths:
        if not os.path.exists(path):
            continue
        build = os.path.dirname(path) or "."
        for case in ElementTree.parse(path).getroot().iter("testcase"):
            if case.get("status") == "disabled":
                disabled.setdefault(build, []).append(case.get("name"))
                continue
            if case.find("skipped") is None:
                continue
            output = case.findtext("system-out") or ""
            skipped.append((build, case.get("name"), reason(output)))
    for build, names in disabled.items():
        print(f"{build}: {len(names)} test(s) disabled by its test list: {', '.join(names)}")
    if not skipped:
        print("No test was skipped.")
        return 0
    print(f"{len(skipped)} test(s) skipped:")
    failing = 0
    for build, name, why in skipped:
        fatal = on_ci and CAPABILITY.search(why) is not None
        failing += fatal
        print(f"  {build}: {name}: {why}{'  <- not allowed with CI=true' if fatal else ''}")
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Runs one test file of the documentation site with pytest, or skips it.

    run.py NEEDS TEST_FILE

NEEDS is "docs" (Sphinx, MyST, Furo), "browser" (those and Chromium with its
WebDriver and Selenium) or "tests" (what the test suite needs anyway). When a
package the test needs is missing, this prints which ones and exits with 77,
which ctest reports as a skipped test; tools/install-deps --docs installs
them.
"""
import importlib.util
import os
import shutil
import subprocess
import sys

SKIP = 77
MODULES = {
    "docs": [("sphinx", "python3-sphinx"), ("myst_parser", "python3-myst-parser"), ("furo", "furo")],
    "browser": [("selenium", "python3-selenium")],
    "tests": [("pytest", "python3-pytest")],
}
PROGRAMS = {"browser": [("chromium", "chromium"), ("chromedriver", "chromium-driver")]}


def missing(needs):
    kinds = {"docs": ["tests", "docs"], "browser": ["tests", "docs", "browser"], "tests": ["tests"]}[needs]
    lost = []
    for kind in kinds:
        lost += [pkg for module, pkg in MODULES.get(kind, []) if importlib.util.find_spec(module) is None]
        lost += [pkg for program, pkg in PROGRAMS.get(kind, []) if shutil.which(program) is None]
    return lost


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("docs", "browser", "tests"):
        sys.exit(__doc__)
    lost = missing(sys.argv[1])
    if lost:
        print(f"SKIPPED {os.path.basename(sys.argv[2])}: the Debian packages {', '.join(lost)} are missing "
              "(tools/install-deps --docs installs them)")
        sys.exit(SKIP)
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(subprocess.call([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                              "--rootdir", here, sys.argv[2]]))


if __name__ == "__main__":
    main()

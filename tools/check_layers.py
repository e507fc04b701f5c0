#!/usr/bin/python3
"""Checks that every source folder includes only itself and the folders
before it in the data flow (see src/README.md). Prints each offending include
and exits 1 when there is one."""
import pathlib
import re
import sys

ORDER = ["common", "base", "random", "settings", "drainage", "demography", "coalescent", "mutation", "output", "app", "gis", "map"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer(path):
    top = path.split("/")[0]
    return ORDER.index(top) if top in ORDER else None


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        rel = file.relative_to(src).as_posix()
        own = layer(rel)
        if own is None:
            problems.append(f"{rel}: the folder is not one of {', '.join(ORDER)}")
            continue
        for number, line in enumerate(file.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = layer(match.group(1))
            if target is not None and target > own:
                problems.append(f"{rel}:{number}: includes {match.group(1)}, a later folder")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

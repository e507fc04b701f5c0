#!/usr/bin/python3
"""Checks that every source folder includes only the folders it may (see
src/README.md): `common/` is the ground floor, which includes only itself and
which every folder may include; each folder of the simulator includes the
folders before it in the data flow; the folders of the other programs
(`gis/`, `map/`) include only themselves and `common/`. Prints each offending
include and exits 1 when there is one."""
import pathlib
import re
import sys

GROUND = "common"
CORE = ["base", "random", "settings", "drainage", "demography", "coalescent", "mutation", "output", "app"]
PROGRAMS = ["gis", "map"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def allowed(folder):
    """The folders `folder` may include, or None when it is not a known folder."""
    if folder == GROUND:
        return {GROUND}
    if folder in CORE:
        return {GROUND, *CORE[: CORE.index(folder) + 1]}
    if folder in PROGRAMS:
        return {GROUND, folder}
    return None


def top(path):
    return path.split("/")[0]


def check(src):
    known = {GROUND, *CORE, *PROGRAMS}
    problems = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        rel = file.relative_to(src).as_posix()
        own = top(rel)
        permitted = allowed(own)
        if permitted is None:
            problems.append(f"{rel}: the folder is not one of {', '.join([GROUND, *CORE, *PROGRAMS])}")
            continue
        for number, line in enumerate(file.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = top(match.group(1))
            if target in known and target not in permitted:
                problems.append(f"{rel}:{number}: includes {match.group(1)}, which {own}/ may not include")
    return problems


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    problems = check(src)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

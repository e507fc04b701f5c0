#!/usr/bin/python3
"""The table of settings lines on docs/guide/settings.md, against the
program's own key table (`fluviagen --list-settings --json`).

    settings_table.py FLUVIAGEN --check   fails, naming each difference, when
                                          the page and the program disagree
    settings_table.py FLUVIAGEN --write   writes the table from the program's

Every column is the program's: the key table is the one place where a line's
number, name, kind, range, default and meaning are written.
"""
import json
import os
import subprocess
import sys

PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "guide", "settings.md")
COLUMNS = ["Line", "Name", "Kind", "Range", "Default", "Meaning"]
HEADER = "| " + " | ".join(COLUMNS) + " |"


def program_table(program):
    out = subprocess.run([program, "--list-settings", "--json"], check=True,
                         capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
    return {int(row["line"]): row for row in json.loads(out)}


def code(text):
    # Values and symbols as code; a range said in words ("0 or more") as text.
    return f"`{text}`" if text and " " not in text else text


def uncode(cell):
    cell = cell.strip()
    return cell[1:-1] if len(cell) >= 2 and cell[0] == cell[-1] == "`" else cell


def split_row(line):
    # Cells are separated by " | "; a `|` inside a cell is written `\|`.
    cells = line.strip()[1:-1].replace("\\|", "\0").split("|")
    return [c.strip().replace("\0", "|") for c in cells]


def join_row(cells):
    return "| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |"


def read_page():
    lines = open(PAGE, encoding="utf-8").read().split("\n")
    start = lines.index(HEADER)
    end = start + 2
    while end < len(lines) and lines[end].startswith("|"):
        end += 1
    rows = [split_row(l) for l in lines[start + 2:end]]
    return lines, start, end, rows


def program_cells(row):
    return [str(row["line"]), code(row["name"]), row["kind"], code(row["range"]), code(row["default"]), row["meaning"]]


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("--check", "--write"):
        sys.exit(__doc__)
    table = program_table(sys.argv[1])
    lines, start, end, rows = read_page()
    by_line = {int(r[0]): r for r in rows}
    problems = []
    for number, row in sorted(table.items()):
        page_row = by_line.get(number)
        if page_row is None:
            problems.append(f"line {number} ({row['name']}) is missing from the page")
            continue
        for column, want, have in zip(COLUMNS, program_cells(row), page_row):
            if uncode(want) != uncode(have):
                problems.append(f"line {number}, column {column}: the program says {want!r}, the page {have!r}")
    for number in sorted(set(by_line) - set(table)):
        problems.append(f"line {number} is on the page but not in the program's table")
    if sys.argv[2] == "--check":
        for p in problems:
            print(f"{PAGE}: {p}", file=sys.stderr)
        sys.exit(1 if problems else 0)
    lines[start + 2:end] = [join_row(program_cells(table[number])) for number in sorted(table)]
    open(PAGE, "w", encoding="utf-8").write("\n".join(lines))


if __name__ == "__main__":
    main()

"""Runs the program for a batch of runs and reduces each run to one row of
the replicates table: its number, draw, replicate, seed, parameters, status,
and its statistics averaged over its genetic simulations.

A statistics table is read by its header: the columns `e` and `s` (or `sim`)
number the simulations; a column `seg` tells where a sample is; text columns
(and those named like `sample`) name the sample or the pair a row is about;
every other column is a statistic. A statistic of sample A becomes the column
`<statistic>_A`, of the pair A, B `<statistic>_A_B`; a row about all samples
(named `*`, or `*` and `*`) gives `<statistic>_all`. The column holds the mean
of the statistic over the simulations where it is defined (`NA`, empty, `nan`
and `inf` are undefined); it is `NA` when no simulation defines it, and every
statistic of a failed run is `NA`.
"""
import glob
import json
import os
import re
import subprocess
import sys

NA = "NA"
INDEX = re.compile(r"^(e|s|entire.*|genetic.*|sim.*|replicate)$", re.I)
ATTRIBUTE = re.compile(r"^(seg|segment|segid)$", re.I)  # where a sample is, not a statistic
KEY = re.compile(r"^(sample|pop|population|deme|name)(_?[0-9ab])?$", re.I)
KEPT = ("_run.json", "_stats.tsv", "_pairs.tsv", "log.txt")  # what keep_outputs: false keeps
FIXED = ["run", "draw", "replicate", "seed", "status"]


def number(value):
    try:
        x = float(value)
    except ValueError:
        return None
    return x if x == x and abs(x) != float("inf") else None


def is_missing(value):
    return value.strip() in ("", NA, "na", "nan", "NaN", "-nan", "inf", "-inf")


def read_tsv(path):
    with open(path) as f:
        lines = [line.rstrip("\n").rstrip("\r") for line in f if line.strip() and not line.startswith("#")]
    if not lines:
        return [], []
    header = lines[0].split("\t")
    rows = []
    for n, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(header):
            raise ValueError(f"{path}, line {n}: {len(fields)} fields, the header has {len(header)}")
        rows.append(dict(zip(header, fields)))
    return header, rows


def reduce_table(path):
    """{`<statistic>_<key>`: mean or None} for one statistics table, in the
    order statistic by statistic, keys in the order they first appear."""
    header, rows = read_tsv(path)
    index = [c for c in header if INDEX.match(c)]
    keys = [c for c in header if c not in index and (
        KEY.search(c) or any(number(r[c]) is None and not is_missing(r[c]) for r in rows))]
    stats = [c for c in header if c not in index and c not in keys and not ATTRIBUTE.match(c)]
    sums = {}
    for r in rows:
        names = [("all" if r[k] == "*" else r[k]) for k in keys if r[k].strip()]
        key = names[0] if len(set(names)) == 1 else "_".join(names)  # "all", not "all_all"
        for stat in stats:
            total, count = sums.setdefault((stat, key), [0.0, 0])
            x = None if is_missing(r[stat]) else number(r[stat])
            if x is not None:
                sums[(stat, key)] = [total + x, count + 1]
    row = {}
    for stat in stats:
        for (s, key), (total, count) in sums.items():
            if s == stat:
                row[f"{stat}_{key}" if key else stat] = total / count if count else None
    return row


def collect_run(run, exit_status, stderr=""):
    """The table row of one finished run."""
    row = {k: run[k] for k in FIXED if k in run}
    row.update(run["parameters"])
    records = glob.glob(os.path.join(run["folder"], "*_run.json"))
    record = {}
    if records:
        with open(records[0]) as f:
            record = json.load(f)
    status = record.get("status") or ("success" if exit_status == 0 else "failed")
    error = record.get("error") or ("" if status == "success" else last_line(stderr) or f"exit status {exit_status}")
    row["status"] = status
    row["error"] = " ".join(error.split())
    if status == "success":
        for kind in ("stats", "pairs"):
            for path in sorted(glob.glob(os.path.join(run["folder"], f"*_{kind}.tsv"))):
                row.update(reduce_table(path))
    return row


def last_line(textual):
    lines = [line for line in textual.splitlines() if line.strip()]
    return lines[-1] if lines else ""


def run_one(run, keep_outputs=True):
    """Runs the program once, unless an earlier call already did: the row is
    kept in the run's folder as `row.json` beside the command that made it."""
    done = os.path.join(run["folder"], "row.json")
    if os.path.exists(done):
        with open(done) as f:
            kept = json.load(f)
        if kept.get("command") == run["command"]:
            return kept["row"]
    os.makedirs(run["folder"], exist_ok=True)
    with open(os.path.join(run["folder"], "log.txt"), "w") as log:
        result = subprocess.run(run["command"], stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.PIPE, text=True)
        log.write(result.stderr)
    row = collect_run(run, result.returncode, result.stderr)
    if row["status"] == "interrupted" or result.returncode < 0:
        # Not a result: the run is still missing, and so is its batch.
        raise RuntimeError(f"run {run['run']} was interrupted (exit status {result.returncode})")
    if not keep_outputs:
        for path in glob.glob(os.path.join(run["folder"], "*")):
            if not path.endswith(KEPT) and os.path.isfile(path):
                os.remove(path)
    with open(done + ".part", "w") as f:
        json.dump({"command": run["command"], "row": row}, f)
    os.replace(done + ".part", done)
    return row


def write_table(rows, path):
    """One TSV for rows whose columns may differ (a failed run has no
    statistics): the union of the columns in order of appearance."""
    columns = []
    for row in rows:
        columns += [c for c in row if c not in columns]
    with open(path + ".part", "w") as f:
        f.write("\t".join(columns) + "\n")
        for row in rows:
            f.write("\t".join(cell(row.get(c)) for c in columns) + "\n")
    os.replace(path + ".part", path)


def cell(value):
    if value is None or value == "":
        return NA
    if isinstance(value, float):
        return f"{value:.10g}"
    return str(value)


def run_batch(plan, number, output):
    rows = []
    for run in plan.batch(number):
        row = run_one(run, plan.keep_outputs)
        if row["status"] != "success":
            print(f"run {run['run']} (seed {run['seed']}) failed: {row['error']}", file=sys.stderr)
        rows.append(row)
    write_table(rows, output)


def merge(paths, output):
    rows = []
    for path in paths:
        rows += read_tsv(path)[1]
    write_table(rows, output)
    failed = sum(row["status"] != "success" for row in rows)
    print(f"{len(rows)} runs, {failed} failed: {output}", file=sys.stderr)

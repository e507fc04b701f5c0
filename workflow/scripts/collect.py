"""Runs the program for a batch of runs and reduces each run to one row of
the replicates table: its number, draw, replicate, seed, parameters, status,
and its statistics averaged over its genetic simulations.

A row comes only from the run record `<set>_run.json` that the run's own
command wrote (its command line and seed are checked), and the run's folder
is emptied before the program starts, so nothing left over from an earlier
call can stand in for a result. A run the program refuses is a failed row
with the program's own message. A run interrupted by a signal is no result
at all: the batch fails, writes no table, and Snakemake runs it again.

The statistics tables have fixed columns (the program's `_stats.tsv` and
`_pairs.tsv`): `e` and `sim` number the simulations, `sample` (or `sample_a`
and `sample_b`) name the sample or pair a row is about, `seg` is where a
sample stands, and every other column is a statistic. A statistic of sample
A becomes the column `<statistic>_A`, of the pair A, B `<statistic>_A_B`; the
row about all samples (`*`, or `*` and `*`) gives `<statistic>_all`. The
column holds the mean of the statistic over the simulations where it is
defined (`NA` is undefined); it is `NA` when no simulation defines it, and
every statistic of a failed run is `NA`.
"""
import glob
import json
import os
import resource
import shutil
import signal
import subprocess
import sys

from replicates import program_error

NA = "NA"
FIXED = ["run", "draw", "replicate", "seed", "status"]
KEPT = ("_run.json", "_stats.tsv", "_pairs.tsv", "log.txt")  # what keep_outputs: false keeps


class Table:
    """A statistics table of the program: its index, key and attribute columns,
    then its statistics, and the statistics it may carry at its end."""

    def __init__(self, suffix, keys, statistics, optional=()):
        self.suffix, self.keys, self.statistics, self.optional = suffix, keys, statistics, optional
        self.attributes = ["seg"] if "sample" in keys else []

    def columns(self, header, path):
        """The statistics of a header, which must be the program's own."""
        fixed = ["e", "sim"] + self.keys + self.attributes + self.statistics
        extra = header[len(fixed):]
        if header[:len(fixed)] != fixed or extra != list(self.optional[:len(extra)]):
            raise ValueError(f"{path}: the header is not fluviagen's {self.suffix} header "
                             f"({' '.join(fixed + list(self.optional))}), got {' '.join(header)}")
        return self.statistics + extra


TABLES = [
    Table("_stats.tsv", ["sample"], ["genes", "alleles", "he", "ho", "ar", "segsites", "pi", "tajd",
                                     "rep_mean", "rep_var", "gw", "tmrca"]),
    Table("_pairs.tsv", ["sample_a", "sample_b"], ["fst", "nei", "river_km", "line_km"], optional=("dxy", "da")),
]


class Interrupted(Exception):
    pass


def number(value):
    try:
        x = float(value)
    except ValueError:
        return None
    return x if x == x and abs(x) != float("inf") else None


def is_missing(value):
    return value.strip() in ("", NA)


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


def reduce_table(path, table):
    """{`<statistic>_<key>`: mean or None} for one statistics table, statistic
    by statistic, keys in the order they first appear."""
    header, rows = read_tsv(path)
    statistics = table.columns(header, path)
    sums = {}
    for n, r in enumerate(rows, start=2):
        names = ["all" if r[k] == "*" else r[k] for k in table.keys]
        key = "all" if set(names) == {"all"} else "_".join(names)
        for stat in statistics:
            total, count = sums.setdefault((stat, key), [0.0, 0])
            if is_missing(r[stat]):
                continue
            x = number(r[stat])
            if x is None:
                raise ValueError(f"{path}, line {n}: column {stat} holds '{r[stat]}', not a number")
            sums[(stat, key)] = [total + x, count + 1]
    row = {}
    for stat in statistics:
        for (s, key), (total, count) in sums.items():
            if s == stat:
                row[f"{stat}_{key}"] = total / count if count else None
    return row


def own_record(run):
    """The run record the run's own command wrote, or None."""
    records = glob.glob(os.path.join(glob.escape(run["folder"]), "*_run.json"))
    if len(records) != 1:
        return None
    try:
        with open(records[0]) as f:
            record = json.load(f)
    except (OSError, ValueError):
        return None
    if record.get("command_line") != run["command"] or record.get("seed") != -run["seed"]:
        return None
    return record


INTERRUPTIONS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGKILL, signal.SIGQUIT}


def collect_run(run, exit_status, stderr=""):
    """The table row of one finished run."""
    row = {k: run[k] for k in FIXED if k in run}
    row.update(run["parameters"])
    record = own_record(run)
    if exit_status < 0 and -exit_status in INTERRUPTIONS or exit_status in (130, 143) or \
            (record or {}).get("status") == "interrupted":
        raise Interrupted(f"run {run['run']} (seed {run['seed']}) was interrupted (exit status {exit_status})")
    if exit_status < 0:
        status, error = "failed", f"the program was killed by {signal.Signals(-exit_status).name}"
    elif record is None:
        status = "failed"
        error = program_error(stderr, exit_status) if exit_status != 0 else \
            "the program wrote no run record for this command"
    elif record.get("status") == "success" and exit_status == 0:
        status, error = "success", ""
    else:
        status = "failed"
        error = record.get("error") or program_error(stderr, exit_status)
    row["status"] = status
    row["error"] = " ".join(error.split())
    if status == "success":
        for table in TABLES:
            for path in sorted(glob.glob(os.path.join(glob.escape(run["folder"]), "*" + table.suffix))):
                row.update(reduce_table(path, table))
    return row


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_one(run, keep_outputs=True):
    """Runs the program once in an emptied folder; returns the run's row and
    the program's CPU time (user and system, seconds)."""
    shutil.rmtree(run["folder"], ignore_errors=True)
    os.makedirs(run["folder"])
    with open(os.path.join(run["folder"], "log.txt"), "w") as log:
        before = children_cpu()
        result = subprocess.run(run["command"], stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.PIPE, text=True)
        cpu = children_cpu() - before
        log.write(result.stderr)
    row = collect_run(run, result.returncode, result.stderr)
    if not keep_outputs:
        for path in glob.glob(os.path.join(glob.escape(run["folder"]), "*")):
            if not path.endswith(KEPT) and os.path.isfile(path):
                os.remove(path)
    return row, cpu


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


def run_batch(runs, keep_outputs, output, log=sys.stderr):
    """Every run of a batch, then its table; no table when a run was interrupted.
    The log has a line per run: its status and the program's CPU time."""
    rows = []
    for run in runs:
        row, cpu = run_one(run, keep_outputs)
        outcome = "success" if row["status"] == "success" else f"failed: {row['error']}"
        print(f"run {run['run']} (seed {run['seed']}), {cpu:.3f} s CPU: {outcome}", file=log, flush=True)
        rows.append(row)
    write_table(rows, output)
    return rows


def merge(paths, output):
    """The batches' tables as one; returns the number of runs and of failed runs."""
    rows = []
    for path in paths:
        rows += read_tsv(path)[1]
    write_table(rows, output)
    return len(rows), sum(row["status"] != "success" for row in rows)

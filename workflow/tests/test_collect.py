"""The reduction of statistics tables to one row per run, and a row only
from the run's own record."""
import json
import os
import signal
import subprocess
import threading
import time

import pytest

import collect
from conftest import FAKE, PROGRAM, TEMPLATE

STATS = """e\tsim\tsample\tseg\tgenes\talleles\the\tho\tar\tsegsites\tpi\ttajd\trep_mean\trep_var\tgw\ttmrca
1\t1\tLower\t5\t10\t2\t0.5\tNA\t2\t1\t0.5\tNA\tNA\tNA\tNA\t100
1\t2\tLower\t5\t10\t2\t0.7\tNA\t2\t1\t0.7\t-1.5\tNA\tNA\tNA\t300
1\t1\t2\t157\t0\t0\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA
1\t2\t2\t157\t0\t0\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA
1\t1\t*\tNA\t20\t3\t0.6\tNA\t3\t2\t0.6\t1\tNA\tNA\tNA\t150
1\t2\t*\tNA\t20\t3\t0.8\tNA\t3\t2\t0.8\tNA\tNA\tNA\tNA\t350
"""
PAIRS = "e\tsim\tsample_a\tsample_b\tfst\tnei\triver_km\tline_km{}\n" \
        "1\t1\tLower\t2\t0.1\tNA\t12.5\t10{}\n1\t2\tLower\t2\t0.3\tNA\t12.5\t10{}\n1\t1\t*\t*\t0.2\tNA\tNA\tNA{}\n"


@pytest.mark.parametrize("extra, columns", [
    ("", {}),
    # The divergence columns at the end of the pairs table are statistics too.
    ("\tdxy\tda|\t2\t1|\t4\t1|\t3\tNA", {"dxy_Lower_2": 3.0, "dxy_all": 3.0, "da_Lower_2": 1.0, "da_all": None}),
])
def test_reduce_means_over_defined_values_and_names_columns(tmp_path, extra, columns):
    (tmp_path / "x_stats.tsv").write_text(STATS)
    stats, pairs = collect.TABLES
    row = collect.reduce_table(tmp_path / "x_stats.tsv", stats)
    assert (row["he_Lower"], row["he_2"], row["he_all"]) == (0.6, None, 0.7)
    assert (row["tajd_Lower"], row["tajd_all"], row["genes_2"], row["tmrca_all"]) == (-1.5, 1.0, 0.0, 250.0)
    assert "seg_Lower" not in row and len(row) == 12 * 3
    fields = extra.split("|") if extra else [""] * 4
    (tmp_path / "x_pairs.tsv").write_text(PAIRS.format(*fields))
    # Sample names that look like numbers are still names.
    assert collect.reduce_table(tmp_path / "x_pairs.tsv", pairs) == {
        "fst_Lower_2": 0.2, "fst_all": 0.2, "nei_Lower_2": None, "nei_all": None,
        "river_km_Lower_2": 12.5, "river_km_all": None, "line_km_Lower_2": 10.0, "line_km_all": None, **columns}


@pytest.mark.parametrize("text, message", [
    ("e\tsim\tsample\tHe\n1\t1\tA\t0.5\n", "the header is not fluviagen's _stats.tsv header"),
    (STATS.splitlines()[0] + "\tdxy\n", "got e sim sample seg genes alleles he ho ar segsites pi tajd rep_mean rep_var gw tmrca dxy"),
    (STATS.replace("0.7\tNA\t2", "0.7\tnan\t2"), "line 3: column ho holds 'nan', not a number"),
    ("e\tsim\tsample\n1\t1\n", "line 2: 2 fields, the header has 3"),
])
def test_a_table_not_of_the_program_is_refused(tmp_path, text, message):
    (tmp_path / "x_stats.tsv").write_text(text)
    with pytest.raises(ValueError, match="x_stats.tsv"):
        try:
            collect.reduce_table(tmp_path / "x_stats.tsv", collect.TABLES[0])
        except ValueError as error:
            assert message in str(error)
            raise


def test_table_has_the_union_of_columns_and_NA_for_what_a_run_lacks(tmp_path):
    rows = [{"run": 0, "status": "success", "he_A": 0.25}, {"run": 1, "status": "failed", "error": "x"}]
    collect.write_table(rows, str(tmp_path / "t.tsv"))
    assert (tmp_path / "t.tsv").read_text() == "run\tstatus\the_A\terror\n0\tsuccess\t0.25\tNA\n1\tfailed\tNA\tx\n"


def fake_run(tmp_path, capacity, seed=9):
    folder = str(tmp_path / "r")
    return {"run": 0, "draw": 0, "replicate": 0, "seed": seed, "parameters": {"capacity": capacity},
            "folder": folder, "command": [FAKE, "--quiet", "--seed", str(seed), "--out", folder,
                                          "--set", f"capacity={capacity}", TEMPLATE]}


def test_a_row_comes_only_from_the_runs_own_record(tmp_path):
    # A success, then the same folder for a run the program refuses before it
    # writes a record: the leftover record of the success must not be read.
    assert collect.run_one(fake_run(tmp_path, 100))[0]["status"] == "success"
    refused = collect.run_one(fake_run(tmp_path, 40000))[0]
    assert (refused["status"], refused["error"]) == (
        "failed", "--set capacity=40000 (carrying capacity): must be a whole number from 0 to 32767!")
    assert "pi_A" not in refused
    failed = collect.run_one(fake_run(tmp_path, 0))[0]
    assert (failed["status"], failed["error"]) == ("failed", "capacity: must be above 0")
    # A record of another command or seed is no record of this run.
    run = fake_run(tmp_path, 100)
    collect.run_one(run)
    for key, value in (("seed", -10), ("command_line", run["command"][:-1])):
        record = json.loads((tmp_path / "r" / "fake_run.json").read_text())
        (tmp_path / "r" / "fake_run.json").write_text(json.dumps({**record, key: value}))
        assert collect.own_record(run) is None
    row = collect.collect_run(run, 0)
    assert (row["status"], row["error"]) == ("failed", "the program wrote no run record for this command")


@pytest.mark.parametrize("status", [130, 143, -signal.SIGTERM, -signal.SIGKILL])
def test_an_interrupted_run_is_no_row(tmp_path, status):
    with pytest.raises(collect.Interrupted, match="run 0 .* was interrupted"):
        collect.collect_run(fake_run(tmp_path, 100), status)


@pytest.mark.skipif(not os.access(PROGRAM, os.X_OK), reason=f"no program at {PROGRAM}")
def test_the_program_interrupted_by_a_signal_is_no_row(tmp_path):
    folder = str(tmp_path / "slow")
    run = {"run": 5, "draw": 5, "replicate": 0, "seed": 3, "parameters": {}, "folder": folder,
           "command": [PROGRAM, "--quiet", "--seed", "3", "--out", folder, "--set", "generations=30000",
                       "--without", "maps", "--without", "gpkg", TEMPLATE]}

    def interrupt():
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            for pid in os.listdir("/proc"):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        words = f.read().split(b"\0")
                except OSError:
                    continue
                if folder.encode() in words:
                    time.sleep(0.3)
                    os.kill(int(pid), signal.SIGTERM)
                    return
            time.sleep(0.05)

    killer = threading.Thread(target=interrupt)
    killer.start()
    with pytest.raises(collect.Interrupted, match=r"run 5 \(seed 3\) was interrupted \(exit status 143\)"):
        collect.run_one(run)
    killer.join()

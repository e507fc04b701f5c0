"""The workflow run by Snakemake: locally with a stand-in program and with
the real one, refused configurations, and the SLURM profile dry-run."""
import glob
import os
import subprocess

import pytest
import yaml

import collect
import replicates
from conftest import HERE, PROGRAM, REPO

TEMPLATE = f"{REPO}/examples/river/settings.txt"


def snakemake(tmp_path, config, *options):
    (tmp_path / "config.yaml").write_text(yaml.safe_dump(config, sort_keys=False))
    return subprocess.run(["/usr/bin/python3", "-m", "snakemake", "-s", f"{REPO}/workflow/Snakefile",
                           "--configfile", "config.yaml", *options],
                          cwd=tmp_path, capture_output=True, text=True, timeout=600)


def table(tmp_path):
    return collect.read_tsv(tmp_path / "out" / "table.tsv")[1]


def test_failed_runs_are_reported_and_a_rerun_runs_only_what_is_missing(tmp_path):
    config = {"template": TEMPLATE, "program": f"{HERE}/fake_program.py", "out": "out",
              "draws": 4, "replicates": 2, "batch_size": 3, "master_seed": 3,
              "parameters": {"migration_colonised": {"uniform": [0.01, 0.2]}, "capacity": {"list": [100, 0]}}}
    first = snakemake(tmp_path, config, "--cores", "2")
    assert first.returncode == 0, first.stderr
    rows = table(tmp_path)
    assert [r["run"] for r in rows] == [str(i) for i in range(8)]
    failed = [r for r in rows if r["capacity"] == "0"]
    assert failed and all(r["status"] == "failed" and r["error"] == "capacity: must be above 0"
                          and r["pi_A"] == "NA" for r in failed)
    for r in rows:
        if r["status"] == "success":
            assert float(r["pi_A"]) == pytest.approx(10 * float(r["migration_colonised"]) + 1.5)
            assert (r["D_A"], r["D_B"], r["Fst_A_B"]) == ("NA", "1.5", "0.25")
    assert "8 runs, " in first.stderr and f"{len(failed)} failed" in first.stderr

    again = snakemake(tmp_path, config, "--cores", "2")
    assert "Nothing to be done" in again.stdout + again.stderr
    # As after an interruption in the second batch: the table, that batch's
    # table and one of its runs are missing.
    records = sorted(glob.glob(str(tmp_path / "out" / "runs" / "*" / "fake_run.json")))
    times = {path: os.stat(path).st_mtime_ns for path in records}
    os.remove(tmp_path / "out" / "table.tsv")
    os.remove(tmp_path / "out" / "batches" / "1.tsv")
    os.remove(tmp_path / "out" / "runs" / "0000004" / "row.json")
    third = snakemake(tmp_path, config, "--cores", "2")
    assert third.returncode == 0, third.stderr
    rerun = [path for path in records if os.stat(path).st_mtime_ns != times[path]]
    assert [os.path.basename(os.path.dirname(p)) for p in rerun] == ["0000004"]
    assert table(tmp_path) == rows


def test_bad_configuration_refused_before_any_job(tmp_path):
    config = {"template": TEMPLATE, "program": f"{HERE}/fake_program.py", "out": "out", "draws": 2,
              "master_seed": 1, "parameters": {"growth_rate": {"uniform": [0.9, 0.1]}}}
    result = snakemake(tmp_path, config, "--cores", "1")
    assert result.returncode != 0
    assert "configuration refused: parameter 'growth_rate': empty prior range [0.9, 0.1]" in result.stderr
    assert not (tmp_path / "out").exists()


def test_slurm_profile_dry_run(tmp_path):
    config = {"template": TEMPLATE, "program": "/bin/true", "out": "out", "draws": 10, "batch_size": 4,
              "master_seed": 1, "parameters": {"generations": 2000},
              "slurm": {"partition": "short", "runtime": 30, "mem_overhead_mb": 100}}
    result = snakemake(tmp_path, config, "-n", "--profile", f"{REPO}/workflow/profiles/slurm")
    assert result.returncode == 0, result.stderr
    out = result.stdout
    assert out.count("rule batch:") == 3
    history = replicates.history_bytes(TEMPLATE, {"generations": 2000})
    assert f"mem_mb={-(-history // 2**20) + 100}," in out
    assert "runtime=30, slurm_partition=short" in out
    assert not (tmp_path / "out").exists()


@pytest.mark.skipif(not os.access(PROGRAM, os.X_OK), reason=f"no program at {PROGRAM}")
def test_shipped_river_tiny_workflow(tmp_path):
    config = {"template": TEMPLATE, "program": PROGRAM, "out": "out", "draws": 3, "replicates": 2,
              "batch_size": 2, "master_seed": 2026,
              "parameters": {"migration_colonised": {"uniform": [0.02, 0.2]},
                             "growth_rate": {"log_uniform": [0.2, 1.0]},
                             "genetic_simulations": 4, "arp_output": 0}}
    result = snakemake(tmp_path, config, "--cores", "2")
    assert result.returncode == 0, result.stderr
    rows = table(tmp_path)
    assert len(rows) == 6 and len({r["seed"] for r in rows}) == 6
    assert all(r["status"] == "success" for r in rows), [r["error"] for r in rows]
    if not glob.glob(str(tmp_path / "out" / "runs" / "*" / "*_stats.tsv")):
        pytest.skip("this build writes no statistics tables")
    # Columns of other data types (microsatellite repeats, heterozygosity of
    # genotypes) are NA throughout; every other one is defined in every run.
    statistics = [c for c in rows[0] if c not in collect.FIXED + ["error"] + list(config["parameters"])]
    defined = [c for c in statistics if any(r[c] != "NA" for r in rows)]
    assert {"he_Upper_Main", "pi_all", "fst_Lower_Main_Upper_Main", "fst_all"} <= set(defined)
    assert [(r["run"], c) for r in rows for c in defined if r[c] == "NA"] == []
    again = snakemake(tmp_path, config, "--cores", "2")
    assert "Nothing to be done" in again.stdout + again.stderr

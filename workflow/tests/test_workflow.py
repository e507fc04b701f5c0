"""The workflow run by Snakemake: with a stand-in program for its
bookkeeping (failed, refused and interrupted runs, reruns, two invocations
on one output folder, refused configurations, the inference rules) and with
the real program, locally and through a real SLURM cluster."""
import glob
import os
import signal
import subprocess
import time

import pytest
import yaml

import collect
import slurm_cluster
from conftest import FAKE, PROGRAM, REPO, TEMPLATE

SNAKEFILE = f"{REPO}/workflow/Snakefile"
PROFILE = f"{REPO}/workflow/profiles/slurm"


def snakemake_command(folder, config, *options):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        yaml.safe_dump(config, f, sort_keys=False)
    return ["/usr/bin/python3", "-m", "snakemake", "-s", SNAKEFILE, "--configfile", "config.yaml", *options]


def snakemake(folder, config, *options, env=None):
    return subprocess.run(snakemake_command(folder, config, *options), cwd=folder, env=env,
                          capture_output=True, text=True, timeout=600)


def table(out):
    return collect.read_tsv(os.path.join(out, "table.tsv"))[1]


def fake_config(out, **changes):
    return {"template": TEMPLATE, "program": FAKE, "out": str(out), "draws": 4, "replicates": 2,
            "batch_size": 3, "master_seed": 3,
            "parameters": {"migration_colonised": {"uniform": [0.01, 0.2]}, "capacity": {"list": [100, 0]}},
            **changes}


def mtimes(pattern):
    return {path: os.stat(path).st_mtime_ns for path in glob.glob(pattern)}


def test_failed_and_refused_runs_are_rows_with_the_programs_message_and_a_rerun_runs_what_changed(tmp_path):
    out = tmp_path / "out"
    config = fake_config(out)
    first = snakemake(tmp_path, config, "--cores", "2")
    assert first.returncode == 0, first.stderr
    rows = table(out)
    assert [r["run"] for r in rows] == [str(i) for i in range(8)]
    failed = [r for r in rows if r["capacity"] == "0"]
    assert failed and all(r["status"] == "failed" and r["error"] == "capacity: must be above 0"
                          and r["pi_A"] == "NA" for r in failed)
    for r in rows:
        if r["status"] == "success":
            assert float(r["pi_A"]) == pytest.approx(10 * float(r["migration_colonised"]) + 1.5)
            assert (r["tajd_A"], r["tajd_B"], r["fst_A_B"]) == ("NA", "1.5", "0.25")
    assert f"8 runs, {len(failed)} failed" in first.stderr
    log = "".join(open(p).read() for p in sorted(glob.glob(f"{out}/logs/batch_*.log")))
    assert log.count("s CPU: failed: capacity: must be above 0\n") == len(failed)
    assert log.count("s CPU: success\n") == 8 - len(failed)

    again = snakemake(tmp_path, config, "--cores", "2")
    assert "Nothing to be done" in again.stdout + again.stderr

    # The failing value becomes one the program refuses: the batches holding
    # it run again, and their rows carry the program's message, not the
    # statistics of the earlier call.
    before = mtimes(f"{out}/batches/*.tsv")
    config["parameters"]["capacity"] = {"list": [100, 40000]}
    third = snakemake(tmp_path, config, "--cores", "2")
    assert third.returncode == 0, third.stderr
    changed = {os.path.basename(p) for p, t in mtimes(f"{out}/batches/*.tsv").items() if t != before[p]}
    assert changed == {f"{int(r['run']) // 3}.tsv" for r in failed}
    refused = [r for r in table(out) if r["capacity"] == "40000"]
    assert [r["run"] for r in refused] == [r["run"] for r in failed]
    assert {r["error"] for r in refused} == {
        "--set capacity=40000 (carrying capacity): must be a whole number from 0 to 32767!"}


def processes_with(word):
    """Ids of the processes whose command line holds the word."""
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = f.read().split(b"\0")
        except OSError:
            continue
        if pid.isdigit() and words[:2] == [b"/usr/bin/python3", FAKE.encode()] and word.encode() in words:
            found.append(int(pid))
    return found


def wait_for(condition, what, seconds=120):
    deadline = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < deadline, f"no {what} after {seconds} s"
        time.sleep(0.1)


def test_an_interrupted_run_is_run_again_and_a_second_invocation_on_one_out_is_refused(tmp_path):
    out = tmp_path / "out"
    hold = tmp_path / "hold"
    hold.touch()
    env = {**os.environ, "FAKE_HOLD": str(hold)}
    config = fake_config(out, draws=2, replicates=1, batch_size=1, parameters={"capacity": 100})
    first = subprocess.Popen(snakemake_command(tmp_path / "a", config, "--cores", "2"), cwd=tmp_path / "a",
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        runs = [f"{out}/runs/{i:07d}" for i in range(2)]
        wait_for(lambda: all(processes_with(r) for r in runs), "two waiting runs")
        # Another invocation on the same folder, from another working folder.
        second = snakemake(tmp_path / "b", config, "--cores", "2", env=env)
        assert second.returncode != 0
        assert f"'{out}' is in use by the workflow of process {first.pid}" in second.stderr
        assert "Traceback" not in second.stderr
        # A signal to the program ends run 0; run 1 goes on when released.
        os.kill(processes_with(runs[0])[0], signal.SIGTERM)
        wait_for(lambda: not processes_with(runs[0]), "end of run 0")
        hold.unlink()
        log = first.communicate(timeout=300)[0]
    finally:
        if first.poll() is None:
            first.kill()
    assert first.returncode != 0
    assert "run 0 (seed " in log and "was interrupted (exit status -15)" in log
    assert not (out / "table.tsv").exists() and not (out / "batches" / "0.tsv").exists()
    assert (out / "batches" / "1.tsv").exists()
    kept = mtimes(f"{out}/batches/1.tsv")
    rerun = snakemake(tmp_path / "b", config, "--cores", "2", env=env)
    assert rerun.returncode == 0, rerun.stderr
    assert [(r["run"], r["status"]) for r in table(out)] == [("0", "success"), ("1", "success")]
    assert mtimes(f"{out}/batches/1.tsv") == kept


@pytest.mark.parametrize("changes, message", [
    ({"parameters": {1: 0.5}}, "parameters: 1 is not of type 'string'"),
    ({"slurm": ["short"]}, "slurm: ['short'] is not of type 'object'"),
    ({"out": "/"}, "out: '/' does not match"),
    ({"parameters": {"growth_rate": {"uniform": [0.9, 0.1]}}}, "parameters.growth_rate: empty prior range [0.9, 0.1]"),
    ({"parameters": {"capacity": 40000}}, "must be a whole number from 0 to 32767!"),
])
def test_bad_configuration_refused_before_any_job_without_a_traceback(tmp_path, changes, message):
    result = snakemake(tmp_path, {**fake_config("out"), **changes}, "--cores", "1")
    assert result.returncode != 0
    assert f"fluviagen workflow: configuration refused: " in result.stderr
    assert message in result.stderr and "Traceback" not in result.stderr
    assert not (tmp_path / "out").exists()


def test_inference_rules_give_the_posterior_and_its_figure(tmp_path):
    out = tmp_path / "out"
    config = fake_config(out, draws=60, replicates=1, batch_size=30,
                         parameters={"migration_colonised": {"log_uniform": [0.005, 0.5]}, "capacity": 100},
                         observed={"parameters": {"migration_colonised": 0.05}, "seed": 7},
                         abc={"tolerance": 0.25, "statistics": "^pi_A$"})
    result = snakemake(tmp_path, config, "--cores", "2")
    assert result.returncode == 0, result.stderr
    summary = collect.read_tsv(out / "posterior.tsv")[1]
    assert [r["parameter"] for r in summary] == ["migration_colonised"]
    assert float(summary[0]["lower95"]) < 0.05 < float(summary[0]["upper95"])
    assert (out / "posterior.png").read_bytes()[:4] == b"\x89PNG"
    assert "statistics used: 1" in (out / "logs" / "posterior.log").read_text()


def river_config(out, **changes):
    return {"template": TEMPLATE, "program": PROGRAM, "out": str(out), "draws": 3, "replicates": 2,
            "batch_size": 2, "master_seed": 2026,
            "parameters": {"migration_colonised": {"uniform": [0.02, 0.2]},
                           "growth_rate": {"log_uniform": [0.2, 1.0]},
                           "genetic_simulations": 4, "arp_output": 0},
            "args": ["--without", "vcf", "--without", "maps", "--without", "gpkg"], **changes}


def check_river_table(rows, config):
    assert len(rows) == 6 and len({r["seed"] for r in rows}) == 6
    assert all(r["status"] == "success" for r in rows), [r["error"] for r in rows]
    # Columns of other data types (microsatellite repeats, heterozygosity of
    # genotypes) are NA throughout; every other one is defined in every run.
    statistics = [c for c in rows[0] if c not in collect.FIXED + ["error"] + list(config["parameters"])]
    defined = [c for c in statistics if any(r[c] != "NA" for r in rows)]
    assert {"he_Upper_Main", "pi_all", "fst_Lower_Main_Upper_Main", "fst_all"} <= set(defined)
    assert [(r["run"], c) for r in rows for c in defined if r[c] == "NA"] == []


needs_program = pytest.mark.skipif(not os.access(PROGRAM, os.X_OK), reason=f"no program at {PROGRAM}")


@needs_program
def test_shipped_river_tiny_workflow(tmp_path):
    config = river_config(tmp_path / "out")
    result = snakemake(tmp_path, config, "--cores", "2")
    assert result.returncode == 0, result.stderr
    check_river_table(table(tmp_path / "out"), config)
    again = snakemake(tmp_path, config, "--cores", "2")
    assert "Nothing to be done" in again.stdout + again.stderr


@needs_program
def test_shipped_river_on_a_real_slurm_cluster(tmp_path):
    why_not = slurm_cluster.missing()
    if why_not:
        # Continuous integration installs the packages and demands the test.
        if os.environ.get("FLUVIAGEN_REQUIRE_SLURM"):
            pytest.fail(why_not)
        pytest.skip(why_not)
    out = tmp_path / "out"
    config = river_config(out, slurm={"runtime": 10})
    refused = river_config(out, parameters={**config["parameters"], "capacity": {"list": [100, 40000]}},
                           draws=2, master_seed=6)  # runs 2 and 3 are refused
    with slurm_cluster.Cluster() as cluster:
        result = snakemake(tmp_path, config, "--profile", PROFILE, env=cluster.env)
        assert result.returncode == 0, result.stderr + cluster.log("slurmctld.log")
        check_river_table(table(out), config)
        assert result.stderr.count("has been submitted with SLURM jobid") == 3
        again = snakemake(tmp_path, config, "--profile", PROFILE, env=cluster.env)
        assert again.returncode == 0 and "Nothing to be done" in again.stdout + again.stderr
        assert "has been submitted" not in again.stderr
        # A run the program refuses: a failed row with its message, in the
        # table and in the batch's log.
        failing = snakemake(tmp_path, refused, "--profile", PROFILE, env=cluster.env)
        assert failing.returncode == 0, failing.stderr
        stderr = subprocess.run([PROGRAM, "--plan", "--set", "capacity=40000", TEMPLATE], capture_output=True,
                                text=True).stderr
        own = next(line for line in stderr.splitlines() if line.startswith("fluviagen: "))[len("fluviagen: "):]
        rows = [r for r in table(out) if r["capacity"] == "40000"]
        assert rows and all(r["status"] == "failed" and r["error"] == own for r in rows)
        logs = "".join(open(p).read() for p in glob.glob(f"{out}/logs/batch_*.log"))
        assert f"s CPU: failed: {own}" in logs

#!/usr/bin/python3
"""The workflow's cost beside the program's own, per run, for the inference
example's settings (workflow/examples/abc/config.yaml with fewer draws).

    bench/workflow_overhead.py [--draws N] [--slurm] PROGRAM

1. The program's own CPU time: the very commands the workflow runs (same
   seeds, parameters and options), one after another, each in its own output
   folder, the user and system time of the finished children summed.
2. The workflow's CPU time: `snakemake --cores 2` on the same configuration in
   a fresh folder, the user and system time of Snakemake and every process
   under it (jobs, Python scripts, the program). With --slurm, the same
   through a single-node SLURM cluster started here (workflow/tests): this
   process is made the subreaper of everything it starts, so the daemons,
   the job steps they fork and the batch jobs are reaped here when they end
   and their time is counted too (the cluster's whole life, start to stop).
The overhead per run is (2 - the program's runs in 2) / N: Snakemake,
Python, job start and collection; the program's CPU time of each run in 2 is
in the batch logs (the batch script measures it as its child's). The program's figures are the same runs in both, so noise of the
machine shows as a difference between repeats; run it on a quiet machine.
Where the program is the tests' stand-in (a build without `--plan`), the
runs' figures in the batch logs carry the stand-in's start, which is thus not
counted as overhead; the program alone is then FLUVIAGEN_REAL.
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import yaml

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "workflow", "scripts"))
sys.path.insert(0, os.path.join(REPO, "workflow", "tests"))
import replicates  # noqa: E402


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--draws", type=int, default=200)
    parser.add_argument("--slurm", action="store_true")
    options = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="fluviagen-overhead-")
    with open(os.path.join(REPO, "workflow", "examples", "abc", "config.yaml")) as f:
        config = yaml.safe_load(f)
    config.update(template=os.path.join(REPO, config["template"]), program=os.path.abspath(options.program),
                  draws=options.draws, out=os.path.join(folder, "direct"))
    config.pop("abc")
    config.pop("observed")
    config.pop("slurm")
    plan = replicates.load(dict(config))

    def alone(program=None):
        before = children_cpu()
        for index in range(plan.runs):
            run = plan.run(index)
            shutil.rmtree(run["folder"], ignore_errors=True)
            os.makedirs(run["folder"])
            subprocess.run(([program] + run["command"][1:]) if program else run["command"],
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        return children_cpu() - before

    program = alone(os.environ.get("FLUVIAGEN_REAL"))

    config["out"] = os.path.join(folder, "workflow")
    with open(os.path.join(folder, "config.yaml"), "w") as f:
        yaml.safe_dump(config, f)
    command = ["/usr/bin/python3", "-m", "snakemake", "-s", os.path.join(REPO, "workflow", "Snakefile"),
               "--configfile", "config.yaml", "--quiet"]
    if options.slurm:
        import ctypes
        import threading

        import slurm_cluster
        PR_SET_CHILD_SUBREAPER = 36
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

        def reap():
            while True:
                try:
                    os.waitpid(-1, 0)
                except ChildProcessError:
                    time.sleep(0.05)

        threading.Thread(target=reap, daemon=True).start()
        before, clock = children_cpu(), time.monotonic()
        with slurm_cluster.Cluster() as cluster:
            subprocess.run(command + ["--profile", os.path.join(REPO, "workflow", "profiles", "slurm")],
                           cwd=folder, env=cluster.env, stdout=subprocess.DEVNULL)
            rows = collect_rows(config["out"])
        time.sleep(1)  # the last daemons reaped
        workflow, wall = children_cpu() - before, time.monotonic() - clock
    else:
        before, clock = children_cpu(), time.monotonic()
        subprocess.run(command + ["--cores", "2"], cwd=folder, check=True, stdout=subprocess.DEVNULL)
        workflow, wall = children_cpu() - before, time.monotonic() - clock
        rows = collect_rows(config["out"])
    inside = in_workflow(config["out"])
    shutil.rmtree(folder)
    n = plan.runs
    print(f"runs: {n} in {plan.batches} batches ({rows} rows), {'SLURM' if options.slurm else 'local'}")
    print(f"program alone: {program:.2f} s CPU, {1000 * program / n:.1f} ms per run")
    print(f"workflow: {workflow:.2f} s CPU, {wall:.1f} s wall; the program's runs in it {inside:.2f} s CPU "
          "(from the batch logs)")
    print(f"overhead: {1000 * (workflow - inside) / n:.1f} ms per run, {100 * (workflow - inside) / program:.1f} % "
          "of the program's own time (against the program alone: "
          f"{1000 * (workflow - program) / n:.1f} ms per run)")


def in_workflow(out):
    """The program's CPU time in the workflow: the batch logs' `s CPU` figures."""
    total = 0.0
    for name in os.listdir(os.path.join(out, "logs")):
        with open(os.path.join(out, "logs", name)) as f:
            total += sum(float(line.split(", ")[1].split()[0]) for line in f if " s CPU: " in line)
    return total


def collect_rows(out):
    with open(os.path.join(out, "table.tsv")) as f:
        return sum(1 for _ in f) - 1


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""What the statistics tables cost: runs the shipped example (examples/river,
seed 2026) with a build that writes them and with one that does not, the two
alternating, and prints the median CPU time (user + system) of each.

Usage: bench/statistics_cost.py WITHOUT_BIN WITH_BIN [--runs N] [--settings settings.txt ...] [--instructions]

With --instructions each build runs once under valgrind's callgrind and the
instructions executed are compared instead: the same count on a loaded
machine as on a quiet one.

WITHOUT_BIN is a build of the commit before the tables (or the same build
with `--without stats` once the command line has it), WITH_BIN the build
that writes them.
"""
import argparse
import os
import pathlib
import re
import resource
import shutil
import statistics
import subprocess
import tempfile

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "river"


def cpu_seconds(binary, folder, settings):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([binary, settings], cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=dict(os.environ, FLUVIAGEN_SEED="2026"), check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def instructions(binary, folder, settings):
    p = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", binary, settings],
                       cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       env=dict(os.environ, FLUVIAGEN_SEED="2026"), check=True, text=True)
    return int(re.search(r"Collected : (\d+)", p.stderr).group(1))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("without")
    ap.add_argument("with_", metavar="with")
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--settings", nargs="+", default=["settings.txt", "settings_microsat.txt", "settings_snp.txt"])
    ap.add_argument("--instructions", action="store_true")
    args = ap.parse_args()
    measure, unit = (instructions, "instructions") if args.instructions else (cpu_seconds, "s")
    runs = 1 if args.instructions else args.runs
    print(f"| settings | without tables {unit} | with tables {unit} | added |")
    print("|---|---|---|---|")
    for settings in args.settings:
        times = {"without": [], "with": []}
        with tempfile.TemporaryDirectory() as work:
            folder = pathlib.Path(work) / "river"
            shutil.copytree(EXAMPLE, folder)
            for _ in range(runs):
                for key, binary in (("without", args.without), ("with", args.with_)):
                    shutil.rmtree(folder / "GeneticOutput", ignore_errors=True)
                    times[key].append(measure(os.path.abspath(binary), folder, settings))
        a, b = statistics.median(times["without"]), statistics.median(times["with"])
        shown = (lambda v: f"{v:,}") if args.instructions else (lambda v: f"{v:.3f}")
        print(f"| {settings} | {shown(a)} | {shown(b)} | {100 * (b - a) / a:+.1f} % |")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""What the statistics tables cost: runs the shipped example (examples/river,
seed 2026) with a build that writes them and with one that does not, the two
alternating, and prints the median CPU time (user + system) of each.

Usage: bench/statistics_cost.py WITHOUT_BIN WITH_BIN [--runs N] [--settings settings.txt ...]

WITHOUT_BIN is a build of the commit before the tables (or the same build
with `--without stats` once the command line has it), WITH_BIN the build
that writes them.
"""
import argparse
import os
import pathlib
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("without")
    ap.add_argument("with_", metavar="with")
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--settings", nargs="+", default=["settings.txt", "settings_microsat.txt", "settings_snp.txt"])
    args = ap.parse_args()
    print("| settings | without tables s | with tables s | added |")
    print("|---|---|---|---|")
    for settings in args.settings:
        times = {"without": [], "with": []}
        with tempfile.TemporaryDirectory() as work:
            folder = pathlib.Path(work) / "river"
            shutil.copytree(EXAMPLE, folder)
            for _ in range(args.runs):
                for key, binary in (("without", args.without), ("with", args.with_)):
                    shutil.rmtree(folder / "GeneticOutput", ignore_errors=True)
                    times[key].append(cpu_seconds(os.path.abspath(binary), folder, settings))
        a, b = statistics.median(times["without"]), statistics.median(times["with"])
        print(f"| {settings} | {a:.3f} | {b:.3f} | {100 * (b - a) / a:+.1f} % |")


if __name__ == "__main__":
    main()

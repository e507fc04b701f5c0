#!/usr/bin/python3
"""What the genotype files (VCF, GENEPOP, FASTA) cost: the shipped example
run by a build without them and by a build with them, and the start-up of
each program (`fluviagen -h`, which loads every shared library and exits).

Usage: bench/genotype_files.py BUILD_WITHOUT BUILD_WITH [--runs N] [--in FOLDER]

BUILD_WITHOUT is a Release build of the commit before the genotype files,
BUILD_WITH one that writes them (both folders hold `fluviagen`). Each example
settings file of examples/river runs N times (default 7) with each program,
alternately, in a fresh copy of the example; the medians of the wall time
and of the CPU time (user + system) are printed. The start-up is the median
over 20 N calls of `-h`. The copies are made in FOLDER (default: the
system's temporary folder); a tmpfs such as /dev/shm leaves the disk out.
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "river")


def timed(command, folder):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=dict(os.environ, FLUVIAGEN_SEED="2026"), check=False)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    without, with_files = (os.path.join(os.path.abspath(folder), "fluviagen") for folder in sys.argv[1:3])
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 7
    where = sys.argv[sys.argv.index("--in") + 1] if "--in" in sys.argv else None
    print("| settings | wall without | wall with | CPU without | CPU with | CPU added |")
    print("|---|---|---|---|---|---|")
    for settings in ("settings.txt", "settings_microsat.txt", "settings_snp.txt"):
        times = {without: [], with_files: []}
        for _ in range(runs):
            for program in (without, with_files):
                with tempfile.TemporaryDirectory(dir=where) as folder:
                    shutil.copytree(EXAMPLE, folder, dirs_exist_ok=True)
                    times[program].append(timed([program, settings], folder))
        w0, w1 = (statistics.median(t[0] for t in times[p]) for p in (without, with_files))
        c0, c1 = (statistics.median(t[1] for t in times[p]) for p in (without, with_files))
        print(f"| {settings} | {w0:.3f} s | {w1:.3f} s | {c0:.3f} s | {c1:.3f} s | {100 * (c1 / c0 - 1):+.1f} % |")
    for program in (without, with_files):
        walls = [timed([program, "-h"], ".")[0] for _ in range(20 * runs)]
        print(f"start-up {program}: {1000 * statistics.median(walls):.2f} ms (median of {len(walls)})")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Whole-program benchmark: runs fluviagen on a generated dendritic drainage
and reports the wall time of each phase, the peak memory and the bytes of the
demographic database, for a base case and for each of its sizes doubled.

Usage: bench/whole_program.py BUILD_DIR [--quick] [--capacity K] [--only CASE,...] [--no-outputs]

BUILD_DIR must hold a Release build of fluviagen and make_drainage. The base
case is 20,000 segments, 5,000 generations, model 4, 20 samples of 20 genes,
100 genetic simulations of 1,000 DNA sites. --quick divides the sizes by 10
to check the script itself. --capacity sets the carrying capacity (100),
--only runs the named cases ("base", "2 x generations", ...), --no-outputs
skips the run with every output on (no output column then). The cpu column is
the processor time of the run without outputs (user + system), which a
shared machine disturbs less than the wall times of the phases.
"""
import os
import re
import subprocess
import sys
import tempfile

SETTINGS = """sources.txt
samples.txt
river_nodes.txt
river_segments.txt
dynamic.txt
//// benchmark
{capacity}        // carrying capacity
4          // demographic model
{generations}
1
0
0.5        // growth rate
0
1
0
1          // entire simulations
{genetic}
1000000    // max coalescent generations
2          // DNA
1
1000       // sites
0
0.0005     // mutation rate
0.7
0
0
0
0
0
0
{outputs}  // project files
0
{outputs}  // coalescence times
{outputs}  // trees
{outputs}  // MRCA times
0
0.1
0.05
1
0
END
"""

PHASES = {
    "reading": r"Build world done \(Duration: ([^;)]+)",
    "database": r"Create DB for .*? done\. \(Duration: ([^)]+)\)",
    "demography": r"Demography simulation done \(Duration: ([^)]+)\)",
    "genetics": r"Genetic simulation done\. \(Duration: ([^)]+)\)",
}


def seconds(text):
    text = text.strip()
    m = re.match(r"([0-9]+)\.([0-9]+) sec", text)
    if m:
        return float(f"{m.group(1)}.{m.group(2)}")
    m = re.match(r"([0-9]+) min ([0-9]+) sec", text)
    if m:
        return 60 * int(m.group(1)) + int(m.group(2))
    m = re.match(r"([0-9]+) h ([0-9]+) min", text)
    return 3600 * int(m.group(1)) + 60 * int(m.group(2))


def database_bytes(segment_file, generations):
    """Sum over segments of (neighbours + 1) x (generations + 1) x 2 bytes."""
    segments = []
    with open(segment_file) as f:
        for line in f.readlines()[4:]:
            p = line.split()
            if len(p) >= 3:
                segments.append((int(p[1]), int(p[2])))
    out_of, into = {}, {}
    for fr, to in segments:
        out_of[fr] = out_of.get(fr, 0) + 1
        into[to] = into.get(to, 0) + 1
    total = 0
    for fr, to in segments:
        neighbours = out_of.get(fr, 0) + into.get(fr, 0) + out_of.get(to, 0) + into.get(to, 0) - 2
        total += (neighbours + 1) * (generations + 1) * 2
    return total


def run_case(build, folder, segments, generations, samples, genes, genetic, outputs, capacity=100):
    subprocess.run([os.path.join(build, "make_drainage"), "-n", str(segments), "-s", "1", "-o",
                    os.path.join(folder, "river")], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, "sources.txt"), "w") as f:
        f.write("1\n0\nName Size SegID Resize Migration\nMouth 100 1 0 0\n")
    with open(os.path.join(folder, "samples.txt"), "w") as f:
        f.write(f"{samples}\n0\nName Genes SegID\n")
        for i in range(samples):
            f.write(f"S{i + 1} {genes} {1 + (i * segments) // samples}\n")
    with open(os.path.join(folder, "settings.txt"), "w") as f:
        f.write(SETTINGS.format(generations=generations, genetic=genetic, outputs=1 if outputs else 0,
                                capacity=capacity))
    env = dict(os.environ, FLUVIAGEN_SEED="1")
    result = subprocess.run(["/usr/bin/time", "-f", "PEAK %M CPU %U %S", os.path.join(build, "fluviagen"), "settings.txt"],
                            cwd=folder, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    log = result.stdout
    times = {}
    for phase, pattern in PHASES.items():
        m = re.search(pattern, log, re.S)
        times[phase] = seconds(m.group(1)) if m else float("nan")
    usage = re.search(r"PEAK ([0-9]+) CPU ([0-9.]+) ([0-9.]+)", result.stderr)
    peak_kb = int(usage.group(1))
    times["cpu"] = float(usage.group(2)) + float(usage.group(3))
    db = database_bytes(os.path.join(folder, "river_segments.txt"), generations)
    return times, peak_kb * 1024, db, "1 of 1 Simulations succeeded!" in log


def option(name, default):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv else default


def main():
    build = os.path.abspath(sys.argv[1])
    quick = "--quick" in sys.argv
    capacity = int(option("--capacity", "100"))
    only = option("--only", None)
    with_outputs = "--no-outputs" not in sys.argv
    scale = 10 if quick else 1
    base = dict(segments=20000 // scale, generations=5000 // scale, samples=20, genes=20, genetic=100 // scale)
    cases = [("base", base)]
    for key in ("segments", "generations", "samples", "genetic"):
        doubled = dict(base)
        doubled[key] *= 2
        cases.append((f"2 x {key}", doubled))
    if only is not None:
        cases = [(name, c) for name, c in cases if name in only.split(",")]
    print("| case | reading s | database s | demography s | genetics s | output s | cpu s | peak MiB | database MiB | ok |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, c in cases:
        with tempfile.TemporaryDirectory() as with_out, tempfile.TemporaryDirectory() as without_out:
            t0, peak, db, ok0 = run_case(build, without_out, outputs=False, capacity=capacity, **c)
            ok = True
            output = float("nan")
            if with_outputs:
                t, _, _, ok = run_case(build, with_out, outputs=True, capacity=capacity, **c)
                output = t["genetics"] - t0["genetics"]
        print(f"| {name} | {t0['reading']:.3f} | {t0['database']:.3f} | {t0['demography']:.3f} | "
              f"{t0['genetics']:.3f} | {output:.3f} | {t0['cpu']:.1f} | {peak / 2**20:.0f} | {db / 2**20:.0f} | "
              f"{'yes' if ok and ok0 else 'NO'} |", flush=True)


if __name__ == "__main__":
    main()

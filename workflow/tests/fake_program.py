#!/usr/bin/python3
"""A stand-in for the program with its command line, `--list-settings`,
`--plan`, run record and statistics tables, for testing the workflow's
bookkeeping fast. `--set capacity=0` fails the run (with a run record),
a capacity above 32767 is refused (without one, as the program refuses an
option); while the file named by the environment variable FAKE_HOLD
exists, a run waits (for a signal to end it, or for the file to go). The
statistic `pi` is 10 x the migration rate and the plan's memory 1 MiB per
generation."""
import json
import os
import sys
import time

NAMES = ["sources", "samples", "nodes", "segments", "dynamic_file", "capacity", "model", "generations",
         "growth_rate", "genetic_simulations", "arp_output", "migration_colonised"]
words = sys.argv[1:]
if words[:2] == ["--list-settings", "--json"]:
    print(json.dumps([{"line": n, "name": name, "kind": "", "range": "", "default": "", "meaning": ""}
                      for n, name in enumerate(NAMES, start=1)]))
    sys.exit(0)
args = list(words)
seed, out, sets, plan = None, None, {}, False
while args and args[0].startswith("--"):
    option = args.pop(0)
    if option == "--seed":
        seed = int(args.pop(0))
    elif option == "--out":
        out = args.pop(0)
    elif option == "--set":
        key, value = args.pop(0).split("=", 1)
        sets[key] = value
    elif option == "--plan":
        plan = True
    elif option in ("--with", "--without"):
        args.pop(0)
if int(sets.get("capacity", "100")) > 32767:
    sys.exit(f"fluviagen: --set capacity={sets['capacity']} (carrying capacity): must be a whole number from 0 "
             "to 32767!\nfluviagen --help lists the options.")
if plan:
    generations = int(sets.get("generations", "1000"))
    print(json.dumps({"segments": 400, "history_bytes": generations * 2**20,
                      "peak_bytes_estimate": generations * 2**20 + 2**20, "outputs": ["stats"]}))
    sys.exit(0)
os.makedirs(out, exist_ok=True)
while os.environ.get("FAKE_HOLD") and os.path.exists(os.environ["FAKE_HOLD"]):
    time.sleep(0.05)
failed = sets.get("capacity") == "0"
record = {"program": "fluviagen", "command_line": words and [sys.argv[0]] + words, "seed": -seed,
          "status": "failed" if failed else "success", "exit_status": int(failed)}
if failed:
    record["error"] = "capacity: must be above 0"
else:
    m = float(sets.get("migration_colonised", "0.05"))
    with open(os.path.join(out, "fake_stats.tsv"), "w") as f:
        f.write("e\tsim\tsample\tseg\tgenes\talleles\the\tho\tar\tsegsites\tpi\ttajd\trep_mean\trep_var\tgw\ttmrca\n")
        for s in (1, 2):
            f.write(f"1\t{s}\tA\t5\t10\t2\t0.5\tNA\t2\t3\t{10 * m + s}\tNA\tNA\tNA\tNA\t100\n"
                    f"1\t{s}\tB\t9\t10\t2\t0.5\tNA\t2\t3\t{s}\t{s}\tNA\tNA\tNA\t100\n")
    with open(os.path.join(out, "fake_pairs.tsv"), "w") as f:
        f.write("e\tsim\tsample_a\tsample_b\tfst\tnei\triver_km\tline_km\n1\t1\tA\tB\t0.25\tNA\t12.5\t10\n")
with open(os.path.join(out, "fake_run.json"), "w") as f:
    json.dump(record, f)
sys.exit(1 if failed else 0)

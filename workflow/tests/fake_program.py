#!/usr/bin/python3
"""A stand-in for the program with its command line, run record and
statistics tables, for testing the workflow's bookkeeping fast: it fails when
`--set capacity=0`, is interrupted when `--set capacity=1`, and its statistic `pi` is 10 x the migration rate."""
import json
import os
import sys

args = sys.argv[1:]
seed, out, sets = None, None, {}
while args and args[0].startswith("--"):
    option = args.pop(0)
    if option == "--seed":
        seed = int(args.pop(0))
    elif option == "--out":
        out = args.pop(0)
    elif option == "--set":
        key, value = args.pop(0).split("=", 1)
        sets[key] = value
os.makedirs(out, exist_ok=True)
failed = sets.get("capacity") in ("0", "1")
status = "interrupted" if sets.get("capacity") == "1" else "failed" if failed else "success"
record = {"program": "fluviagen", "seed": -seed, "status": status,
          "settings": [{"name": k, "value": v, "source": "--set"} for k, v in sets.items()]}
if failed:
    record["error"] = "capacity: must be above 0"
else:
    m = float(sets.get("migration_colonised", "0.05"))
    with open(os.path.join(out, "fake_stats.tsv"), "w") as f:
        f.write("e\ts\tsample\tgenes\tpi\tD\n")
        for s in (1, 2):
            f.write(f"1\t{s}\tA\t10\t{10 * m + s}\tNA\n1\t{s}\tB\t10\t{s}\t{s}\n")
    with open(os.path.join(out, "fake_pairs.tsv"), "w") as f:
        f.write("e\ts\tsample1\tsample2\tFst\triver_km\n1\t1\tA\tB\t0.25\t12.5\n")
with open(os.path.join(out, "fake_run.json"), "w") as f:
    json.dump(record, f)
sys.exit(130 if status == "interrupted" else 1 if failed else 0)

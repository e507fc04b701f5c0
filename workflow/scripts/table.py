"""The replicates table: the batches' tables, one row per run in run order."""
import sys

import collect

with open(snakemake.log[0], "w") as log:
    runs, failed = collect.merge(snakemake.input, snakemake.output[0])
    for stream in (log, sys.stderr):
        print(f"{runs} runs, {failed} failed: {snakemake.output[0]}", file=stream)

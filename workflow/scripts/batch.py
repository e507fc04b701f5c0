"""A batch job: every run of the batch, one after another in this one Python
process (a job per run would cost Snakemake and Python more than the runs),
then the batch's table. Called by Snakemake (`script:`) with the runs in
`params.runs`; a run interrupted by a signal fails the job and leaves no
table, so the next invocation runs the batch again."""
import sys

import collect

with open(snakemake.log[0], "w") as log:
    try:
        collect.run_batch(snakemake.params.runs, snakemake.params.keep_outputs, snakemake.output[0], log)
    except collect.Interrupted as interruption:
        print(f"{interruption}: the batch is run again by the next invocation", file=log)
        print(f"fluviagen workflow: {interruption}", file=sys.stderr)
        sys.exit(1)

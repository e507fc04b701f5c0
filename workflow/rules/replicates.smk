# The runs, a batch of them per job, and the table of every run.


def batch_runs(wildcards):
    return PLAN.batch(int(wildcards.batch))


rule batch:
    # The program and the settings file are inputs: a new build or an edited
    # template runs every batch again. So do changed commands (params).
    input:
        program=PLAN.program,
        template=PLAN.template,
    output:
        f"{OUT}/batches/{{batch}}.tsv",
    log:
        f"{OUT}/logs/batch_{{batch}}.log",
    params:
        runs=batch_runs,
        keep_outputs=PLAN.keep_outputs,
    resources:
        mem_mb=lambda wildcards: PLAN.mem_mb(int(wildcards.batch)),
        runtime=PLAN.slurm["runtime"],
        slurm_partition=PLAN.slurm.get("partition", ""),
        slurm_account=PLAN.slurm.get("account", ""),
    script:
        "../scripts/batch.py"


rule table:
    input:
        [f"{OUT}/batches/{b}.tsv" for b in range(PLAN.batches)],
    output:
        f"{OUT}/table.tsv",
    log:
        f"{OUT}/logs/table.log",
    script:
        "../scripts/table.py"


rule observed:
    input:
        program=PLAN.program,
        template=PLAN.template,
    output:
        f"{OUT}/observed.tsv",
    log:
        f"{OUT}/logs/observed.log",
    params:
        runs=[PLAN.observed] if PLAN.observed else [],
        keep_outputs=True,
    script:
        "../scripts/batch.py"

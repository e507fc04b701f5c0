# The runs, a batch of them per job, and the table of every run.


def batch_runs(wildcards):
    return PLAN.batch(int(wildcards.batch))


def batch_mem_mb(wildcards):
    """The program's own figure of the batch's memory. It costs one `--plan`
    call per run, so it is asked only where something schedules by memory:
    the invocation that submits the jobs to a cluster (not the job on its
    node, which runs inside what was granted), or a local invocation given
    `--resources mem_mb=...`."""
    if workflow.mode != Mode.default or workflow.run_local and "mem_mb" not in workflow.global_resources:
        return 0
    return PLAN.mem_mb(int(wildcards.batch))


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
        mem_mb=batch_mem_mb,
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

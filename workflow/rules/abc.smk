# Approximate Bayesian computation on the replicates table: the posterior of
# the parameters given the pseudo-observed run (configuration `abc:`).


def abc_priors():
    """The uniform and log-uniform priors to estimate: kind, low, high."""
    names = PLAN.abc.get("parameters") or [p.name for p in PLAN.priors if p.varies]
    priors = {p.name: p for p in PLAN.priors}
    for name in names:
        if name not in priors or priors[name].kind not in ("uniform", "log_uniform"):
            refuse(f"abc.parameters: '{name}' has no uniform or log-uniform prior")
    return {name: [priors[name].kind, priors[name].low, priors[name].high] for name in names}


if PLAN.abc is not None:
    if not PLAN.observed:
        refuse("abc: the inference needs the pseudo-observed run (observed:)")

    localrules: posterior

    rule posterior:
        input:
            reference=f"{OUT}/table.tsv",
            observed=f"{OUT}/observed.tsv",
        output:
            table=f"{OUT}/posterior.tsv",
            figure=f"{OUT}/posterior.png",
        log:
            f"{OUT}/logs/posterior.log",
        params:
            priors=abc_priors(),
            parameters=[p.name for p in PLAN.priors],
            tolerance=PLAN.abc["tolerance"],
            statistics=PLAN.abc.get("statistics"),
        script:
            "../scripts/posterior.py"

"""Approximate Bayesian computation on a replicates table: rejection, then a
local-linear regression adjustment of the accepted parameter values (Beaumont,
Zhang and Balding 2002), its least squares ridge-penalised.

Called by Snakemake (rule `posterior`, `rules/abc.smk`) with the reference
table and the pseudo-observed row as inputs and, as params, the priors of the
parameters to estimate (`{name: [kind, low, high]}`), the tolerance (the
share of the reference runs accepted) and a regular expression choosing the
statistics columns (all when empty). Where the observed row also holds the
parameters, the figure marks them as the true values. Writes the posterior
summary (TSV) and its figure (PNG).

Statistics that are NA in the observed data, or constant over the reference
table, are left out; reference runs that failed or have NA in a used
statistic are dropped, and both are counted in the log.
"""
import math
import re
import sys

import numpy as np
from sklearn.linear_model import RidgeCV

import collect

NOT_STATISTICS = set(collect.FIXED) | {"error"}


class Prior:
    """The bounds of a uniform or log-uniform prior."""

    def __init__(self, kind, low, high):
        self.kind, self.low, self.high = kind, low, high


class Scale:
    """A parameter's prior range on a scale without bounds: the logit of its
    position in [low, high] (of its logarithm for a log-uniform prior), so
    adjusted values never leave the prior."""

    def __init__(self, prior):
        self.log = prior.kind == "log_uniform"
        self.low, self.high = (self.f(prior.low), self.f(prior.high))

    def f(self, x):
        return np.log(x) if self.log else np.asarray(x, dtype=float)

    def to(self, x):
        u = (self.f(x) - self.low) / (self.high - self.low)
        u = np.clip(u, 1e-9, 1 - 1e-9)
        return np.log(u / (1 - u))

    def back(self, y):
        x = self.low + (self.high - self.low) / (1 + np.exp(-y))
        return np.exp(x) if self.log else x


def weighted_quantile(values, weights, q):
    order = np.argsort(values)
    v, w = values[order], weights[order]
    cumulative = (np.cumsum(w) - 0.5 * w) / w.sum()
    return np.interp(q, cumulative, v)


def infer(reference, observed, priors, names, tolerance=0.1, pattern=None, parameters=()):
    """reference: rows (dicts) of the table; observed: one row; parameters:
    every parameter column of the table (the varying and the fixed ones).
    Returns the posterior per parameter and the counts of what was used and
    left out."""
    header = [c for c in reference[0] if c not in NOT_STATISTICS and c not in priors and c not in parameters]
    if pattern:
        header = [c for c in header if re.search(pattern, c)]
    counts = {"reference runs": len(reference)}
    value = lambda row, c: None if collect.is_missing(row.get(c, "NA")) else collect.number(row[c])
    used = [c for c in header if c in observed and value(observed, c) is not None]
    counts["statistics NA in the observed data (left out)"] = len(header) - len(used)
    runs = [r for r in reference if r.get("status", "success") == "success"]
    counts["failed runs (dropped)"] = len(reference) - len(runs)
    complete = [r for r in runs if all(value(r, c) is not None for c in used)]
    counts["runs with NA in a used statistic (dropped)"] = len(runs) - len(complete)
    if len(complete) < 10:
        raise ValueError(f"only {len(complete)} usable reference runs")
    S = np.array([[value(r, c) for c in used] for r in complete])
    s_obs = np.array([value(observed, c) for c in used])
    spread = np.median(np.abs(S - np.median(S, axis=0)), axis=0)  # MAD
    spread = np.where(spread > 0, spread, S.std(axis=0))
    keep = spread > 0
    counts["constant statistics (left out)"] = int((~keep).sum())
    counts["statistics used"] = int(keep.sum())
    Z = (S[:, keep] - s_obs[keep]) / spread[keep]
    distance = np.sqrt((Z ** 2).sum(axis=1))
    accepted = np.argsort(distance)[:max(int(math.ceil(tolerance * len(complete))), 2)]
    counts["accepted"] = len(accepted)
    if len(accepted) < 5 * Z.shape[1]:
        print(f"posterior: warning: {len(accepted)} accepted runs for {Z.shape[1]} statistics: the adjustment "
              "overfits; use more draws, a larger tolerance or fewer statistics", file=sys.stderr)
    h = distance[accepted].max() or 1.0
    weights = 1 - (distance[accepted] / (h * 1.0001)) ** 2  # Epanechnikov kernel
    result = {}
    for name in names:
        scale = Scale(priors[name])
        theta = np.array([float(r[name]) for r in complete])
        y = scale.to(theta[accepted])
        # Ridge-penalised least squares, the penalty chosen by leave-one-out
        # cross-validation: with many statistics and few accepted runs plain
        # least squares fits the accepted values exactly and the posterior
        # collapses to a point; with few statistics the penalty goes to ~0.
        fit = RidgeCV(alphas=np.logspace(-4, 3, 15)).fit(Z[accepted], y, sample_weight=weights)
        adjusted = scale.back(y - Z[accepted] @ fit.coef_)
        lower, median, upper = (weighted_quantile(adjusted, weights, q) for q in (0.025, 0.5, 0.975))
        result[name] = {"prior": theta, "rejection": theta[accepted], "adjusted": adjusted, "weights": weights,
                        "mean": float(np.average(adjusted, weights=weights)), "median": float(median),
                        "lower95": float(lower), "upper95": float(upper)}
    return result, counts


def figure(result, priors, truth, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, len(result), figsize=(5.2 * len(result), 3.8), squeeze=False)
    for ax, (name, post) in zip(axes[0], result.items()):
        prior = priors[name]
        log = prior.kind == "log_uniform"
        bins = np.geomspace(prior.low, prior.high, 41) if log else np.linspace(prior.low, prior.high, 41)
        # Bar heights are shares of the draws per bin: a flat prior looks
        # flat on either axis.
        share = lambda x, w=None: np.ones(len(x)) / len(x) if w is None else w / w.sum()
        ax.hist(post["prior"], bins=bins, weights=share(post["prior"]), color="0.85", label="prior (reference table)")
        ax.hist(post["rejection"], bins=bins, weights=share(post["rejection"]), histtype="step", color="tab:blue",
                lw=1.2, label="rejection")
        ax.hist(post["adjusted"], bins=bins, weights=share(post["adjusted"], post["weights"]), alpha=0.6,
                color="tab:orange", label="regression-adjusted")
        ax.axvspan(post["lower95"], post["upper95"], color="tab:orange", alpha=0.12, label="95 % interval")
        if name in truth:
            ax.axvline(truth[name], color="crimson", ls="--", lw=1.8, label=f"true value {truth[name]:g}")
        if log:
            ax.set_xscale("log")
        ax.set_xlim(prior.low, prior.high)
        ax.set_xlabel(name)
        ax.set_ylabel("share of runs per bin")
        ax.set_title(f"{name}: {post['median']:.3g} [{post['lower95']:.3g}, {post['upper95']:.3g}]")
    axes[0][0].legend(fontsize=8, frameon=False)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def write(result, truth, path):
    with open(path, "w") as f:
        f.write("parameter\ttrue\tmean\tmedian\tlower95\tupper95\n")
        for name, post in result.items():
            f.write("\t".join([name, collect.cell(truth.get(name))] +
                              [f"{post[k]:.6g}" for k in ("mean", "median", "lower95", "upper95")]) + "\n")


def main(reference_path, observed_path, priors, parameters, tolerance, pattern, table_path, figure_path, log):
    priors = {name: Prior(*bounds) for name, bounds in priors.items()}
    reference = collect.read_tsv(reference_path)[1]
    observed = collect.read_tsv(observed_path)[1][0]
    result, counts = infer(reference, observed, priors, list(priors), tolerance, pattern, parameters)
    for what, n in counts.items():
        print(f"{what}: {n}", file=log)
    truth = {n: float(observed[n]) for n in priors if collect.number(observed.get(n, "NA")) is not None}
    write(result, truth, table_path)
    figure(result, priors, truth, figure_path)


if __name__ == "__main__":
    with open(snakemake.log[0], "w") as log:
        sys.stderr = log  # the warnings of the inference go to its log
        main(snakemake.input.reference, snakemake.input.observed, snakemake.params.priors,
             snakemake.params.parameters, snakemake.params.tolerance, snakemake.params.statistics, snakemake.output.table,
             snakemake.output.figure, log)

"""Rejection and regression adjustment on a reference table whose statistics
depend on the parameters in a known way."""
import numpy as np

import posterior
import replicates
from conftest import FAKE, TEMPLATE

CONFIG = {"template": TEMPLATE, "program": FAKE, "out": "out", "draws": 3000, "master_seed": 5,
          "parameters": {"migration_colonised": {"log_uniform": [0.005, 0.5]},
                         "growth_rate": {"uniform": [0.1, 1.0]}, "capacity": 100}}
PRIORS = {"migration_colonised": ["log_uniform", 0.005, 0.5], "growth_rate": ["uniform", 0.1, 1.0]}


def row(values, rng, run):
    m, g = values["migration_colonised"], values["growth_rate"]
    return {"run": str(run), "status": "success", **{k: str(v) for k, v in values.items()},
            "fst_A_B": str(0.3 - 0.05 * np.log(m) + rng.normal(0, 0.01)),
            "he_A": str(0.4 + 0.2 * g + rng.normal(0, 0.01)),
            "noise_A": str(rng.normal()),
            "genes_A": "10",
            "tajd_A": "NA" if run % 20 == 0 else str(rng.normal()),
            "tajd_B": "1.0"}


def test_recovers_a_known_migration_rate_and_draws_the_figure(tmp_path):
    plan = replicates.load(dict(CONFIG))
    rng = np.random.default_rng(5)
    reference = [row(plan.parameters(d), rng, d) for d in range(plan.draws)]
    reference[3]["status"] = "failed"
    truth = {"migration_colonised": 0.05, "growth_rate": 0.5, "capacity": 100}
    observed = row(truth, rng, 1)
    observed["tajd_B"] = "NA"
    header = list(reference[0])
    for name, rows in (("reference.tsv", reference), ("observed.tsv", [observed])):
        (tmp_path / name).write_text("\n".join("\t".join(r[c] for c in header)
                                               for r in [dict(zip(header, header))] + rows) + "\n")

    priors = {name: posterior.Prior(*bounds) for name, bounds in PRIORS.items()}
    result, counts = posterior.infer(reference, observed, priors, list(PRIORS), 0.1, None, list(truth))
    assert counts["failed runs (dropped)"] == 1
    assert counts["runs with NA in a used statistic (dropped)"] == 150
    assert counts["statistics NA in the observed data (left out)"] == 1
    # The fixed parameter is no statistic; the constant gene count is left out.
    assert counts["constant statistics (left out)"] == 1
    assert counts["statistics used"] == 4
    m = result["migration_colonised"]
    assert m["lower95"] < 0.05 < m["upper95"]
    assert m["upper95"] - m["lower95"] < (0.5 - 0.005) / 2
    assert 0.005 <= m["adjusted"].min() and m["adjusted"].max() <= 0.5
    g = result["growth_rate"]
    assert g["lower95"] < 0.5 < g["upper95"] and g["upper95"] - g["lower95"] < 0.45

    with open(tmp_path / "log", "w") as log:
        posterior.main(str(tmp_path / "reference.tsv"), str(tmp_path / "observed.tsv"), PRIORS, list(truth), 0.1,
                       None, str(tmp_path / "post.tsv"), str(tmp_path / "post.png"), log)
    summary = (tmp_path / "post.tsv").read_text().splitlines()
    assert summary[0] == "parameter\ttrue\tmean\tmedian\tlower95\tupper95"
    assert summary[1].startswith("migration_colonised\t0.05\t")
    assert (tmp_path / "post.png").read_bytes()[:4] == b"\x89PNG"
    assert "statistics used: 4" in (tmp_path / "log").read_text()

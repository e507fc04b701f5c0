"""The configuration reader, the prior draws and the run seeds."""
import math
import os

import pytest

import replicates
from conftest import REPO

BASE = {"template": f"{REPO}/examples/river/settings.txt", "program": "/bin/true", "out": "out",
        "draws": 50, "replicates": 3, "master_seed": 11, "batch_size": 7,
        "parameters": {"migration_colonised": {"uniform": [0.01, 0.2]},
                       "growth_rate": {"log_uniform": [0.1, 2.0]},
                       "capacity": {"uniform": [50, 200]},
                       "model": {"list": [1, 4]},
                       "generations": 200}}


def plan(**changes):
    config = {**BASE, **changes}
    return replicates.load({k: v for k, v in config.items() if v is not None})


def test_draws_reproducible_inside_priors_and_independent_of_the_number_of_draws():
    a, b = plan(), plan(draws=10)
    for d in range(10):
        assert a.parameters(d) == b.parameters(d)
    values = [a.parameters(d) for d in range(a.draws)]
    assert all(0.01 <= v["migration_colonised"] <= 0.2 for v in values)
    assert all(0.1 <= v["growth_rate"] <= 2.0 for v in values)
    assert all(isinstance(v["capacity"], int) and 50 <= v["capacity"] <= 200 for v in values)
    assert {v["model"] for v in values} == {1, 4}
    assert {v["generations"] for v in values} == {200}
    assert len({v["migration_colonised"] for v in values}) == a.draws
    # Log-uniform: about as many draws below the geometric middle as above it.
    below = sum(v["growth_rate"] < math.sqrt(0.2) for v in values)
    assert 15 <= below <= 35
    assert plan(master_seed=12).parameters(0) != a.parameters(0)


def test_run_seeds_distinct_in_range_and_commands_use_set_and_seed():
    p = plan(draws=20000)
    seeds = [p.seed(i) for i in range(p.runs)]
    assert len(set(seeds)) == p.runs and min(seeds) >= 1 and max(seeds) <= replicates.SEED_RANGE
    run = p.run(4)
    assert (run["draw"], run["replicate"]) == (1, 1)
    assert run["command"][:6] == ["/bin/true", "--quiet", "--seed", str(run["seed"]), "--out", "out/runs/0000004"]
    assert f"migration_colonised={replicates.text(run['parameters']['migration_colonised'])}" in run["command"]
    assert run["command"][-1] == BASE["template"]
    assert [len(p.batch(b)) for b in (0, p.batches - 1)] == [7, p.runs - 7 * (p.batches - 1)]


@pytest.mark.parametrize("changes, message", [
    ({"parameters": {"migration_colonized": 0.1}}, "unknown parameter name 'migration_colonized' (did you mean 'migration_colonised'"),
    ({"parameters": {"growth_rate": {"uniform": [0.5, 0.5]}}}, "empty prior range [0.5, 0.5]"),
    ({"parameters": {"growth_rate": {"log_uniform": [0, 1]}}}, "log_uniform needs 0 < low"),
    ({"parameters": {"model": {"list": []}}}, "the list of values is empty"),
    ({"parameters": {"model": {"normal": [0, 1]}}}, "the prior is one of"),
    ({"template": "no/such/settings.txt"}, "the settings template 'no/such/settings.txt' does not exist"),
    ({"program": "no/such/fluviagen"}, "the program 'no/such/fluviagen' does not exist"),
    ({"draws": 0}, "'draws' must be a whole number from 1"),
    ({"master_seed": None}, "'master_seed' is missing"),
    ({"replicate": 2}, "unknown key(s) replicate"),
    ({"observed": {"parameters": {"growth_rate": 0.5}, "seed": 3}}, "no value for the varying parameter(s) migration_colonised, capacity, model"),
])
def test_bad_configurations_refused(changes, message):
    with pytest.raises(replicates.ConfigError) as error:
        plan(**changes)
    assert message in str(error.value)


def test_history_bytes_of_the_shipped_river():
    # 400 segments; every series padded to whole 64-byte lines.
    template = BASE["template"]
    one_line = replicates.history_bytes(template, {"generations": 31})
    assert one_line % 64 == 0 and replicates.history_bytes(template, {"generations": 32}) == 2 * one_line
    series = one_line // 64
    assert 400 < series < 400 * 6
    assert plan().mem_mb(0) == math.ceil(replicates.history_bytes(template, {"generations": 200}) / 2**20) + 256
    assert plan(slurm={"mem_mb": 999}).mem_mb(0) == 999
    assert os.path.isfile(template)

"""The configuration (schema and the program's answers), the prior draws and
the run seeds."""
import math
import os
import subprocess

import pytest

import replicates
from conftest import FAKE, PROGRAM, TEMPLATE

BASE = {"template": TEMPLATE, "program": FAKE, "out": "out",
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
    assert {v["model"] for v in values} == {1, 4}
    assert {v["generations"] for v in values} == {200}
    assert len({v["migration_colonised"] for v in values}) == a.draws
    # Log-uniform: about as many draws below the geometric middle as above it.
    below = sum(v["growth_rate"] < math.sqrt(0.2) for v in values)
    assert 15 <= below <= 35
    assert plan(master_seed=12).parameters(0) != a.parameters(0)


@pytest.mark.parametrize("prior, whole, reached", [
    # Whole-number bounds draw whole numbers, both bounds included; decimal
    # bounds stay inside and come within 1 % of the range of either bound.
    ({"uniform": [3, 7]}, True, {3, 4, 5, 6, 7}),
    ({"uniform": [0, 1]}, True, {0, 1}),
    ({"log_uniform": [1, 4]}, True, {1, 2, 3, 4}),
    ({"uniform": [0.25, 0.75]}, False, None),
    ({"log_uniform": [0.005, 0.5]}, False, None),
    ({"list": [2, "x.txt", 0.5]}, False, {2, "x.txt", 0.5}),
])
def test_every_prior_kind_draws_its_whole_range(prior, whole, reached):
    p = plan(draws=2000, replicates=1, parameters={"capacity": prior})
    values = [p.parameters(d)["capacity"] for d in range(p.draws)]
    if reached is not None:
        assert set(values) == reached
    else:
        low, high = next(iter(prior.values()))
        assert low <= min(values) and max(values) <= high
        span = math.log(high / low) if "log_uniform" in prior else high - low
        scaled = [math.log(v / low) if "log_uniform" in prior else v - low for v in values]
        assert min(scaled) < 0.01 * span and max(scaled) > 0.99 * span
    assert all(isinstance(v, int) for v in values) == whole


def test_run_seeds_distinct_in_range_and_commands_use_set_and_seed():
    p = plan(draws=20000)
    seeds = [p.seed(i) for i in range(p.runs)]
    assert len(set(seeds)) == p.runs and min(seeds) >= 1 and max(seeds) <= replicates.SEED_RANGE
    run = p.run(4)
    assert (run["draw"], run["replicate"]) == (1, 1)
    assert run["command"][:6] == [FAKE, "--quiet", "--seed", str(run["seed"]), "--out", "out/runs/0000004"]
    assert f"migration_colonised={replicates.text(run['parameters']['migration_colonised'])}" in run["command"]
    assert run["command"][-1] == TEMPLATE
    assert run["plan"][1] == "--plan" and run["plan"][2:] == run["command"][2:]
    assert [len(p.batch(b)) for b in (0, p.batches - 1)] == [7, p.runs - 7 * (p.batches - 1)]


def test_memory_of_a_batch_is_the_programs_own_figure():
    # The stand-in's plan: 1 MiB per generation and 1 MiB besides.
    p = plan(parameters={"generations": {"list": [100, 300]}}, batch_size=8, replicates=1)
    for b in range(p.batches):
        largest = max(r["parameters"]["generations"] for r in p.batch(b))
        assert p.mem_mb(b) == largest + 1 + 256
    assert plan(slurm={"mem_mb": 999}).mem_mb(0) == 999


@pytest.mark.parametrize("changes, message", [
    ({"parameters": {"migration_colonized": 0.1}}, "parameters: unknown parameter name 'migration_colonized' (did you mean 'migration_colonised'"),
    ({"parameters": {1: 0.5}}, "parameters: 1 is not of type 'string' (a settings name"),
    ({"parameters": {"growth_rate": {"uniform": [0.5, 0.5]}}}, "parameters.growth_rate: empty prior range [0.5, 0.5]"),
    ({"parameters": {"growth_rate": {"uniform": [0.1, float("inf")]}}}, "parameters.growth_rate.uniform.1: inf is greater than the maximum"),
    ({"parameters": {"growth_rate": {"uniform": [0.1]}}}, "parameters.growth_rate.uniform: [0.1] is too short"),
    ({"parameters": {"growth_rate": {"log_uniform": [0, 1]}}}, "log_uniform needs 0 < low"),
    ({"parameters": {"model": {"list": []}}}, "parameters.model.list: [] is too short"),
    ({"parameters": {"model": {"normal": [0, 1]}}}, "parameters.model: {'normal': [0, 1]} is not valid (a prior is"),
    ({"parameters": {"capacity": 40000}}, "the program refuses run 0 (seed"),
    ({"template": "no/such/settings.txt"}, "template: the settings file 'no/such/settings.txt' does not exist"),
    ({"program": "no/such/fluviagen"}, "program: 'no/such/fluviagen' does not exist or cannot be run"),
    ({"program": "/bin/true"}, "the program's list of settings: '/bin/true --list-settings' printed no JSON"),
    ({"draws": 0}, "draws: 0 is less than the minimum of 1"),
    ({"draws": "many"}, "draws: 'many' is not of type 'integer'"),
    ({"master_seed": None}, "the configuration: 'master_seed' is a required property"),
    ({"replicate": 2}, "Additional properties are not allowed ('replicate' was unexpected)"),
    ({"out": ""}, "out: '' does not match"),
    ({"out": "/"}, "out: '/' does not match"),
    ({"out": "/./"}, "out: '/./' is the file system's root"),
    ({"out": TEMPLATE}, f"out: '{TEMPLATE}' is a file, not a folder"),
    ({"args": "--without vcf"}, "args: '--without vcf' is not of type 'array'"),
    ({"keep_outputs": "false"}, "keep_outputs: 'false' is not of type 'boolean'"),
    ({"slurm": ["short"]}, "slurm: ['short'] is not of type 'object'"),
    ({"slurm": {"mem_mb": "lots"}}, "slurm.mem_mb: 'lots' is not of type 'integer'"),
    ({"slurm": {"partitions": "short"}}, "slurm: Additional properties are not allowed ('partitions' was unexpected)"),
    ({"observed": {"parameters": {"growth_rate": 0.5}, "seed": 3}}, "no value for the varying parameter(s) migration_colonised, capacity, model"),
    ({"observed": {"parameters": {"growth_rate": 0.5}, "seed": 0}}, "observed.seed: 0 is less than the minimum of 1"),
])
def test_bad_configurations_refused_with_the_key(changes, message):
    with pytest.raises(replicates.ConfigError) as error:
        plan(**changes).check_runs()
    assert message in str(error.value)


@pytest.mark.skipif(not os.access(PROGRAM, os.X_OK), reason=f"no program at {PROGRAM}")
@pytest.mark.parametrize("parameters", [
    {"generations": "many"},
    {"segments": "no_such_segments.txt"},
    {"capacity": 40000},
])
def test_settings_the_program_refuses_are_refused_with_its_own_message(parameters):
    sets = [w for name, value in parameters.items() for w in ("--set", f"{name}={value}")]
    own = subprocess.run([PROGRAM, "--plan", *sets, TEMPLATE], capture_output=True, text=True)
    assert own.returncode == 1
    message = next(line for line in own.stderr.splitlines() if line.startswith("fluviagen: "))[len("fluviagen: "):]
    with pytest.raises(replicates.ConfigError) as error:
        plan(program=PROGRAM, parameters=parameters).check_runs()
    assert str(error.value).startswith("the program refuses run 0 (seed ")
    assert str(error.value).endswith(f"): {message}")

"""The plan of a set of replicates: the configuration, the parameter draws,
the run seeds, the batches and the memory a batch needs.

Everything here is decided from the configuration and the program's own
answers (`--list-settings`, `--plan`) before any job starts, so that a bad
configuration is refused up front and every job of a rerun (or of a cluster
node) sees exactly the same plan. The settings file itself is read by the
program alone.
"""
import difflib
import json
import math
import os
import subprocess

import numpy as np
import yaml

SEED_RANGE = 161803398  # run seeds are 1 ... SEED_RANGE
SCHEMA = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "schemas",
                      "config.schema.yaml")


class ConfigError(Exception):
    pass


def schema_refusal(error):
    """One line for a jsonschema ValidationError: the key it is about, what is
    wrong, and what the key means."""
    # Of the alternatives of a prior, one that got further into the value
    # says most; when none did, the description of the prior does.
    while error.validator in ("oneOf", "anyOf") and error.context:
        deepest = max(error.context, key=lambda e: len(e.absolute_path))
        if len(deepest.absolute_path) <= len(error.absolute_path):
            break
        error = deepest
    path = ".".join(str(p) for p in error.absolute_path) or "the configuration"
    description = error.schema.get("description") if isinstance(error.schema, dict) else None
    if error.validator in ("oneOf", "anyOf"):
        message = f"{error.instance!r} is not valid"
    else:
        message = error.message
    return f"{path}: {message}" + (f" ({description})" if description else "")


def check_schema(config):
    """The configuration validated against the schema, its defaults filled in,
    as Snakemake's validate() does; a ConfigError names the key at fault."""
    import jsonschema

    with open(SCHEMA) as f:
        schema = yaml.safe_load(f)
    base = jsonschema.validators.validator_for(schema)
    validate_properties = base.VALIDATORS["properties"]

    def set_defaults(validator, properties, instance, subschema):
        for name, sub in properties.items():
            if "default" in sub and isinstance(instance, dict):
                instance.setdefault(name, sub["default"])
        yield from validate_properties(validator, properties, instance, subschema)

    validator = jsonschema.validators.extend(base, {"properties": set_defaults})(schema)
    for error in validator.iter_errors(config):
        raise ConfigError(schema_refusal(error))
    return config


class Prior:
    """One parameter's prior. Bounds given as whole numbers draw whole numbers,
    both bounds included."""

    def __init__(self, name, given):
        self.name = name
        if not isinstance(given, dict):
            given = {"fixed": given}
        (self.kind, value), = given.items()
        if self.kind == "fixed":
            self.values = [value]
        elif self.kind == "list":
            self.values = value
        else:
            self.low, self.high = value
            if not self.low < self.high:
                raise ConfigError(f"parameters.{name}: empty prior range [{self.low}, {self.high}]")
            if self.kind == "log_uniform" and self.low <= 0:
                raise ConfigError(f"parameters.{name}: log_uniform needs 0 < low, got [{self.low}, {self.high}]")
            self.whole = all(isinstance(v, int) for v in value)

    @property
    def varies(self):
        return self.kind in ("uniform", "log_uniform") or len(self.values) > 1

    def draw(self, rng):
        if self.kind == "fixed":
            return self.values[0]
        if self.kind == "list":
            return self.values[int(rng.integers(len(self.values)))]
        if self.kind == "uniform":
            if self.whole:
                return int(rng.integers(self.low, self.high, endpoint=True))
            return decimal(rng.uniform(self.low, self.high))
        x = math.exp(rng.uniform(math.log(self.low), math.log(self.high)))
        return int(round(x)) if self.whole else decimal(x)


def decimal(x):
    """x to 8 significant digits, as a plain decimal the settings reader takes."""
    return float(np.format_float_positional(x, precision=8, unique=False, fractional=False, trim="-"))


def text(value):
    if isinstance(value, float):
        return np.format_float_positional(value, trim="-")
    return str(value)


def program_error(stderr, status):
    """The program's own message from its standard error: its lines that begin
    with `fluviagen: ` (the hint to --help that may follow is left out)."""
    lines = [line.strip() for line in stderr.splitlines() if line.strip()]
    own = [line[len("fluviagen: "):] for line in lines if line.startswith("fluviagen: ")]
    if own:
        return " ".join(own)
    return lines[0] if lines else f"exit status {status}"


def ask_program(command, what):
    """The JSON the program prints for `--list-settings --json` or `--plan`."""
    try:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
    except OSError as error:
        raise ConfigError(f"the program '{command[0]}' cannot be run: {error.strerror}")
    if result.returncode != 0:
        raise ConfigError(f"{what}: {program_error(result.stderr, result.returncode)}")
    try:
        return json.loads(result.stdout)
    except ValueError:
        raise ConfigError(f"{what}: '{' '.join(command[:2])}' printed no JSON (is '{command[0]}' an older "
                          "fluviagen?)")


class Plan:
    def __init__(self, config):
        self.config = config
        self.template = config["template"]
        self.program = config["program"]
        self.out = os.path.normpath(config["out"])
        if os.path.abspath(self.out) == "/":
            raise ConfigError(f"out: '{config['out']}' is the file system's root; name a folder for the runs")
        if os.path.exists(self.out) and not os.path.isdir(self.out):
            raise ConfigError(f"out: '{config['out']}' is a file, not a folder")
        if not os.path.isfile(self.template):
            raise ConfigError(f"template: the settings file '{self.template}' does not exist")
        if not (os.path.isfile(self.program) and os.access(self.program, os.X_OK)):
            raise ConfigError(f"program: '{self.program}' does not exist or cannot be run (build it first)")
        self.draws = config["draws"]
        self.replicates = config["replicates"]
        self.batch_size = config["batch_size"]
        self.master_seed = config["master_seed"]
        self.args = config["args"]
        self.keep_outputs = config["keep_outputs"]
        self.slurm = config["slurm"]
        self.abc = config.get("abc")
        names = [s["name"] for s in ask_program([self.program, "--list-settings", "--json"],
                                                 "the program's list of settings")]
        self.priors = []
        for name, given in config["parameters"].items():
            self.check_name(name, names, "parameters")
            self.priors.append(Prior(name, given))
        self.runs = self.draws * self.replicates
        if self.runs > SEED_RANGE:
            raise ConfigError(f"draws: {self.runs} runs, at most {SEED_RANGE} have distinct seeds")
        self.batches = (self.runs + self.batch_size - 1) // self.batch_size
        # Run seeds: an affine map i -> a*i + b modulo SEED_RANGE with a prime to
        # it is one-to-one, so the seeds of all runs are distinct, whatever
        # their number, and each depends only on the master seed and the run.
        rng = np.random.default_rng(np.random.SeedSequence(self.master_seed, spawn_key=(1,)))
        while True:
            self.seed_a = int(rng.integers(1, SEED_RANGE))
            if math.gcd(self.seed_a, SEED_RANGE) == 1:
                break
        self.seed_b = int(rng.integers(0, SEED_RANGE))
        self.observed = self._observed(config.get("observed"), names)

    @staticmethod
    def check_name(name, names, where):
        if name not in names:
            close = difflib.get_close_matches(name, names, n=1)
            hint = f"did you mean '{close[0]}'? " if close else ""
            raise ConfigError(f"{where}: unknown parameter name '{name}' ({hint}the names are those of "
                              "the program's --set: fluviagen --list-settings)")

    def _observed(self, given, names):
        """A pseudo-observed run: the priors' values replaced by known ones."""
        if not given:
            return None
        values = dict(given["parameters"])
        for name in values:
            self.check_name(name, names, "observed.parameters")
        missing = [p.name for p in self.priors if p.varies and p.name not in values]
        if missing:
            raise ConfigError(f"observed.parameters: no value for the varying parameter(s) {', '.join(missing)}")
        values = {**{p.name: p.values[0] for p in self.priors if not p.varies}, **values}
        return self._run("observed", 0, 0, given["seed"], values, f"{self.out}/observed")

    def parameters(self, draw):
        """The parameter values of a draw, in configuration order; a draw's
        stream depends only on the master seed and the draw number."""
        rng = np.random.default_rng(np.random.SeedSequence(self.master_seed, spawn_key=(0, draw)))
        return {p.name: p.draw(rng) for p in self.priors}

    def seed(self, run):
        return 1 + (self.seed_a * run + self.seed_b) % SEED_RANGE

    def run(self, index):
        """Everything one run is: its number, draw, replicate, seed, parameters and command."""
        draw, replicate = divmod(index, self.replicates)
        return self._run(index, draw, replicate, self.seed(index), self.parameters(draw),
                         f"{self.out}/runs/{index:07d}")

    def _run(self, index, draw, replicate, seed, values, folder):
        sets = []
        for name, value in values.items():
            sets += ["--set", f"{name}={text(value)}"]
        command = [self.program, "--quiet", "--seed", str(seed), "--out", folder] + sets + self.args + [self.template]
        plan = [self.program, "--plan", "--seed", str(seed), "--out", folder] + sets + self.args + [self.template]
        return {"run": index, "draw": draw, "replicate": replicate, "seed": seed,
                "parameters": values, "folder": folder, "command": command, "plan": plan}

    def batch(self, number):
        first = number * self.batch_size
        return [self.run(i) for i in range(first, min(first + self.batch_size, self.runs))]

    def check_runs(self):
        """Refuses the configuration when the program refuses its first run (or
        the observed one): a fixed value out of range, a missing input file."""
        for run in [self.run(0)] + ([self.observed] if self.observed else []):
            self.program_plan(run)

    @staticmethod
    def program_plan(run):
        return ask_program(run["plan"], f"the program refuses run {run['run']} (seed {run['seed']})")

    def mem_mb(self, number):
        """Memory for a batch job: the program's own estimate of its peak memory
        (`--plan`), the largest of the batch's runs, plus what Snakemake and
        Python take beside it (`slurm.mem_overhead_mb`); or `slurm.mem_mb`."""
        if "mem_mb" in self.slurm:
            return self.slurm["mem_mb"]
        peak = 0
        for run in self.batch(number):
            try:
                peak = max(peak, self.program_plan(run)["peak_bytes_estimate"])
            except ConfigError:
                pass  # the run fails at once and takes no memory; its row says why
        return int(math.ceil(peak / 2**20)) + self.slurm["mem_overhead_mb"]


def load(path_or_config, check_runs=False):
    """A Plan from a YAML file or an already-read configuration."""
    if isinstance(path_or_config, dict):
        config = path_or_config
    else:
        with open(path_or_config) as f:
            config = yaml.safe_load(f) or {}
    plan = Plan(check_schema(config))
    if check_runs:
        plan.check_runs()
    return plan

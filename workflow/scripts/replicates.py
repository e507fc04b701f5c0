"""The plan of a set of replicates: the configuration, the parameter draws,
the run seeds, the batches and the memory a batch needs.

Everything here is decided from the configuration alone, before any job
starts, so that a bad configuration is refused up front and every job of a
rerun (or of a cluster node) sees exactly the same plan.
"""
import difflib
import math
import os

import numpy as np
import yaml

# The names `--set` takes, by settings line.
SETTINGS_NAMES = {
    "sources": 1, "samples": 2, "nodes": 3, "segments": 4, "dynamic_file": 5, "capacity": 7,
    "model": 8, "generations": 9, "generation_time": 10, "start_bp": 11, "growth_rate": 12,
    "overflow": 13, "overflow_rate": 14, "dynamic": 15, "entire_simulations": 16,
    "genetic_simulations": 17, "max_backward": 18, "data_type": 19, "independent_loci": 20,
    "linked_loci": 21, "genotypic": 22, "mutation_rate": 23, "transition_fraction": 24,
    "gamma_shape": 25, "gamma_categories": 26, "microsat_range": 27, "microsat_step": 28,
    "min_snp_frequency": 29, "min_snp_frequency_sample": 30, "arp_output": 31,
    "coalescence_image": 32, "coalescence_times": 33, "trees_output": 34, "mrca_output": 35,
    "divergence_time": 36, "migration_uncolonised": 37, "migration_colonised": 38,
    "upstream_ratio": 39, "segment_length": 40,
}
SEED_RANGE = 161803398  # run seeds are 1 ... SEED_RANGE
PRIORS = ("fixed", "uniform", "log_uniform", "list")


class ConfigError(Exception):
    pass


class Prior:
    """One parameter's prior. Bounds given as whole numbers draw whole numbers."""

    def __init__(self, name, given):
        self.name = name
        if not isinstance(given, dict):
            given = {"fixed": given}
        if len(given) != 1 or next(iter(given)) not in PRIORS:
            raise ConfigError(f"parameter '{name}': the prior is one of {', '.join(PRIORS)}, "
                              f"e.g. {{uniform: [0.01, 0.2]}}; got {given}")
        (self.kind, value), = given.items()
        if self.kind == "fixed":
            self.values = [value]
        elif self.kind == "list":
            if not isinstance(value, list) or not value:
                raise ConfigError(f"parameter '{name}': the list of values is empty")
            self.values = value
        else:
            if (not isinstance(value, list) or len(value) != 2
                    or not all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in value)):
                raise ConfigError(f"parameter '{name}': {self.kind} takes [low, high], got {value}")
            self.low, self.high = value
            if not self.low < self.high:
                raise ConfigError(f"parameter '{name}': empty prior range [{self.low}, {self.high}]")
            if self.kind == "log_uniform" and self.low <= 0:
                raise ConfigError(f"parameter '{name}': log_uniform needs 0 < low, got [{self.low}, {self.high}]")
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


class Plan:
    def __init__(self, config):
        def need(key, kind=None, default=None):
            if key not in config:
                if default is None:
                    raise ConfigError(f"'{key}' is missing")
                return default
            value = config[key]
            if kind is int and (not isinstance(value, int) or isinstance(value, bool) or value < 1):
                raise ConfigError(f"'{key}' must be a whole number from 1, got {value!r}")
            return value

        known = {"template", "program", "out", "draws", "replicates", "master_seed", "batch_size",
                 "parameters", "args", "keep_outputs", "slurm", "observed", "abc"}
        unknown = sorted(set(config) - known)
        if unknown:
            raise ConfigError(f"unknown key(s) {', '.join(unknown)} (known: {', '.join(sorted(known))})")
        self.template = str(need("template"))
        if not os.path.isfile(self.template):
            raise ConfigError(f"the settings template '{self.template}' does not exist")
        self.program = str(need("program", default="build/fluviagen"))
        if not os.access(self.program, os.X_OK):
            raise ConfigError(f"the program '{self.program}' does not exist or cannot be run (build it first)")
        self.out = str(need("out")).rstrip("/")
        self.draws = need("draws", int)
        self.replicates = need("replicates", int, 1)
        self.batch_size = need("batch_size", int, 1)
        self.master_seed = need("master_seed", int)
        self.args = [str(a) for a in need("args", default=[])]
        self.keep_outputs = bool(need("keep_outputs", default=True))
        self.slurm = need("slurm", default={})
        self.abc = need("abc", default={})
        parameters = need("parameters", default={})
        if not isinstance(parameters, dict):
            raise ConfigError("'parameters' must map settings names to priors")
        for name in parameters:
            if name not in SETTINGS_NAMES:
                close = difflib.get_close_matches(name, SETTINGS_NAMES, n=1)
                hint = f"did you mean '{close[0]}'? " if close else ""
                raise ConfigError(f"unknown parameter name '{name}' ({hint}the names are those of "
                                  "the program's --set, listed in the README)")
        self.priors = [Prior(name, given) for name, given in parameters.items()]
        self.runs = self.draws * self.replicates
        if self.runs > SEED_RANGE:
            raise ConfigError(f"{self.runs} runs: at most {SEED_RANGE} have distinct seeds")
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
        self.observed = self._observed(need("observed", default={}))

    def _observed(self, given):
        """A pseudo-observed run: the priors' values replaced by known ones."""
        if not given:
            return None
        values = dict(given.get("parameters") or {})
        for name in values:
            if name not in SETTINGS_NAMES:
                raise ConfigError(f"observed: unknown parameter name '{name}'")
        missing = [p.name for p in self.priors if p.varies and p.name not in values]
        if missing:
            raise ConfigError(f"observed: no value for the varying parameter(s) {', '.join(missing)}")
        seed = given.get("seed")
        if not isinstance(seed, int) or not 1 <= seed <= SEED_RANGE:
            raise ConfigError(f"observed: 'seed' must be a whole number from 1 to {SEED_RANGE}, got {seed!r}")
        values = {**{p.name: p.values[0] for p in self.priors if not p.varies}, **values}
        return self._run("observed", 0, 0, seed, values, f"{self.out}/observed")

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
        command = [self.program, "--quiet", "--seed", str(seed), "--out", folder]
        for name, value in values.items():
            command += ["--set", f"{name}={text(value)}"]
        command += self.args + [self.template]
        return {"run": index, "draw": draw, "replicate": replicate, "seed": seed,
                "parameters": values, "folder": folder, "command": command}

    def batch(self, number):
        first = number * self.batch_size
        return [self.run(i) for i in range(first, min(first + self.batch_size, self.runs))]

    def mem_mb(self, number):
        """Memory for a batch job: the largest history table of its runs, plus
        the rest of the program (`slurm.mem_overhead_mb`), or `slurm.mem_mb`."""
        if "mem_mb" in self.slurm:
            return int(self.slurm["mem_mb"])
        largest = max(history_bytes(self.template, run["parameters"]) for run in self.batch(number))
        return int(math.ceil(largest / 2**20)) + int(self.slurm.get("mem_overhead_mb", 256))


def load(path_or_config):
    """A Plan from a YAML file or an already-read configuration (Snakemake's)."""
    if isinstance(path_or_config, dict):
        config = path_or_config
    else:
        with open(path_or_config) as f:
            config = yaml.safe_load(f) or {}
    return Plan(config)


def settings_value(template, line):
    """The value (first word) of a settings line."""
    with open(template) as f:
        lines = f.read().splitlines()
    return lines[line - 1].split()[0]


def history_bytes(template, overrides):
    """Bytes of the history table a run allocates: every segment keeps one
    series of 16-bit entries for its size and one per neighbour (segments
    sharing its upstream or downstream node), each series G + 1 entries long
    rounded up to 32 entries (a 64-byte cache line)."""
    generations = int(float(overrides.get("generations", settings_value(template, 9))))
    segments = str(overrides.get("segments", settings_value(template, 4)))
    if not os.path.isabs(segments):
        segments = os.path.join(os.path.dirname(template), segments)
    ends = []
    with open(segments) as f:
        for line in f.read().splitlines()[4:]:
            words = line.split()
            if len(words) >= 3:
                ends.append((words[1], words[2]))
    degree = {}
    for a, b in ends:
        degree[a] = degree.get(a, 0) + 1
        degree[b] = degree.get(b, 0) + 1
    series = sum(degree[a] + degree[b] - 1 for a, b in ends)  # neighbours + 1
    stride = (generations + 1 + 31) // 32 * 32
    return series * stride * 2

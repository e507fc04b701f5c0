"""The tutorial "A study from a GIS layer to a posterior" runs as written, in a
fresh folder, and prints what the page says it prints; the inference step
gives a posterior of the right shape."""
import csv
import os

import pytest

from conftest import BUILD, DOCS, REPO, program
import tutorial

PAGE = os.path.join(DOCS, "tutorial.md")
# The one change the test makes: fewer draws than a real study.
REAL_DRAWS, TEST_DRAWS = "draws: 2000", "draws: 60"


def test_the_extraction_reads_commands_and_outputs_in_order():
    page = "```sh\necho a\n```\n\n```text\na\n```\n\n```none\nx\n```\n\n```sh\ncd /\n```\n"
    assert tutorial.steps(page) == [("echo a\n", ["a"]), ("cd /\n", None)]
    assert tutorial.missing_lines(["a  b", "d"], "x\na b\nc\nd\n") == []
    assert tutorial.missing_lines(["d", "a b"], "a b\nd\n") == ["a b"]


@pytest.fixture(scope="module")
def study(tmp_path_factory):
    for name in ("fluviagen", "fluviagen-import", "fluviagen-map"):
        program(name)
    folder = tmp_path_factory.mktemp("tutorial")
    # The tutorial runs from the root of a clone after the build.
    for entry in ("examples", "workflow", "docs"):
        os.symlink(os.path.join(REPO, entry), folder / entry)
    os.symlink(BUILD, folder / "build")
    steps = tutorial.steps(open(PAGE, encoding="utf-8").read())
    assert sum(commands.count(REAL_DRAWS) for commands, _ in steps) == 1
    steps = [(commands.replace(REAL_DRAWS, TEST_DRAWS), expected) for commands, expected in steps]
    env = dict(os.environ, USER=os.environ.get("USER", "root"), HOME=str(folder))
    code, log, outputs = tutorial.run(steps, folder, env)
    return folder, steps, code, log, outputs


def test_every_command_succeeds(study):
    folder, steps, code, log, outputs = study
    assert len(steps) >= 7
    assert code == 0, "a command of the tutorial failed:\n" + log[-4000:]


def test_printed_numbers_are_what_the_commands_give(study):
    folder, steps, code, log, outputs = study
    checked = 0
    for (commands, expected), output in zip(steps, outputs):
        if expected is None:
            continue
        assert output is not None, f"the commands did not run:\n{commands}"
        lost = tutorial.missing_lines(expected, output)
        assert not lost, f"after\n{commands}\nthe page prints lines the commands did not:\n" + \
            "\n".join(lost) + "\n--- the commands printed:\n" + output
        checked += len(expected)
    assert checked >= 30


def test_the_posterior_has_its_shape(study):
    folder = study[0]
    rows = list(csv.DictReader(open(folder / "study" / "abc" / "posterior.tsv"), delimiter="\t"))
    priors = {"migration_colonised": (0.005, 0.5), "growth_rate": (0.1, 1.0)}
    assert [r["parameter"] for r in rows] == list(priors)
    for r in rows:
        low, high = priors[r["parameter"]]
        lower, median, upper = float(r["lower95"]), float(r["median"]), float(r["upper95"])
        assert low <= lower <= median <= upper <= high, r
        assert float(r["true"]) == {"migration_colonised": 0.05, "growth_rate": 0.5}[r["parameter"]]
    assert os.path.getsize(folder / "study" / "abc" / "posterior.png") > 0
    table = list(csv.DictReader(open(folder / "study" / "abc" / "table.tsv"), delimiter="\t"))
    assert len(table) == 60


def test_readme_quick_start_runs_and_prints_what_it_says(tmp_path):
    for name in ("fluviagen", "fluviagen-import"):
        program(name)
    for entry in ("examples", "docs"):
        os.symlink(os.path.join(REPO, entry), tmp_path / entry)
    os.symlink(BUILD, tmp_path / "build")
    steps = tutorial.steps(open(os.path.join(REPO, "README.md"), encoding="utf-8").read())
    assert len(steps) == 1 and len([l for l in steps[0][0].split("\n") if l.strip()]) == 5
    code, log, outputs = tutorial.run(steps, tmp_path, dict(os.environ))
    assert code == 0, log[-4000:]
    lost = tutorial.missing_lines(steps[0][1], outputs[0])
    assert not lost, "README.md prints lines the quick start does not:\n" + "\n".join(lost) + "\n---\n" + outputs[0]


def test_the_posterior_shown_is_the_inference_examples():
    # The page shows the posterior of a real study's 2000 draws: the
    # inference example's, made by the same configuration.
    shown = [text for kind, text in tutorial.blocks(open(PAGE, encoding="utf-8").read()) if kind == "none"]
    example = open(os.path.join(REPO, "workflow", "examples", "abc", "posterior.tsv"), encoding="utf-8").read()
    assert [tutorial.normal(l) for l in shown[0].split("\n") if l.strip()] == \
        [tutorial.normal(l) for l in example.split("\n") if l.strip()]
    # ... and the tutorial's configuration is the example's where the draws,
    # the seeds and the statistics are decided.
    import re
    import yaml
    commands = "".join(c for c, _ in tutorial.steps(open(PAGE, encoding="utf-8").read()))
    page = yaml.safe_load(re.search(r"<<'END'\n(.*?)\nEND\n", commands, re.S).group(1))
    config = yaml.safe_load(open(os.path.join(REPO, "workflow", "examples", "abc", "config.yaml")))
    for key in ("template", "draws", "replicates", "master_seed", "parameters", "observed", "abc"):
        assert page[key] == config[key], key

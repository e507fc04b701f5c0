"""The analysis scripts of docs/scripts, each run on the outputs of the
shipped examples at seed 2026: they run, and what they print is what the
pages that show them say they print."""
import os
import subprocess

import pytest

from conftest import DOCS, REPO, program

SCRIPTS = os.path.join(DOCS, "scripts")
# Each script, the page that shows its output, and how to call it (FOLDER is
# the output folder of the examples' calls).
CASES = {
    "tmrca_full.py": ("outputs/ages.md", ["FOLDER/settings_samples_gps_DNA_true.trees", "0.0005", "500"], 3),
    "tmrca_summary.py": ("guide/first-study.md", ["1000", "FOLDER/settings_samples_gps_DNA.tmrca"], None),
    "isolation_by_distance.py": ("outputs/statistics.md",
                                 ["FOLDER/settings_samples_gps_DNA_pairs.tsv", "FOLDER/ibd.png"], None),
    "read_genotypes.py": ("outputs/genotypes.md", ["FOLDER"], None),
    "gpkg_descriptions.py": ("outputs/demography.md", ["FOLDER/settings_samples_gps_DNA.gpkg"], 3),
}
# Run by the tutorial's test, on the basin it imports.
TUTORIAL = {"network_summary.py", "sample_means.py"}


def normal(line):
    return " ".join(line.split())


@pytest.fixture(scope="module")
def outputs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("examples")
    # The example with its GeoPackage (no images), the microsatellites without.
    for settings, groups in (("settings.txt", ["--without", "maps"]),
                             ("settings_microsat.txt", ["--without", "maps", "--without", "gpkg"])):
        subprocess.run([program("fluviagen"), "--quiet", "--seed", "2026", *groups,
                        "--out", str(folder), os.path.join(REPO, "examples", "river", settings)],
                       check=True, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return folder


def test_every_script_is_run_by_a_test():
    scripts = {f for f in os.listdir(SCRIPTS) if f.endswith(".py")}
    assert scripts == set(CASES) | TUTORIAL


@pytest.mark.parametrize("script", sorted(CASES))
def test_script_prints_what_its_page_shows(outputs, script):
    page, args, first = CASES[script]
    done = subprocess.run(["/usr/bin/python3", os.path.join(SCRIPTS, script)] +
                          [a.replace("FOLDER", str(outputs)) for a in args],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    lines = [normal(l) for l in done.stdout.split("\n") if l.strip()][:first]
    assert lines
    shown = {normal(l) for l in open(os.path.join(DOCS, page), encoding="utf-8").read().split("\n")}
    lost = [l for l in lines if l not in shown]
    assert not lost, f"{page} does not show these lines that {script} prints:\n" + "\n".join(lost)

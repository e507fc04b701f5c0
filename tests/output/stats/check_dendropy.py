#!/usr/bin/python3
"""Reads the DNA sequences of every project file of an output set with
DendroPy and checks that S, pi and Tajima's D of each sample equal the
statistics table's (to its 6 significant digits), and, in the first project
file, dxy and da of every pair of samples and of the row of all samples in
the pairs table. dxy comes from DendroPy's pi of each sample and of the two
samples pooled: the pooled pairs of genes are those within each sample and
those between them, so
    C(n, 2) pi_pooled = C(n_a, 2) pi_a + C(n_b, 2) pi_b + n_a n_b dxy.

check_dendropy.py FOLDER SET"""
import csv
import math
import pathlib
import re
import sys

import dendropy
from dendropy.calculate import popgenstat


def samples_of(path):
    """{sample name: [sequence, ...]} from a project file."""
    samples, name, inside = {}, None, False
    for line in open(path, encoding="latin-1"):
        if m := re.match(r'\s*SampleName="(.*)"', line):
            name, samples[m.group(1)] = m.group(1), []
        elif "SampleData=" in line:
            inside = True
        elif inside and line.strip().startswith("}"):
            inside = False
        elif inside and not line.startswith("#") and line.strip():
            samples[name].append(line.split()[-1])
    return samples


def close(table, computed):
    if table == "NA":
        return computed is None
    return computed is not None and math.isclose(float(table), computed, rel_tol=2e-5, abs_tol=2e-5)


def pi_of(sequences):
    """DendroPy's pi; 0 for fewer than 2 genes (they have no pair)."""
    if len(sequences) < 2:
        return 0.0
    matrix = dendropy.DnaCharacterMatrix.from_dict({f"g{i}": q for i, q in enumerate(sequences)})
    return popgenstat.average_number_of_pairwise_differences(matrix)


def pairs(n):
    return n * (n - 1) / 2


def check_divergence(path, samples, rows):
    """dxy and da of the pairs table's rows of one project file against
    DendroPy; the differences found."""
    problems = []
    pi = {sample: pi_of(sequences) for sample, sequences in samples.items()}
    dxy_sum, dxy_count = 0.0, 0
    for row in rows:
        a, b = row["sample_a"], row["sample_b"]
        if a == "*":
            qualified = [s for s, q in samples.items() if len(q) >= 2]
            mean_dxy = dxy_sum / dxy_count if dxy_count else None
            mean_da = mean_dxy - sum(pi[s] for s in qualified) / len(qualified) if dxy_count else None
            for column, value in (("dxy", mean_dxy), ("da", mean_da)):
                if not close(row[column], value):
                    problems.append(f"{path.name} * * {column}: table {row[column]}, DendroPy {value}")
            continue
        na, nb = len(samples.get(a, [])), len(samples.get(b, []))
        dxy = da = None
        if na >= 1 and nb >= 1:
            pooled = pi_of(samples[a] + samples[b])
            dxy = (pairs(na + nb) * pooled - pairs(na) * pi[a] - pairs(nb) * pi[b]) / (na * nb)
            if na >= 2 and nb >= 2:
                da = dxy - (pi[a] + pi[b]) / 2
                dxy_sum, dxy_count = dxy_sum + dxy, dxy_count + 1
        for column, value in (("dxy", dxy), ("da", da)):
            if not close(row[column], value):
                problems.append(f"{path.name} {a} {b} {column}: table {row[column]}, DendroPy {value}")
    return problems


def main():
    folder, name = pathlib.Path(sys.argv[1]), sys.argv[2]
    rows = list(csv.DictReader(open(folder / f"{name}_stats.tsv"), delimiter="\t"))
    pair_rows = list(csv.DictReader(open(folder / f"{name}_pairs.tsv"), delimiter="\t"))
    problems, checked, pairs_checked = [], 0, 0
    for index, path in enumerate(sorted(folder.glob(f"{name}_*-*.arp"))):
        e, s = (int(x) for x in re.search(r"_(\d+)-(\d+)\.arp$", path.name).groups())
        for sample, sequences in samples_of(path).items():
            row = next(r for r in rows if int(r["e"]) == e and int(r["sim"]) == s and r["sample"] == sample)
            if len(sequences) < 2:
                continue
            matrix = dendropy.DnaCharacterMatrix.from_dict({f"g{i}": q for i, q in enumerate(sequences)})
            S = popgenstat.num_segregating_sites(matrix)
            pi = popgenstat.average_number_of_pairwise_differences(matrix)
            D = popgenstat.tajimas_d(matrix) if S > 0 and len(sequences) >= 4 else None
            for column, value in (("segsites", S), ("pi", pi), ("tajd", D)):
                if not close(row[column], value):
                    problems.append(f"{path.name} {sample} {column}: table {row[column]}, DendroPy {value}")
            checked += 1
        if index == 0:
            mine = [r for r in pair_rows if int(r["e"]) == e and int(r["sim"]) == s]
            problems += check_divergence(path, samples_of(path), mine)
            pairs_checked += len(mine)
    for p in problems:
        print(p)
    print(f"{checked} samples and {pairs_checked} pairs checked, {len(problems)} differences")
    return 1 if problems or checked == 0 or pairs_checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

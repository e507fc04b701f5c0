#!/usr/bin/python3
"""Reads the DNA sequences of every project file of an output set with
DendroPy and checks that S, pi and Tajima's D of each sample equal the
statistics table's (to its 6 significant digits).

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


def main():
    folder, name = pathlib.Path(sys.argv[1]), sys.argv[2]
    rows = list(csv.DictReader(open(folder / f"{name}_stats.tsv"), delimiter="\t"))
    problems, checked = [], 0
    for path in sorted(folder.glob(f"{name}_*-*.arp")):
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
    for p in problems:
        print(p)
    print(f"{checked} samples checked, {len(problems)} differences")
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Runs vcftools' Weir & Cockerham FST over all samples on every VCF file of
an output set written with --diploid-vcf, and checks that its weighted
estimate equals the fst of the row of all samples ("* *") of the pairs table
for the same genetic simulation.

Why they agree: every individual of such a file is homozygous, so the
diploid estimator's heterozygote terms vanish; with samples of equal size
its a / (a + b) per allele, summed over sites, is then term for term Hudson's
(Hb - Hw) / Hb of the genes, the table's multilocus estimate.

check_vcftools_fst.py FOLDER SET"""
import csv
import math
import pathlib
import re
import subprocess
import sys
import tempfile


def vcftools_fst(vcf, work):
    names = subprocess.run(["bcftools", "query", "-l", str(vcf)], check=True, capture_output=True,
                           text=True).stdout.split()
    populations = {}
    for name in names:
        populations.setdefault(name.rsplit("_", 1)[0], []).append(name)
    command = ["vcftools", "--gzvcf", str(vcf), "--out", str(work / "fst")]
    for sample, individuals in populations.items():
        path = work / f"{sample}.txt"
        path.write_text("".join(f"{i}\n" for i in individuals))
        command += ["--weir-fst-pop", str(path)]
    result = subprocess.run(command, capture_output=True, text=True)
    found = re.search(r"Weir and Cockerham weighted Fst estimate: (\S+)", result.stderr)
    if result.returncode != 0 or not found:
        raise RuntimeError(f"{vcf.name}: vcftools gave no estimate:\n{result.stderr}")
    return float(found.group(1))


def main():
    folder, name = pathlib.Path(sys.argv[1]), sys.argv[2]
    table = {(int(r["e"]), int(r["sim"])): r["fst"]
             for r in csv.DictReader(open(folder / f"{name}_pairs.tsv"), delimiter="\t") if r["sample_a"] == "*"}
    problems, checked = [], 0
    with tempfile.TemporaryDirectory() as temporary:
        for vcf in sorted(folder.glob(f"{name}_*-*.vcf.gz")):
            header = subprocess.run(["bcftools", "view", "-h", str(vcf)], check=True, capture_output=True,
                                    text=True).stdout
            if "\n##ploidy=haploid genes written as homozygous diploid calls" not in header:
                problems.append(f"{vcf.name}: no header line on the doubled haploids")
            e, s = (int(x) for x in re.search(r"_(\d+)-(\d+)\.vcf\.gz$", vcf.name).groups())
            theirs, ours = vcftools_fst(vcf, pathlib.Path(temporary)), float(table[e, s])
            # vcftools prints 6 significant digits, as the table does.
            if not math.isclose(theirs, ours, rel_tol=2e-5, abs_tol=2e-6):
                problems.append(f"{vcf.name}: vcftools {theirs}, table {ours}")
            checked += 1
    for p in problems:
        print(p)
    print(f"{checked} files checked, {len(problems)} differences")
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

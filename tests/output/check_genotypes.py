#!/usr/bin/python3
"""Reads the genotype files of an output folder with tools nobody here wrote
(bcftools, tabix and vcftools for the VCF files, Biopython for GENEPOP and
FASTA) and
checks them against the project file (.arp) of the same genetic simulation,
gene for gene.

    check_genotypes.py FOLDER

Exits 1 with a message at the first difference; prints what it checked."""
import glob
import os
import re
import subprocess
import sys
import tempfile

from Bio import SeqIO
from Bio.PopGen import GenePop


class Mismatch(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Mismatch(message)


def read_project_file(path):
    """The data type, K, L, genotypic flag and per sample (name, gene rows);
    a row is the list of its site states as text, all K x L sites."""
    text = open(path, encoding="utf-8").read()
    data_type = re.search(r"^#Data type: (\w+)", text, re.M).group(1)
    linked = int(re.search(r"^#Number of linked loci\s*: (\d+)", text, re.M).group(1))
    loci = int(re.search(r"^#Number of independant loci\s*: (\d+)", text, re.M).group(1))
    genotypic = "GenotypicData=1" in text
    samples = []
    for block in re.finditer(r'SampleName="([^"]*)"\n.*?SampleData= \{\n(.*?)\n\}', text, re.S):
        rows = []
        for line in block.group(2).split("\n"):
            if line.startswith("#") or not line.strip():
                continue
            tokens = line.split()
            if len(tokens) >= 2 and re.fullmatch(r"\d+_\d+", tokens[0]) and tokens[1] == "1":
                tokens = tokens[2:]
            if data_type == "MICROSAT":
                rows.append(tokens)
            else:
                rows.append(list("".join(tokens)))
        samples.append((block.group(1), rows))
    for name, rows in samples:
        for row in rows:
            # A STANDARD state of 10 or more runs into the next site's digits.
            if data_type == "STANDARD" and len(row) > loci * linked:
                return None
            expect(len(row) == loci * linked, f"{path}: a row of {name} has {len(row)} sites, not {loci * linked}")
    return data_type, loci, linked, genotypic, samples


def word(name):
    return re.sub(r"[ \t,]", "_", name)


def individuals(samples, genotypic):
    """(name, [gene rows]) per individual, in file order."""
    result = []
    for name, rows in samples:
        step = 2 if genotypic else 1
        for i in range(0, len(rows), step):
            result.append((f"{word(name)}_{i // step + 1}", rows[i:i + step]))
    return result


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def check_vcf(path, data_type, loci, linked, genotypic, samples):
    people = individuals(samples, genotypic)
    genes = [row for _, rows in samples for row in rows]
    polymorphic = [x for x in range(loci * linked) if len({row[x] for row in genes}) > 1]
    header = run("bcftools", "view", "-h", path)
    expect(run("bcftools", "query", "-l", path).split() == [name for name, _ in people], f"{path}: sample names")
    stats = re.search(r"^SN\t0\tnumber of records:\t(\d+)", run("bcftools", "stats", path), re.M)
    expect(int(stats.group(1)) == len(polymorphic),
           f"{path}: bcftools stats counts {stats.group(1)} records, the project file {len(polymorphic)} polymorphic sites")
    # The index: each contig's records are found through it.
    for k in range(loci):
        in_locus = sum(1 for x in polymorphic if x // linked == k)
        found = run("bcftools", "view", "-H", "-r", f"locus{k + 1}", path).count("\n")
        expect(found == in_locus, f"{path}: the index finds {found} records in locus{k + 1}, expected {in_locus}")
    expect(header.startswith("##fileformat=VCFv4.2\n"), f"{path}: not VCF 4.2")
    # vcftools refuses a VCF version it does not know; it must see every
    # individual and every record.
    with tempfile.TemporaryDirectory() as folder:
        read = subprocess.run(["vcftools", "--gzvcf", path, "--out", os.path.join(folder, "read")],
                              capture_output=True, text=True)
    people_kept = re.search(r"kept \d+ out of (\d+) Individuals", read.stderr)
    sites_kept = re.search(r"kept \d+ out of a possible (\d+) Sites", read.stderr)
    expect(read.returncode == 0 and people_kept and sites_kept, f"{path}: vcftools cannot read it: {read.stderr}")
    expect((int(people_kept.group(1)), int(sites_kept.group(1))) == (len(people), len(polymorphic)),
           f"{path}: vcftools reads {people_kept.group(1)} individuals and {sites_kept.group(1)} sites")
    if data_type == "SNP":
        expect("##INFO=<ID=PLACEHOLDER," in header, f"{path}: no PLACEHOLDER tag in the header")
    flag = "%INFO/PLACEHOLDER" if data_type == "SNP" else "-"
    lines = run("bcftools", "query", "-f", f"%CHROM\t%POS\t%REF\t%ALT\t{flag}[\t%GT]\n", path).splitlines()
    expect(len(lines) == len(polymorphic), f"{path}: {len(lines)} records")
    for x, line in zip(polymorphic, lines):
        chrom, pos, ref, alt, flag, *calls = line.split("\t")
        where = f"{path}: site {x + 1}"
        expect((chrom, int(pos)) == (f"locus{x // linked + 1}", x % linked + 1), f"{where}: at {chrom}:{pos}")
        alleles = [ref] + (alt.split(",") if alt != "." else [])
        if data_type == "SNP":
            expect(alleles == ["A", "T"] and flag == "1", f"{where}: SNP alleles {alleles}, flag {flag}")
            alleles = ["0", "1"]
        expect(len(calls) == len(people), f"{where}: {len(calls)} genotypes")
        for (name, rows), call in zip(people, calls):
            got = [alleles[int(a)] if a != "." else None for a in re.split(r"[|/]", call)]
            wanted = [row[x] for row in rows] + [None] * (len(got) - len(rows))
            expect(got == wanted, f"{where}, {name}: genotype {call} reads {got}, the project file has {wanted}")
            expect(not genotypic or "|" in call, f"{where}, {name}: diploid genotype {call} not phased")


def check_genepop(path, data_type, loci, linked, genotypic, samples):
    with open(path, encoding="utf-8") as handle:
        record = GenePop.read(handle)
    expect(record.loci_list == [f"L{k + 1}_{j + 1}" for k in range(loci) for j in range(linked)], f"{path}: loci")
    with_genes = [(name, rows) for name, rows in samples if rows]
    expect(len(record.populations) == len(with_genes), f"{path}: {len(record.populations)} populations")
    genes = [row for _, rows in samples for row in rows]
    smallest = [min(int(row[x]) for row in genes) if data_type == "MICROSAT" else 0 for x in range(loci * linked)]
    for population, (name, rows) in zip(record.populations, with_genes):
        people = individuals([(name, rows)], genotypic)
        expect([n.strip() for n, _ in population] == [n for n, _ in people], f"{path}: individuals of {name}")
        for (person, alleles), (_, person_rows) in zip(population, people):
            for x, locus in enumerate(alleles):
                wanted = tuple(int(row[x]) - smallest[x] + 100 for row in person_rows)
                if genotypic and len(person_rows) == 1:
                    wanted += (None,)
                expect(locus == wanted, f"{path}: {person} locus {x + 1} reads {locus}, expected {wanted}")


def check_fasta(path, samples):
    records = list(SeqIO.parse(path, "fasta"))
    wanted = [(f"{word(name)}_{c + 1}", "".join(row)) for name, rows in samples for c, row in enumerate(rows)]
    expect([(r.id, str(r.seq)) for r in records] == wanted, f"{path}: names or sequences differ from the project file")


def main():
    folder = sys.argv[1]
    checked = {"vcf": 0, "genepop": 0, "fasta": 0}
    try:
        expect(not glob.glob(os.path.join(folder, "*.part")), f"{folder}: .part files left")
        for arp in sorted(glob.glob(os.path.join(folder, "*.arp"))):
            project = read_project_file(arp)
            if project is None:
                print(f"check_genotypes: {arp}: cannot be read back (STANDARD states above 9), skipped")
                continue
            data_type, loci, linked, genotypic, samples = project
            stem = arp[:-4]
            if data_type in ("DNA", "SNP"):
                check_vcf(stem + ".vcf.gz", data_type, loci, linked, genotypic, samples)
                expect(os.path.exists(stem + ".vcf.gz.tbi"), f"{stem}.vcf.gz: no index")
                checked["vcf"] += 1
            if data_type in ("MICROSAT", "STANDARD", "SNP", "RFLP"):
                check_genepop(stem + ".gen", data_type, loci, linked, genotypic, samples)
                checked["genepop"] += 1
            if data_type == "DNA":
                check_fasta(stem + ".fasta", samples)
                checked["fasta"] += 1
    except (Mismatch, OSError, subprocess.CalledProcessError) as problem:
        print(f"check_genotypes: {problem}", file=sys.stderr)
        return 1
    print(" ".join(f"{kind}={count}" for kind, count in checked.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())

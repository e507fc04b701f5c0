# read_genotypes.py FOLDER: reads the genotype files of the first genetic
# simulation of the example and of settings_microsat.txt (both run into FOLDER)
# as a user's script would, and prints what it found.
import gzip
import os
import sys

from Bio import SeqIO
from Bio.PopGen import GenePop

folder = sys.argv[1]

# VCF: the rows after the meta-information, the header row first.
rows = [l.rstrip("\n").split("\t")
        for l in gzip.open(os.path.join(folder, "settings_samples_gps_DNA_1-001.vcf.gz"), "rt")
        if l[:2] != "##"]
genotypes = {name: [r[9 + i] for r in rows[1:]] for i, name in enumerate(rows[0][9:])}
print("vcf", len(genotypes), "individuals,", len(rows) - 1, "polymorphic sites")

# GENEPOP: one population per sample with genes.
record = GenePop.read(open(os.path.join(folder, "settings_microsat_samples_MICROSAT_1-01.gen")))
print("genepop", len(record.populations), "populations, first individual", record.populations[0][0][0])

# FASTA: one sequence per gene.
sequences = {r.id: str(r.seq) for r in SeqIO.parse(os.path.join(folder, "settings_samples_gps_DNA_1-001.fasta"), "fasta")}
print("fasta", len(sequences), "sequences of", len(next(iter(sequences.values()))), "bases")

# sample_means.py STATS.tsv: per sample, the mean over the genetic
# simulations of gene diversity, nucleotide diversity, Tajima's D and the age
# of the sample's most recent common ancestor (NA values left out), in the
# order of the sample file, then all genes together (*).
import csv
import sys
from collections import defaultdict

columns = ["he", "pi", "tajd", "tmrca"]
values = defaultdict(lambda: defaultdict(list))
order = []
for row in csv.DictReader(open(sys.argv[1]), delimiter="\t"):
    if row["sample"] not in values:
        order.append(row["sample"])
    for c in columns:
        if row[c] != "NA":
            values[row["sample"]][c].append(float(row[c]))
    values[row["sample"]]  # a sample with NA everywhere keeps its row


def mean(xs):
    return f"{sum(xs) / len(xs):.4g}" if xs else "NA"


print("sample".ljust(20) + "".join(c.rjust(10) for c in columns))
for sample in order:
    print(sample.ljust(20) + "".join(mean(values[sample][c]).rjust(10) for c in columns))

# isolation_by_distance.py PAIRS.tsv OUT.png: mean FST / (1 - FST) of every
# pair of samples over the genetic simulations, against the distance along
# the river and in a straight line; prints the two correlations.
import csv, sys
from collections import defaultdict
import numpy as np
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt

fst, km = defaultdict(list), {}
for row in csv.DictReader(open(sys.argv[1]), delimiter="\t"):
    if row["sample_a"] == "*" or row["fst"] == "NA":
        continue                                  # the all-samples row; undefined FST
    pair = (row["sample_a"], row["sample_b"])
    fst[pair].append(float(row["fst"]))
    km[pair] = (float(row["river_km"]), float(row["line_km"]))
pairs = sorted(fst)
y = [np.mean(fst[p]) / (1 - np.mean(fst[p])) for p in pairs]
rs = []
fig, axes = plt.subplots(1, 2, figsize=(9, 3.8), sharey=True)
for ax, k, label in zip(axes, (0, 1), ("along the river (km)", "in a straight line (km)")):
    x = [km[p][k] for p in pairs]
    slope, intercept = np.polyfit(x, y, 1)
    r = np.corrcoef(x, y)[0, 1]
    rs.append(r)
    ax.scatter(x, y, s=18)
    ax.plot(sorted(x), [intercept + slope * v for v in sorted(x)], color="grey")
    ax.set_xlabel(f"distance {label}")
    ax.set_title(f"r = {r:.2f}", fontsize=10)
axes[0].set_ylabel("FST / (1 - FST), mean over simulations")
fig.tight_layout()
fig.savefig(sys.argv[2], dpi=110)
print(f"r along the river {rs[0]:.2f}, in a straight line {rs[1]:.2f}")

# tmrca_full.py TREES MU SITES: for every tree of a _true.trees file, the full
# age (generations before sampling) of the MRCA of all genes, then of the genes
# of each sample deme that has genes in the tree, in deme order.
import sys
from Bio import Phylo

path, mu, sites = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
rate = mu / sites                       # settings line 23 / line 21
for tree in Phylo.parse(path, "nexus"):
    depth = tree.depths()               # distance from the root
    height = max(depth.values())        # ultrametric: every leaf is this deep
    leaves = tree.get_terminals()
    demes = sorted({int(leaf.name.split(".")[1]) for leaf in leaves})
    ages = [round(height / rate)]
    for d in demes:
        mrca = tree.common_ancestor([l for l in leaves if l.name.endswith(f".{d}")])
        ages.append(round((height - depth[mrca]) / rate))
    print(tree.name, *ages)

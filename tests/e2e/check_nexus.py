"""Reads the tree files of a run with Biopython, an established phylogenetics
library, and checks what other programs rely on: the number of trees, the leaf
labels, and that the branch lengths of each tree sum to the mean tree length
the file reports. Usage: check_nexus.py FILE NTREES LABEL,LABEL,..."""
import re
import sys

from Bio import Phylo


def main(path, count, labels):
    trees = list(Phylo.parse(path, "nexus"))
    if len(trees) != count:
        sys.exit(f"{path}: {len(trees)} trees, expected {count}")
    expected = sorted(labels.split(","))
    for tree in trees:
        names = sorted(leaf.name for leaf in tree.get_terminals())
        if names != expected:
            sys.exit(f"{path}: leaves {names}, expected {expected}")
    text = open(path).read()
    match = re.search(r"Mean length of the trees : (\S+)", text)
    if not match:
        sys.exit(f"{path}: no mean line")
    mean = float(match.group(1))
    sums = [tree.total_branch_length() for tree in trees]
    observed = sum(sums) / len(sums)
    if abs(observed - mean) > 1e-4 * max(1.0, abs(mean)):
        sys.exit(f"{path}: branch lengths average {observed}, the file says {mean}")
    print(f"{path}: {len(trees)} trees, mean length {mean} confirmed")


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), sys.argv[3])

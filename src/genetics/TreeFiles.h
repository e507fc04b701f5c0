// NEXUS tree files of the genealogies: "_true.trees" with branch lengths in
// substitutions per site, "_mut.trees" with the number of mutations per
// branch, and at the end the mean tree length over the genetic simulations.
#pragma once

#include <iosfwd>

class TTree;

void writeTreeFileHeader(std::ostream& os);
// "\ttree true_tree_<s> = [&U] " and the Newick text (kind 1 with the rate per
// site, kind 2 with the mutation counts).
void writeTreeLine(std::ostream& os, int simulationIndex, const TTree& tree, int kind, float ratePerSite);
// "end;" and the mean line; with more than one genealogy also the standard
// deviation, right-aligned, fixed, 5 decimals, width 10.
void writeTreeFileFooter(std::ostream& os, float sum, float sumOfSquares, int count);

// NEXUS tree files of the genealogies: "_true.trees" with branch lengths in
// substitutions per site, "_mut.trees" with the number of mutations per
// branch, and at the end the mean tree length over the genetic simulations.
#pragma once

#include <iosfwd>

#include "output/GeneticWriter.h"
#include "output/OutputFiles.h"

namespace fluviagen {

class GenealogyTree;

// Sums over the genetic simulations of one call of the driver, kept in single
// precision, from which the mean lines are written.
struct TreeLengthSums {
    float length = 0;            // tree lengths l
    float lengthSquared = 0;     // l * l
    float mutations = 0;         // mutation counts m
    float mutationsSquared = 0;  // m * m

    // One genealogy. The double l and its double square are added to their
    // float sums in double precision, the total rounded back to float (as a
    // float accumulator takes a double); m and its integer square are
    // converted to float first and added in float.
    void add(int m, double l);
};

void writeTreeFileHeader(std::ostream& os);
// "\ttree true_tree_<s> = [&U] " and the Newick text (kind 1 with the rate per
// site, kind 2 with the mutation counts).
void writeTreeLine(std::ostream& os, int simulationIndex, const GenealogyTree& tree, int kind, float ratePerSite);
// "end;" and the mean line; with more than one genealogy also the standard
// deviation (computed in single precision, sqrtf), right-aligned, fixed, 5
// decimals, width 10.
void writeTreeFileFooter(std::ostream& os, float sum, float sumOfSquares, int count);

// Both tree files of a single-locus phase (with several independent loci
// there is no one genealogy per genetic simulation to write).
class TreeFileWriter : public GeneticWriter {
public:
    void open(const GeneticPhaseView& phase) override;
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genealogy(const GeneticPhaseView& phase, const GenealogyView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    OutputFile trueTrees_;  // "_true.trees"
    OutputFile mutTrees_;   // "_mut.trees"
    TreeLengthSums sums_;   // over the genetic simulations, single precision
};

}  // namespace fluviagen

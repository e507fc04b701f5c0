// The data types of genetic markers behind one interface.
//
// Once the backward coalescent has built the genealogy of a locus, mutations
// are thrown on its branches (a Poisson number per branch, mean = branch
// length in generations x mutation rate) and the allelic state of every node
// is derived from its parent's, down to the sampled genes. Each data type is
// one file of this folder and one line of the registry (DataTypes.cpp):
//   MICROSAT  - repeat counts under the stepwise or generalised stepwise model
//   RFLP      - presence/absence of restriction sites (state flips 0 <-> 1)
//   DNA       - nucleotides with a transition/transversion bias and optional
//               gamma rate heterogeneity among sites
//   STANDARD  - infinite alleles per site (every hit makes a new allele)
//   SNP       - exactly one mutation per site, placed uniformly on the tree
//               and redrawn until the site is polymorphic enough
// A data type also says how its states are written in the project files.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "mutation/MarkerKind.h"

namespace fluviagen {

class Rng;
class Settings;
class GenealogyTree;

// What placing the mutations of one genealogy gives besides the states of
// its nodes.
struct MutationResult {
    // Mutations per site, one entry per linked site (SNP: 1 for every site).
    std::vector<int> hits;
    // Sum over the branches of branch length x rate (each term as drawn
    // from, in single precision): the expected number of mutations, which is
    // also the tree length measured in mutations. MICROSAT: that of the last
    // locus. SNP: 0.
    double treeLength = 0.0;
    // Mutations placed (MICROSAT: on the last locus; SNP: 0).
    int placed = 0;
};

// The genealogy at hand: its sampled genes per sample deme in leaf order
// (SNP frequencies within samples) and its genetic simulation (named in
// messages).
struct GenealogyContext {
    const std::vector<int>& sampleSizes;
    int simulationIndex = 0;
};

class DataType {
public:
    virtual ~DataType() = default;

    // The name in output file names and on the console ("DNA").
    virtual const char* name() const = 0;
    // What a locus and an allele are for the summary statistics.
    virtual MarkerKind markerKind() const = 0;
    // Before the first genealogy of every genetic phase.
    virtual void prepare(Rng&) {}
    // Places mutations on `tree` (from its root, node 2n - 2) and sets every
    // node's `sequence`, `nSites` and `mutations`. A tree without nodes, or a
    // locus without sites, gets no mutation (no draw is made).
    virtual MutationResult sprinkle(GenealogyTree& tree, const GenealogyContext& genealogy, Rng& rng) = 0;

    // Project files: the text after "#Data type: " (with its line end), the
    // DataType and LocusSeparator lines of the profile, and one site state.
    virtual void writeDescription(std::ostream& os) const = 0;
    virtual void writeProfile(std::ostream& os) const = 0;
    virtual void writeState(std::ostream& os, int state) const = 0;
};

// The data type of the settings (Setting::dataType), with the mutation parameters of
// the settings. Null for a code no data type is registered under.
std::unique_ptr<DataType> makeDataType(const Settings& settings);

}  // namespace fluviagen

// Mutation models: placing mutations on a finished genealogy.
//
// Once the backward coalescent has built the genealogy of a locus, mutations
// are thrown on its branches (a Poisson number per branch, mean = branch
// length in generations x mutation rate) and the allelic state of every node
// is derived from its parent's, down to the sampled genes. Five kinds of
// genetic data are modelled:
//   MICROSAT  - repeat counts under the stepwise model (single steps) or the
//               generalised stepwise model (geometric step sizes), each linked
//               locus with its own gamma-distributed rate, optionally confined
//               to a range of R allele sizes;
//   RFLP      - presence/absence of restriction sites (state flips 0 <-> 1);
//   DNA       - nucleotides with a transition/transversion bias and optional
//               gamma rate heterogeneity among sites;
//   STANDARD  - infinite alleles per site (every hit makes a new allele);
//   SNP       - exactly one mutation per site, placed uniformly on the tree
//               and redrawn until the site is polymorphic enough.
#pragma once

#include <vector>

class TNode;
class TTree;

// ---------------------------------------------------------------------------
// Process-wide state of the mutation step.
//
// The writers read the hit table and the expected number of mutations after
// each genealogy; the driver sets the microsatellite bounds once per genetic
// phase.
struct MutationState {
    // Mutations per site of the last genealogy (SNP: 1 for every site). Grown
    // with zeros to the number of sites, never shrunk, cleared at every call.
    std::vector<int> hits;
    // Sum over the branches of branch length x current rate (each term as
    // drawn from, in single precision): the expected number of mutations on
    // the genealogy, which is also its length measured in mutations - the
    // tree length the driver accumulates for the tree files. MICROSAT: that
    // of the last locus. SNP: 0.
    double expectedMutations = 0.0;
    // Mutation rate of the branch draws: the locus rate for RFLP, DNA and
    // STANDARD, the gamma-drawn rate of the current locus for MICROSAT.
    double currentRate = 0.0;
    // Smallest and largest allowed microsatellite state when a range of
    // allele sizes is imposed (see setMicrosatBounds).
    int microsatLo = 0;
    int microsatHi = 0;
};

MutationState& mutationState();

// Test hook: every field back to its starting value (empty hit table).
void resetMutationState();

// Bounds of a range of R allele sizes around the ancestral state 0:
// R odd  -> -(R - 1)/2 .. (R - 1)/2;  R even -> 1 - R/2 .. R/2.
// R = 0 (no range constraint) leaves the bounds unchanged.
void setMicrosatBounds(int range);

// Tree length of the last genealogy in expected mutations (the driver's
// accumulators for the tree files); the same value as expectedMutations.
double treeLength();

// ---------------------------------------------------------------------------
// Placing the mutations.

// Places mutations on `tree` (from its root, node 2n - 2) and sets every
// node's `sequence`, `nSites` and `mutations`. Returns the number of
// mutations placed (MICROSAT: on the last locus; SNP: 0).
//   mutationRate           - mutations per generation for the whole locus
//   gsmGeometricParameter  - MICROSAT mean step parameter (< 0.001: single steps)
//   nSites                 - linked sites (MICROSAT: linked loci)
//   gammaA                 - DNA shape of the site-rate gamma (|a| < 1e-7: none)
//   transitionFraction     - DNA share of transitions
//   microsatRange          - MICROSAT range R (0: unconstrained); the bounds
//                            themselves come from setMicrosatBounds
//   minSnpFrequency        - SNP minimum minor-allele frequency in the sample
//   minSnpFrequencyInSample- SNP alternative: minimum within one sample deme (> 0)
//   simulationIndex        - named in the SNP failure message
//   sampleSizes            - gene copies per sample deme in collection order;
//                            the leaves are numbered deme after deme (SNP only)
// A tree without nodes, or nSites <= 0, gets no mutation (no draw is made).
int sprinkle_mutations(TTree& tree, float mutationRate, float gsmGeometricParameter, int nSites, int dataType,
                       float gammaA, float transitionFraction, int microsatRange, float minSnpFrequency,
                       float minSnpFrequencyInSample, int simulationIndex, const std::vector<int>& sampleSizes);

// What the branch recursion of RFLP, DNA and STANDARD data needs to know.
struct SequenceMutationModel {
    int dataType;
    int nSites;
    float gammaA;
    float transitionFraction;
};

// Sets up `node`'s sequence (its parent's copy; at the root zeros, or random
// letters for DNA), applies the `numMutations` mutations of the branch above
// it, then for each child in turn draws the child's count at the current rate
// and recurses into it. Returns the number of mutations placed below `node`.
int mutateSubtree(TNode& node, int numMutations, const SequenceMutationModel& model);

// Geometric step parameter of one microsatellite locus under the generalised
// stepwise model: a beta deviate of mean q, with alpha = q * 199 + 0.5 and
// beta = (1 - q) * alpha / q, both computed in single precision. 0 (stepwise
// model, no draw) when q < 0.001.
double microsatStepParameter(float gsmGeometricParameter);

// What the branch recursion of one microsatellite locus needs to know.
struct MicrosatLocusModel {
    int locus;              // site of the sequence being mutated
    int nSites;             // length of every node's sequence
    double stepParameter;   // geometric step parameter of the locus (0: single steps)
    bool rangeConstrained;  // the states are kept within the microsatellite bounds
};

// As mutateSubtree, for the state of one microsatellite locus.
int mutateMicrosatSubtree(TNode& node, int numMutations, const MicrosatLocusModel& model);

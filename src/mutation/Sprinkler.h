// The branch recursion shared by the data types: a Poisson number of
// mutations on every branch (mean = branch length x rate), the states of a
// node copied from its parent, then that node's own mutations applied.
#pragma once

#include <vector>

#include "mutation/DataType.h"

namespace fluviagen {

class Rng;
class TreeNode;

// The running results of one genealogy and the rate of its branch draws.
class Sprinkler {
public:
    // A fresh result with a hit table of nSites zeros (none when nSites <= 0).
    explicit Sprinkler(int nSites);

    // Mutation rate of the branch draws from now on: the locus rate for RFLP,
    // DNA and STANDARD, the gamma-drawn rate of the current locus for
    // MICROSAT.
    void setRate(double rate) { rate_ = rate; }
    void restartTreeLength() { result_.treeLength = 0.0; }

    // Number of mutations on the branch from `parent` down to `child`: a
    // Poisson deviate of mean (parent.time - child.time) x rate, that mean
    // taken in single precision as drawn from; it also counts towards the
    // tree length.
    int drawBranchCount(const TreeNode& parent, const TreeNode& child, Rng& rng);

    void hit(int site) { ++result_.hits[static_cast<std::size_t>(site)]; }
    void setHit(int site, int count) { result_.hits[static_cast<std::size_t>(site)] = count; }
    int nSites() const { return static_cast<int>(result_.hits.size()); }

    MutationResult& result() { return result_; }

private:
    MutationResult result_;
    double rate_ = 0.0;
};

// Gives `node` a sequence of nSites states: false (sequence empty, nSites 0)
// when it cannot be allocated. Existing states are kept.
bool ensureSequence(TreeNode& node, int nSites);

// What a site-based data type (RFLP, DNA, STANDARD) adds to the shared
// recursion: the states of the root, and one mutation on a node.
class SiteMutation {
public:
    virtual ~SiteMutation() = default;
    // The root's states when it has no ancestor to copy (zeros by default).
    virtual void initialiseRoot(std::vector<int>& states, Rng& rng) const;
    // One mutation on `node`: picks the site, counts the hit, changes the
    // state. Each draws its deviates in the order of its model.
    virtual void mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const = 0;
};

// Sets up `node`'s sequence (its parent's copy; at the root see
// initialiseRoot), applies the `numMutations` mutations of the branch above
// it, then for each child in turn draws the child's count and recurses into
// it. Returns the number of mutations placed below `node`.
int mutateSubtree(TreeNode& node, int numMutations, const SiteMutation& model, Sprinkler& sprinkler, Rng& rng);

// A site chosen uniformly among nSites by one uniform deviate.
int uniformSite(double u, int nSites);

}  // namespace fluviagen

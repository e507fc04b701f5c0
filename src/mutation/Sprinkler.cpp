#include "mutation/Sprinkler.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <new>

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"

namespace fluviagen {

Sprinkler::Sprinkler(int nSites) { result_.hits.assign(static_cast<std::size_t>(std::max(nSites, 0)), 0); }

int Sprinkler::drawBranchCount(const TreeNode& parent, const TreeNode& child, Rng& rng) {
    const float lambda = static_cast<float>(static_cast<double>(parent.time - child.time) * rate_);
    result_.treeLength += lambda;
    const float m = rng.poissonDeviate(lambda);
    return m < static_cast<float>(INT_MAX) ? static_cast<int>(m) : INT_MAX;
}

bool ensureSequence(TreeNode& node, int nSites) {
    try {
        if (node.sequence.size() != static_cast<std::size_t>(nSites))
            node.sequence.assign(static_cast<std::size_t>(nSites), 0);
    } catch (const std::bad_alloc&) {
        node.sequence.clear();
        node.sequence.shrink_to_fit();
        node.nSites = 0;
        return false;
    }
    node.nSites = nSites;
    return true;
}

void SiteMutation::initialiseRoot(std::vector<int>& states, Rng&) const { std::fill(states.begin(), states.end(), 0); }

int mutateSubtree(TreeNode& node, int numMutations, const SiteMutation& model, Sprinkler& sprinkler, Rng& rng) {
    node.mutations = numMutations;
    const int nSites = sprinkler.nSites();
    if (nSites <= 0 || !ensureSequence(node, nSites)) return 0;
    if (node.ancestor != nullptr && node.ancestor->sequence.size() == node.sequence.size())
        std::copy(node.ancestor->sequence.begin(), node.ancestor->sequence.end(), node.sequence.begin());
    else
        model.initialiseRoot(node.sequence, rng);
    for (int i = 0; i < numMutations; ++i) model.mutate(node, sprinkler, rng);

    int placed = 0;
    for (TreeNode* child : {node.left, node.right}) {
        if (child == nullptr) continue;
        const int m = sprinkler.drawBranchCount(node, *child, rng);
        placed += m + mutateSubtree(*child, m, model, sprinkler, rng);
    }
    return placed;
}

int uniformSite(double u, int nSites) {
    const int site = static_cast<int>(u * nSites);
    return site < nSites ? site : nSites - 1;  // a sound generator stays below 1
}

}  // namespace fluviagen

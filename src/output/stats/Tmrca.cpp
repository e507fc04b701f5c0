#include "output/stats/Tmrca.h"

#include "coalescent/GenealogyTree.h"

namespace fluviagen {

std::vector<std::optional<int>> sampleMrcaAges(const GenealogyTree& tree, std::span<const int> firstLeaf) {
    const std::size_t samples = firstLeaf.empty() ? 0 : firstLeaf.size() - 1;
    std::vector<std::optional<int>> ages(samples);
    const int leaves = tree.size();
    const int nodes = tree.nodeCount();
    if (nodes == 0) return ages;
    const TreeNode* base = &tree.node(0);
    // Internal nodes stand in the order they arose backwards in time, each
    // after its children: the first one below which all the sample's leaves
    // meet is their most recent common ancestor.
    std::vector<int> below(static_cast<std::size_t>(nodes));
    for (std::size_t i = 0; i < samples; ++i) {
        const int first = firstLeaf[i], end = firstLeaf[i + 1];
        if (end - first < 2 || first < 0 || end > leaves) continue;
        for (int k = 0; k < nodes; ++k) {
            int count = 0;
            if (k < leaves) {
                count = (k >= first && k < end) ? 1 : 0;
            } else {
                const TreeNode& node = tree.node(k);
                for (const TreeNode* child : {node.left, node.right})
                    if (child != nullptr) count += below[static_cast<std::size_t>(child - base)];
            }
            below[static_cast<std::size_t>(k)] = count;
            if (k >= leaves && count == end - first) {
                ages[i] = tree.node(k).time;
                break;
            }
        }
    }
    return ages;
}

std::optional<int> rootAge(const GenealogyTree& tree) {
    if (tree.nodeCount() == 0) return std::nullopt;
    return tree.node(tree.nodeCount() - 1).time;
}

}  // namespace fluviagen

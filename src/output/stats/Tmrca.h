// Ages of most recent common ancestors read from a genealogy, in generations
// before sampling, uncapped: an ancestor in the source populations or in the
// ancestral population keeps its full age (the ".tmrca" table stops at the
// start of the forward history).
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace fluviagen {

class GenealogyTree;

// Per sample, the age of the most recent common ancestor of its leaves
// [firstLeaf[i], firstLeaf[i + 1]); none for a sample of fewer than 2 genes.
std::vector<std::optional<int>> sampleMrcaAges(const GenealogyTree& tree, std::span<const int> firstLeaf);

// The age of the root, the ancestor of every gene; none for an empty tree.
std::optional<int> rootAge(const GenealogyTree& tree);

}  // namespace fluviagen

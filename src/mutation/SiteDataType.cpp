#include "mutation/SiteDataType.h"

#include "coalescent/GenealogyTree.h"

namespace fluviagen {

MutationResult SiteDataType::sprinkle(GenealogyTree& tree, const GenealogyContext&, Rng& rng) {
    Sprinkler sprinkler(nSites_);
    // A locus without sites, or a genealogy without genes, carries nothing.
    if (tree.size() < 1 || nSites_ <= 0) return sprinkler.result();
    sprinkler.setRate(mutationRate_);
    sprinkler.result().placed = mutateSubtree(tree.node(2 * tree.size() - 2), 0, *this, sprinkler, rng);
    return sprinkler.result();
}

}  // namespace fluviagen

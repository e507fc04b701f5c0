// RFLP: presence (1) or absence (0) of a restriction site; a mutation flips it.
#include "mutation/DataTypes.h"

#include <ostream>

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"

namespace fluviagen {

Rflp::Rflp(const Settings& s) : SiteDataType(s.numLinkedLoci, s.mutationRate) {}

void Rflp::mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const {
    // RFLP sites mutate uniformly, whatever the gamma shape of the settings.
    const int site = uniformSite(rng.uniform(), nSites_);
    sprinkler.hit(site);
    int& state = node.sequence[static_cast<std::size_t>(site)];
    state = state == 0 ? 1 : 0;
}

void Rflp::writeDescription(std::ostream& os) const { os << "RFLP\n"; }
void Rflp::writeProfile(std::ostream& os) const { os << "\tDataType=RFLP\n\tLocusSeparator=WHITESPACE\n"; }
void Rflp::writeState(std::ostream& os, int state) const { os << state; }

}  // namespace fluviagen

// STANDARD: infinite alleles per site; every mutation makes a new allele.
#include "mutation/DataTypes.h"

#include <ostream>

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"

namespace fluviagen {

Standard::Standard(const Settings& s) : SiteDataType(s.numLinkedLoci, s.mutationRate) {}

void Standard::mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const {
    const int site = uniformSite(rng.uniform(), nSites_);
    sprinkler.hit(site);
    ++node.sequence[static_cast<std::size_t>(site)];
}

void Standard::writeDescription(std::ostream& os) const { os << "STANDARD\n"; }
void Standard::writeProfile(std::ostream& os) const { os << "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n"; }
void Standard::writeState(std::ostream& os, int state) const { os << state; }

}  // namespace fluviagen

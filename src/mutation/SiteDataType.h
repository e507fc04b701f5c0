// The data types whose mutations hit one linked site each and change its
// state (RFLP, DNA, STANDARD): one rate for the whole locus, the shared
// branch recursion, and a site model of their own.
#pragma once

#include "mutation/DataType.h"
#include "mutation/Sprinkler.h"

namespace fluviagen {

class SiteDataType : public DataType, public SiteMutation {
public:
    // nSites: linked sites of the locus; mutationRate: per generation for all
    // of them.
    SiteDataType(int nSites, float mutationRate) : nSites_(nSites), mutationRate_(mutationRate) {}

    MutationResult sprinkle(GenealogyTree& tree, const GenealogyContext& genealogy, Rng& rng) override;

protected:
    int nSites_;
    float mutationRate_;
};

}  // namespace fluviagen

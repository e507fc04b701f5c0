// MICROSAT: repeat counts under the stepwise model (single steps) or the
// generalised stepwise model (geometric step sizes). Each linked locus has
// its own gamma-distributed rate and step parameter, and the states may be
// confined to a range of R allele sizes.
#include "mutation/DataTypes.h"

#include <algorithm>
#include <climits>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "base/Exception.h"

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"
#include "common/SettingLines.h"

namespace fluviagen {

namespace {

// The largest repeat count (either way from the ancestral state) that the
// project files can write: they add 50000 to every state.
constexpr long long kMaxWritableState = 2147483647LL - 50000;

[[noreturn]] void stateBeyondRange(long long next, const MicrosatLocusModel& model) {
    std::ostringstream text;
    text << "Microsatellite locus " << model.locus + 1 << ": a mutation takes an allele to " << next
         << " repeats from the ancestral state, beyond the " << kMaxWritableState
         << " the project files can hold. The steps of this locus have a geometric parameter of "
         << std::setprecision(12) << model.stepParameter << " (drawn around the value of settings line "
         << lineOf(Setting::microsatStep) << "); a value closer to 0, or a lower mutation rate (line "
         << lineOf(Setting::mutationRate) << "), keeps the alleles within reach!";
    throw SimulationError(Text(text.str()), levelFatal);
}

// One mutation: a step of s repeat units up or down. In a bounded range a
// state at a bound can only move inward; an overshooting step stops at the
// bound.
int mutateRepeatCount(int state, const MicrosatLocusModel& model, Rng& rng) {
    long long step = 1;
    if (model.stepParameter != 0.0) step += rng.geometricDeviate(model.stepParameter);
    long long next = state;
    if (model.rangeConstrained) {
        const int lo = model.bounds.lower;
        const int hi = model.bounds.upper;
        if (state == lo)
            next += step;
        else if (state == hi)
            next -= step;
        else
            next += rng.uniform() >= 0.5 ? step : -step;
        if (next < lo) next = lo;
        if (next > hi) next = hi;
    } else {
        next += rng.uniform() >= 0.5 ? step : -step;
        // An unbounded walk with long steps can drift beyond what a state
        // (and its written form) can hold: the run cannot go on faithfully.
        if (next > kMaxWritableState || next < -kMaxWritableState) stateBeyondRange(next, model);
    }
    return static_cast<int>(next);
}

}  // namespace

MicrosatBounds microsatBounds(int range) {
    if (range == 0) return {};
    if (range % 2 != 0) return {-(range - 1) / 2, (range - 1) / 2};
    return {1 - range / 2, range / 2};
}

double microsatStepParameter(float gsmGeometricParameter, Rng& rng) {
    // A beta of mean q, concentrated around it (alpha + beta = 199 + 0.5 / q),
    // so that loci differ a little in their step-size distributions.
    const float q = gsmGeometricParameter;
    if (!(q >= 0.001)) return 0.0;
    const float alpha = q * 199.0f + 0.5f;
    const float beta = ((1.0f - q) * alpha) / q;
    return rng.betaDeviate(alpha, beta);
}

int mutateMicrosatSubtree(TreeNode& node, int numMutations, const MicrosatLocusModel& model, Sprinkler& sprinkler,
                          Rng& rng) {
    node.mutations = numMutations;
    const int nSites = sprinkler.nSites();
    if (model.locus < 0 || model.locus >= nSites || !ensureSequence(node, nSites)) return 0;
    int& state = node.sequence[static_cast<std::size_t>(model.locus)];
    state = node.ancestor != nullptr && node.ancestor->sequence.size() == node.sequence.size()
                ? node.ancestor->sequence[static_cast<std::size_t>(model.locus)]
                : 0;
    for (int i = 0; i < numMutations; ++i) {
        sprinkler.hit(model.locus);
        state = mutateRepeatCount(state, model, rng);
    }

    int placed = 0;
    for (TreeNode* child : {node.left, node.right}) {
        if (child == nullptr) continue;
        const int m = sprinkler.drawBranchCount(node, *child, rng);
        placed += m + mutateMicrosatSubtree(*child, m, model, sprinkler, rng);
    }
    return placed;
}

Microsat::Microsat(const Settings& s)
    : nSites_(s.numLinkedLoci),
      mutationRate_(s.mutationRate),
      gsmGeometricParameter_(s.gsmGeometricParameter),
      range_(s.microsatRange),
      bounds_(microsatBounds(s.microsatRange)) {}

MutationResult Microsat::sprinkle(GenealogyTree& tree, const GenealogyContext&, Rng& rng) {
    Sprinkler sprinkler(nSites_);
    if (tree.size() < 1 || nSites_ <= 0) return sprinkler.result();
    TreeNode& root = tree.node(2 * tree.size() - 2);
    int placed = 0;
    for (int locus = 0; locus < nSites_; ++locus) {
        sprinkler.restartTreeLength();
        // Locus rate: gamma of shape 2 and mean mutationRate.
        sprinkler.setRate(rng.gammaDeviate(2.0, 2.0 / static_cast<double>(mutationRate_)));
        const double stepParameter = microsatStepParameter(gsmGeometricParameter_, rng);
        const MicrosatLocusModel model{locus, stepParameter, range_ != 0, bounds_};
        placed = mutateMicrosatSubtree(root, 0, model, sprinkler, rng);
    }
    sprinkler.result().placed = placed;
    return sprinkler.result();
}

void Microsat::writeDescription(std::ostream& os) const {
    os << "MICROSAT";
    if (range_ != 0)
        os << " (Range constraint : " << range_ << " [" << bounds_.lower + 10000 << ";" << bounds_.upper + 10000
           << "])\n";
    else
        os << " (No range constraint)\n";
}

void Microsat::writeProfile(std::ostream& os) const { os << "\tDataType=MICROSAT\n\tLocusSeparator=WHITESPACE\n"; }

void Microsat::writeState(std::ostream& os, int state) const { os << static_cast<long long>(state) + 50000 << " "; }

}  // namespace fluviagen

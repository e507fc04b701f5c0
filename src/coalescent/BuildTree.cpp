// The backward walk that builds one genealogy.
//
// Starting from the sampled gene copies at the last forward generation, the
// walk goes back one generation per step through the stored demography: in
// every deme that holds lineages two of them may coalesce, then the lineages
// move back to the segments their ancestors immigrated from. Before the first
// forward generation the model goes on with the source populations of the
// colonisation: with one source the main phase simply continues there; with
// several, lineages migrate among the source demes until the divergence time
// D and are then merged into one ancestral deme of 100 gene copies.
//
// One step costs in proportion to the demes and lineages present; nothing
// here walks the segment table per generation.
#include <algorithm>
#include <cstdint>

#include "coalescent/Deme.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "settings/Settings.h"
#include "random/Rng.h"

namespace fluviagen {

namespace {

// The source population that filled a segment at generation 0, if any.
const PopulationSource* originOf(const Deme& deme) { return deme.segment->sourcePopulation; }

}  // namespace

void DemeCollection::resetTreeForGenealogy(std::int32_t g) {
    tree.clearLocations();
    const std::int32_t n = tree.size();
    for (std::int32_t i = 0; i < tree.nodeCount(); ++i) {
        TreeNode& node = tree.node(i);
        node.ancestor = nullptr;
        if (i >= n) {
            node.left = nullptr;
            node.right = nullptr;
            node.time = 0;
            node.deme = -1;
        }
    }
    // Every leaf starts its record where and when it was sampled.
    for (Deme* deme : sampleDemes)
        for (TreeNode* leaf : deme->samples) leaf->storeMigration(deme->segment->id, g);
}

void DemeCollection::mainPhase(std::int32_t& k, std::int32_t& nextNode, std::int32_t t, std::int32_t g,
                               bool& resizeDone, bool overflowMerged, Rng& rng) {
    // The active list does not change during the pass: lineages that move
    // are held as incoming ones until the pass is over.
    for (std::size_t j = 0; j < active.size(); ++j) {
        Deme& deme = *active[j];
        const PopulationSource* origin = originOf(deme);
        if (g <= 0 && origin != nullptr && origin->Resize != 0) {
            // The size chosen for the source before the colonisation began,
            // given once per genealogy to the first deme met.
            if (!resizeDone) {
                deme.size = origin->Resize;
                resizeDone = true;
            }
        } else if (!overflowMerged) {
            deme.size = deme.storedSize(g);
        }
        deme.setSize(deme.size);
        if (deme.coalesceLineages(t, g, tree, nextNode, rng) == 1) {
            --k;
            ++nextNode;
            countCoalescence(*deme.segment);
        }
        deme.implementMigration(deme.slot, g, rng);
    }
}

void DemeCollection::ancestralPhase(std::int32_t& k, std::int32_t& nextNode, std::int32_t t, std::int32_t g,
                                    std::int32_t divergence, Rng& rng) {
    for (std::size_t j = 0; j < active.size(); ++j) {
        Deme& deme = *active[j];
        const PopulationSource* origin = originOf(deme);
        if (g == 0 && origin != nullptr) deme.setSize(origin->Resize != 0 ? origin->Resize : deme.storedSize(0));
        if (deme.coalesceLineages(t, g, tree, nextNode, rng) == 1) {
            --k;
            ++nextNode;
            countCoalescence(*deme.segment);
        }
        if (g > -divergence) {
            const float rate = origin != nullptr ? origin->migration : 0.0f;
            if (rate != 0) {
                deme.implementMultiOriginMigration(g, rate, static_cast<std::int32_t>(j), rng);
                deme.mergeIncoming();
            }
        } else if (g == -divergence) {
            // Divergence time reached: all sources descend from one ancestral
            // population, modelled as a single deme of 100 gene copies.
            Deme& first = *active[0];
            for (std::size_t other = 1; other < active.size(); ++other)
                active[other]->moveAllLineages(*first.segment, first.slot, g);
            first.size = 100;
            first.invSize = 0.01f;
            compactDemes();
        }
    }
}

void DemeCollection::overflowMerge(std::int32_t g) {
    // At the start of the colonisation a source that overflowed its segment
    // filled neighbouring segments; going further back, those individuals are
    // part of the source population again.
    for (Deme* deme : active) {
        const PopulationSource* origin = originOf(*deme);
        if (origin != nullptr && origin->segment != nullptr && origin->segment != deme->segment)
            deme->moveAllLineages(*origin->segment, 0, g);
    }
    // The merged source deme holds the individuals of its segment and of the
    // overflow segment (the last such segment in drainage order decides).
    for (const auto& [overflow, originSegment] : overflowSegments_) {
        Deme* originDeme = demeAt(*originSegment);
        if (originDeme == nullptr) continue;
        originDeme->setSize(database_->history(originSegment->index).sizeAt(0) +
                            database_->history(overflow->index).sizeAt(0));
    }
    // Source demes that hold lineages of their own join the active list; a
    // deme that only received incoming lineages just now is activated by the
    // next main pass, like any deme reached by migration. With several
    // sources there is no such pass: before generation 0 no new deme is
    // activated any more, so there the demes holding only incoming lineages
    // join now, or they would never take part again.
    const PopulationVector& sources = *sources_;
    const bool severalSources = sources.count > 1;
    const std::int32_t count = std::min(sources.count, static_cast<std::int32_t>(sources.populations.size()));
    for (std::int32_t i = 0; i < count; ++i) {
        const Segment* sourceSegment = sources.populations[static_cast<std::size_t>(i)]->segment;
        Deme* deme = sourceSegment != nullptr ? demeAt(*sourceSegment) : nullptr;
        if (deme == nullptr) continue;
        if (deme->nLineages == 0 && (!severalSources || deme->nIncoming == 0)) continue;
        if (std::find(active.begin(), active.end(), deme) == active.end()) active.push_back(deme);
    }
    std::size_t j = 0;
    while (j < active.size()) {
        Deme* deme = active[j];
        deme->mergeIncoming();
        const PopulationSource* origin = originOf(*deme);
        const bool onItsSource = origin != nullptr && origin->segment == deme->segment;
        if (deme->nLineages == 0 && !onItsSource) {
            active[j] = active.back();
            active.pop_back();
        } else {
            ++j;
        }
    }
}

void DemeCollection::buildTree(std::int32_t index, Rng& rng) {
    std::int32_t k = countLineages();
    if (k == 0) throw SimulationError(Text("buildTree():Not enough lineages to perform coalescence!"), levelError);
    if (settings_ == nullptr || sources_ == nullptr || drainage_ == nullptr)
        throw SimulationError(Text("buildTree(): the demes have not been created!"), levelError);

    const Settings& settings = *settings_;
    resetTreeForGenealogy(settings.numGenerations);
    const std::int32_t n = tree.size();
    std::int32_t nextNode = 2 * n - k;

    const std::int32_t maxGenerations = settings.maxGenerations;
    const std::int32_t divergence = settings.divergenceTime;
    const bool severalSources = sources_->count > 1;
    bool resizeDone = false;
    bool overflowMerged = false;

    // t counts the backward steps, g the forward generation they reach.
    std::int32_t g = settings.numGenerations;
    for (std::int32_t t = 0; t < maxGenerations && k > 1; ++t, --g) {
        if (g <= 0 && severalSources) {
            ancestralPhase(k, nextNode, t, g, divergence, rng);
        } else {
            mainPhase(k, nextNode, t, g, resizeDone, overflowMerged, rng);
            compactDemes();
            activateNewDemes();
        }
        newDemes.clear();
        if (g == 1 && settings.allowInitialDensityOverflow && !overflowMerged) {
            overflowMerge(g);
            overflowMerged = true;
        }
    }
    compactDemes();
    activateNewDemes();

    if (k > 1)
        throw SimulationError(
            Text("buildTree():Coalescence process did not converge (still ") + k + " lineages remaining!)", levelError);

    if (index < 1 || index > static_cast<std::int32_t>(mrcaSegment.size()))
        throw SimulationError(Text("buildTree(): genealogy ") + index + " is outside the " +
                                  static_cast<int>(mrcaSegment.size()) + " genealogies of this simulation!",
                              levelError);
    const TreeNode& root = tree.node(2 * n - 2);
    Segment* rootSegment = nullptr;
    if (root.locations && root.locations->count() > 0) rootSegment = drainage_->find((*root.locations)[0]);
    mrcaSegment[static_cast<std::size_t>(index - 1)] = rootSegment;
}

}  // namespace fluviagen

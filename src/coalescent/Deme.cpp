// One deme of the backward coalescent: coalescence within the deme, the
// backward migration of its lineages, and the hand-over of lineages between
// demes.
//
// All the random draws of this file come from the main generator, one at a
// time, in the order the model defines; genealogies are reproduced bit for bit
// from a seed, so the order of draws must not change.
#include "coalescent/Deme.h"

#include <algorithm>
#include <climits>
#include <iostream>

#include "random/Rng.h"
#include "demography/StateDB.h"
#include "drainage/Segment.h"
#include "base/Exception.h"

namespace fluviagen {

namespace {

// A series that holds entries; an empty one (its memory could not be had)
// must never be read.
const TimeStoFull& readable(const TimeStoFull& series, const Segment& segment) {
    if (series.count() == 0)
        throw SimulationError(Text("The demographic history of segment ") + segment.id + " is incomplete!", levelError);
    return series;
}

}  // namespace

namespace {

const StatesOfCell& historyOf(const StateDB& database, const Segment& segment) {
    if (segment.index < 0 || segment.index >= static_cast<std::int32_t>(database.histories.size()))
        throw SimulationError(Text("Segment ") + segment.id + " has no demographic history!", levelError);
    return database.history(segment.index);
}

}  // namespace

Deme::Deme(DemeCollection& owner, Segment& home, std::int32_t capacity, const StateDB& database)
    : lineages(static_cast<std::size_t>(std::max(capacity, 0)), nullptr),
      incoming(static_cast<std::size_t>(std::max(capacity, 0)), nullptr),
      history(&historyOf(database, home)),
      segment(&home),
      collection(&owner) {
    const std::int32_t nb = home.neighbourCount;
    if (nb > static_cast<std::int32_t>(history->immigrants.size()))
        throw SimulationError(
            Text("Segment ") + home.id + " has more neighbours than immigrant series in the demographic database!",
            levelError);
    const auto view = [&home](const TimeStoFull& series) {
        const TimeStoFull& s = readable(series, home);
        return SeriesView{s.data(), s.count()};
    };
    sizes_ = view(history->sizes);
    immigrants_.reserve(static_cast<std::size_t>(nb));
    neighbourSizes_.reserve(static_cast<std::size_t>(nb));
    for (std::int32_t k = 0; k < nb; ++k) {
        const Segment& neighbour = *home.neighbours[static_cast<std::size_t>(k)];
        immigrants_.push_back(view(history->immigrants[static_cast<std::size_t>(k)]));
        neighbourSizes_.push_back(view(historyOf(database, neighbour).sizes));
    }
}

Deme::~Deme() = default;

void Deme::setSize(std::int32_t newSize) {
    size = newSize;
    invSize = size != 0 ? 1.0f / static_cast<float>(size) : 0.0f;
}

int Deme::coalesceLineages(std::int32_t t, std::int32_t g, GenealogyTree& tree, std::int32_t nextNode, Rng& rng) {
    const std::int32_t k = nLineages;
    if (k < 2) return 0;
    if (size == 0) {
        std::cout << "\n\tTDeme::coalesce_lineages() : deme size of population " << segment->id << " (" << segment->lon
                  << "E, " << segment->lat << "N) is zero at time " << g << std::flush;
        return 0;
    }
    // Probability that two of the k lineages find their common parent among
    // the N gene copies of the previous generation: k(k-1)/2 pairs, 1/N each.
    // A value of 1 or more makes the event certain; at most one per generation.
    const double p = static_cast<double>(invSize) * 0.5 * k * (k - 1);
    if (p == 0) return 0;
    if (rng.uniform() > p) return 0;

    const std::int32_t i1 = static_cast<std::int32_t>(rng.uniform() * k);
    std::int32_t i2 = static_cast<std::int32_t>(rng.uniform() * k);
    int redraws = 0;
    while (i2 == i1) {
        if (redraws == 100) {
            // The partner search gives up; the last draw is made all the same.
            rng.uniform();
            return 0;
        }
        i2 = static_cast<std::int32_t>(rng.uniform() * k);
        ++redraws;
    }

    TreeNode& parent = tree.node(nextNode);
    TreeNode* a = lineages[static_cast<std::size_t>(i1)];
    TreeNode* b = lineages[static_cast<std::size_t>(i2)];
    parent.left = a;
    parent.right = b;
    parent.time = t;
    parent.deme = slot;
    a->ancestor = &parent;
    b->ancestor = &parent;
    // Ancestors older than the first forward generation are recorded at 0.
    parent.storeMigration(segment->id, g < 0 ? 0 : g);

    lineages[static_cast<std::size_t>(i1)] = &parent;
    --nLineages;
    lineages[static_cast<std::size_t>(i2)] = lineages[static_cast<std::size_t>(nLineages)];
    lineages[static_cast<std::size_t>(nLineages)] = nullptr;
    return 1;
}

void Deme::implementMigration(std::int32_t slotOfDeme, std::int32_t g, Rng& rng) {
    Segment& here = *segment;
    if (size == 0)
        std::cout << "\n\t\tWARNING in implementMigration: "
                  << "migration from empty deme (seg: " << here.id << " (" << here.lon << "E, " << here.lat
                  << "N)) at generation " << g << std::flush;

    // m[k]: individuals that came in from neighbour k during generation g.
    // Looking backwards, a lineage is an immigrant with probability M / N and
    // then goes back to neighbour k with probability m[k] / M.
    const std::int32_t nb = static_cast<std::int32_t>(immigrants_.size());
    // Going back in time a deme reads each of its series one entry lower per
    // generation, and so enters the cache line below (32 entries, the series
    // start on a line) every 32 generations; the many series of the walk are
    // too scattered for the hardware to see these as streams. Half-way down
    // a line, the line below of every series the deme reads is asked for.
    if ((g & 31) == 15 && g > 32 && g - 32 < sizes_.count) {
        __builtin_prefetch(sizes_.data + (g - 32));
        for (std::int32_t k = 0; k < nb; ++k) {
            __builtin_prefetch(immigrants_[static_cast<std::size_t>(k)].data + (g - 32));
            __builtin_prefetch(neighbourSizes_[static_cast<std::size_t>(k)].data + (g - 32));
        }
    }
    std::vector<std::int32_t>& m = collection->scratch_;
    m.resize(static_cast<std::size_t>(nb));
    std::int32_t total = 0;  // M
    for (std::int32_t k = 0; k < nb; ++k) {
        m[static_cast<std::size_t>(k)] = immigrants_[static_cast<std::size_t>(k)].at(g);
        total += m[static_cast<std::size_t>(k)];
    }
    if (total == 0 && size != 0) return;

    // P0: the segment's size one generation earlier. Where it was empty, or
    // too small to hold all lineages, every lineage must be an immigrant.
    const std::int32_t previous = g > 0 ? sizes_.at(g - 1) : 0;
    std::int32_t remaining = size;  // R: gene copies not yet assigned a parent
    std::int32_t i = 0;
    bool checkedForDeadlock = false;
    while (i < nLineages) {
        const bool mustLeave = previous == 0 || nLineages > previous;
        const std::int32_t x = static_cast<std::int32_t>(rng.uniform() * (mustLeave ? total : remaining));
        if (x >= total) {  // a resident: the lineage stays
            ++i;
            continue;
        }
        // The neighbour whose share of the immigrants holds x; a neighbour
        // that was empty one generation earlier cannot be the source, and the
        // next one in order takes its place.
        std::int32_t sum = 0;
        std::int32_t target = -1;
        for (std::int32_t k = 0; k < nb; ++k) {
            sum += m[static_cast<std::size_t>(k)];
            if (x < sum && neighbourSizes_[static_cast<std::size_t>(k)].at(g - 1) != 0) {
                target = k;
                break;
            }
        }
        if (target >= 0) {
            moveLineage(i, *here.neighbours[static_cast<std::size_t>(target)], slotOfDeme, g);
            --m[static_cast<std::size_t>(target)];
            --remaining;
            --total;
            checkedForDeadlock = false;
            continue;  // position i now holds another lineage
        }
        // No eligible neighbour: the lineage is drawn again. Only a history
        // in which immigrants came from segments that were empty makes this
        // happen; make sure another draw can end it at all (stay or move),
        // else the remaining lineages stay here.
        if (!checkedForDeadlock) {
            checkedForDeadlock = true;
            const std::int32_t range = mustLeave ? total : remaining;
            const std::int32_t lowest = range < 0 ? range + 1 : 0;
            const std::int32_t highest = range > 0 ? range - 1 : 0;
            std::int32_t reachable = INT_MIN;  // x below it finds an eligible neighbour
            std::int32_t s = 0;
            for (std::int32_t k = 0; k < nb; ++k) {
                s += m[static_cast<std::size_t>(k)];
                if (neighbourSizes_[static_cast<std::size_t>(k)].at(g - 1) != 0) reachable = std::max(reachable, s);
            }
            const bool canStay = highest >= total;
            const bool canMove = lowest < std::min(total, reachable);
            if (!canStay && !canMove) break;
        }
    }

    if (previous == 0 && nLineages > 0) redistributeLineages(slotOfDeme, g, rng);
}

void Deme::redistributeLineages(std::int32_t slotOfDeme, std::int32_t g, Rng& rng) {
    Segment& here = *segment;
    std::cout << "\n\tWARNING: Segment " << here.id << " Gen " << g << " -> Redistribution of " << nLineages
              << " lineages in neighbouring cells!" << std::flush;

    // e[k]: neighbours among 0..k that held individuals one generation
    // earlier; a uniform x < H picks the first k with x < e[k].
    const std::int32_t nb = static_cast<std::int32_t>(neighbourSizes_.size());
    std::vector<std::int32_t>& e = collection->scratch_;
    e.resize(static_cast<std::size_t>(nb));
    std::int32_t filled = 0;
    for (std::int32_t k = 0; k < nb; ++k) {
        const SeriesView& sizes = neighbourSizes_[static_cast<std::size_t>(k)];
        const std::int32_t before = g > 0 ? sizes.at(g - 1) : sizes.at(0);
        if (before > 0) ++filled;
        e[static_cast<std::size_t>(k)] = filled;
    }
    if (filled == 0) {
        // No ancestor can be found for these lineages: they stay in the deme
        // (prisoners) and go on taking part from here.
        std::cout << "\n\tERROR[TDeme::implementMigration]: Lineages are prisonner in Segment " << here.id << " ("
                  << slotOfDeme << "), at generation " << g << std::flush;
        return;
    }
    while (nLineages > 0) {
        const std::int32_t x = static_cast<std::int32_t>(rng.uniform() * filled);
        std::int32_t k = 0;
        while (k < nb - 1 && !(x < e[static_cast<std::size_t>(k)])) ++k;
        moveLineage(0, *here.neighbours[static_cast<std::size_t>(k)], slotOfDeme, g);
    }
}

void Deme::implementMultiOriginMigration(std::int32_t g, float rate, std::int32_t listIndex, Rng& rng) {
    // The stored history plays no part before generation 0; g only places the
    // lineages that move.
    std::vector<Deme*>& active = collection->active;
    const std::int32_t count = static_cast<std::int32_t>(active.size());
    std::int32_t i = 0;
    while (i < nLineages) {
        const float u = static_cast<float>(rng.uniform());
        if (u < rate) {
            std::int32_t x = static_cast<std::int32_t>(rng.uniform() * count);
            int redraws = 0;
            while (x == listIndex) {
                if (redraws == 999) {
                    rng.uniform();
                    std::cout << "WARNING:{TDeme::implementMultiOriginMigration}:[Impossible to find 2 different "
                                 "demes!, security number reached]"
                              << std::endl;
                    return;
                }
                x = static_cast<std::int32_t>(rng.uniform() * count);
                ++redraws;
            }
            Deme& target = *active[static_cast<std::size_t>(x)];
            moveLineage(i, *target.segment, target.slot, g);
        }
        // After a move, the lineage that took position i waits for the next
        // generation.
        ++i;
    }
}

void Deme::moveLineage(std::int32_t i, Segment& target, std::int32_t slotOfTarget, std::int32_t g) {
    (void)slotOfTarget;  // every segment has the one slot 0
    TreeNode* lineage = lineages[static_cast<std::size_t>(i)];
    --nLineages;
    lineages[static_cast<std::size_t>(i)] = lineages[static_cast<std::size_t>(nLineages)];
    lineages[static_cast<std::size_t>(nLineages)] = nullptr;
    collection->demeOf(target, g).addIncoming(lineage, g);
}

void Deme::moveAllLineages(Segment& target, std::int32_t slotOfTarget, std::int32_t g) {
    // Only the deme's own lineages move; lineages that arrived this
    // generation follow when they have been merged.
    while (nLineages > 0) moveLineage(0, target, slotOfTarget, g);
}

void Deme::addIncoming(TreeNode* lineage, std::int32_t g) {
    if (nLineages == 0 && nIncoming == 0) collection->newDemes.push_back(this);
    if (size == 0 || sizes_.at(g - 1) == 0) std::cout << "\n\tWARNING: deme size is zero!" << std::endl;
    if (nIncoming >= static_cast<std::int32_t>(incoming.size()))
        throw SimulationError(Text("addIncoming(): more lineages than sampled genes in segment ") + segment->id + "!",
                              levelError);
    incoming[static_cast<std::size_t>(nIncoming)] = lineage;
    ++nIncoming;
}

void Deme::mergeIncoming() {
    if (nLineages + nIncoming > static_cast<std::int32_t>(lineages.size()))
        throw SimulationError(Text("mergeIncoming(): more lineages than sampled genes in segment ") + segment->id + "!",
                              levelError);
    for (std::int32_t j = 0; j < nIncoming; ++j) {
        lineages[static_cast<std::size_t>(nLineages)] = incoming[static_cast<std::size_t>(j)];
        ++nLineages;
    }
    nIncoming = 0;
}

}  // namespace fluviagen

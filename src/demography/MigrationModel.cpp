#include "demography/MigrationModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "random/Rng.h"
#include "demography/StateDB.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "settings/Settings.h"

namespace fluviagen {

float emigrationShare(const Settings& settings, std::int32_t n, std::int32_t K) {
    const double col = settings.migrCol;
    const double occ = settings.migrOcc;
    return static_cast<float>(col - (col - occ) / (1000.0 * std::exp(-13.8155 * n / K) + 1.0));
}

namespace {

SimulationError unknownModel() {
    return SimulationError(Text("runMigrationModel(): unknown demographic model!"), levelFatal);
}

SimulationError databaseMismatch() {
    return SimulationError(Text("runMigrationModel(): the demographic database does not fit the drainage "
                                "(it was built for other segments or neighbour lists)!"),
                           levelFatal);
}

constexpr std::uint32_t bitsPerWord = 64;

// Truncation toward zero of a float, as std::trunc. Without SSE4.1 (not
// assumed: the build targets plain x86-64) std::trunc is a library call; a
// float below 2^23 in magnitude converts through int exactly, and one above
// is integral already.
inline float truncated(float y) {
    if (std::fabs(y) < 8388608.0f) return static_cast<float>(static_cast<std::int32_t>(y));
    return std::trunc(y);
}

}  // namespace

MigrationPlan::MigrationPlan(Drainage& drainage, SegmentStates& states_, StateDB* database, const Settings& settings_,
                             Rng& rng_, bool staged_)
    : settings(settings_),
      states(states_),
      rng(rng_),
      growthRate(settings_.growthRate),
      upstream(settings_.upstreamMigrationRatio),
      downstream(1.0f / settings_.upstreamMigrationRatio) {
    ordered.reserve(drainage.segments.size());
    hot.reserve(drainage.segments.size());
    std::unordered_map<const Segment*, std::uint32_t> indexOf;
    indexOf.reserve(drainage.segments.size());
    if (states.size() != drainage.segments.size()) throw databaseMismatch();
    for (auto& [id, segment] : drainage.segments) {
        if (segment->index != static_cast<std::int32_t>(ordered.size())) throw databaseMismatch();
        indexOf.emplace(segment.get(), static_cast<std::uint32_t>(ordered.size()));
        ordered.push_back(segment.get());
        const State& s = states[ordered.size() - 1];
        hot.push_back(
            {s.N, s.K, s.BilanMigr, static_cast<std::uint8_t>(segment->accessible ? 1 : 0), s.growthRemainder});
    }
    const std::size_t n = ordered.size();
    const bool hasDatabase = database != nullptr;
    if (hasDatabase && (database->count != static_cast<std::int32_t>(n) || database->histories.size() != n))
        throw databaseMismatch();

    // Series slots: per segment its size series, then its immigrant series.
    sizeSlot.assign(n, noSlot);
    if (hasDatabase) {
        history = HistoryStaging(*database, staged_);
        if (!history.complete()) throw databaseMismatch();
        for (std::size_t i = 0; i < n; ++i) {
            if (database->history(static_cast<std::int32_t>(i)).immigrants.size() != ordered[i]->neighbours.size())
                throw databaseMismatch();
            sizeSlot[i] = history.sizeSlot(static_cast<std::uint32_t>(i));
        }
    }

    firstLink.reserve(n + 1);
    std::size_t widest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Segment& S = *ordered[i];
        firstLink.push_back(static_cast<std::uint32_t>(links.size()));
        widest = std::max(widest, S.neighbours.size());
        for (std::size_t k = 0; k < S.neighbours.size(); ++k) {
            const auto found = indexOf.find(S.neighbours[k]);
            if (found == indexOf.end()) throw databaseMismatch();
            const std::int32_t kind = k < S.neighbourKinds.size() ? S.neighbourKinds[k] : 0;
            float direction = 1.0f;
            if (kind == kindSharesFromNode || kind == kindFlowsOut) direction = downstream;
            if (kind == kindFlowsIn || kind == kindSharesToNode) direction = upstream;
            std::uint32_t slot = noSlot;
            if (hasDatabase) {
                const std::int32_t reverse = k < S.reversePositions.size() ? S.reversePositions[k] : -1;
                const Segment& neighbour = *S.neighbours[k];
                if (reverse < 0 ||
                    static_cast<std::size_t>(reverse) >= database->history(neighbour.index).immigrants.size())
                    throw databaseMismatch();
                slot = history.immigrantSlot(found->second, static_cast<std::uint32_t>(reverse));
            }
            bool repeated = false;
            for (std::size_t j = firstLink.back(); j < links.size(); ++j)
                repeated = repeated || (slot != noSlot && links[j].slot == slot);
            links.push_back({found->second, direction, slot, repeated});
        }
        repeatedLinks.push_back(0);
        for (std::size_t j = firstLink.back(); j < links.size(); ++j) repeatedLinks.back() |= links[j].repeated ? 1 : 0;
    }
    firstLink.push_back(static_cast<std::uint32_t>(links.size()));
    weights.resize(widest);
    counts.resize(widest);
    const std::size_t words = (n + bitsPerWord - 1) / bitsPerWord;
    occupied.assign(words, 0);
    touched.assign(words, 0);
    shareK = settings.carryingCapacity;
    growthRateOverK = growthRate / static_cast<float>(shareK);
    if (shareK > 0) shareTable.assign(32768, std::numeric_limits<float>::quiet_NaN());
}

std::int32_t MigrationPlan::checkedGeneration(std::int32_t t) const {
    if (history.slots() != 0 && (t < 0 || t >= history.generations()))
        throw SimulationError(Text("runMigrationModel(): generation ") + t +
                                  " lies outside the demographic database (generations 0 to " +
                                  (history.generations() - 1) + ")!",
                              levelFatal);
    return t;
}

float MigrationPlan::share(std::int16_t n, std::int16_t K) {
    if (K == shareK && n >= 0 && !shareTable.empty()) {
        float& m = shareTable[static_cast<std::size_t>(n)];
        if (std::isnan(m)) m = emigrationShare(settings, n, K);
        return m;
    }
    return emigrationShare(settings, n, K);
}

void MigrationPlan::markTouched(std::uint32_t index) {
    touched[index / bitsPerWord] |= std::uint64_t{1} << (index % bitsPerWord);
}

template <bool randomCounts, bool randomSplit>
void MigrationPlan::segmentStep(std::uint32_t index) {
    Hot& s = hot[index];
    Segment& S = *ordered[index];
    const std::uint32_t begin = firstLink[index];
    const std::uint32_t width = firstLink[index + 1] - begin;
    const Link* link = links.data() + begin;
    const std::int32_t t = generation;

    // A step that sends no one records zeros. Staged, nothing else has
    // written these entries in this generation, so they are zeros already.
    auto recordNothing = [&] {
        if (!history.staged())
            for (std::uint32_t k = 0; k < width; ++k) record(link[k].slot, t, 0);
    };

    if (s.K <= 0 || s.open == 0) {
        if (s.open == 0) s.N = 0;
        recordNothing();
        return;
    }

    // Beverton-Holt growth in single precision; the fraction of an individual
    // is carried to the next generation so that slow growth still adds up.
    std::int16_t n = 0;
    if (s.N >= 1) {
        const float x = static_cast<float>(s.N) + s.remainder;
        const float rOverK = s.K == shareK ? growthRateOverK : growthRate / static_cast<float>(s.K);
        const float y = (growthRate + 1.0f) * x / (x * rOverK + 1.0f);
        s.remainder = y - truncated(y);
        n = saturate16(y, S, "the grown size", t);
        if constexpr (randomCounts) n = saturate16(rng.poissonDeviate(static_cast<float>(n)), S, "the grown size", t);
    }
    s.N = n;

    std::int16_t e = saturate16(static_cast<float>(n) * share(n, s.K), S, "the emigrant count", t);
    if constexpr (randomCounts) e = saturate16(rng.poissonDeviate(static_cast<float>(e)), S, "the emigrant count", t);
    if (e <= 0) {
        recordNothing();
        return;
    }

    // Weights: direction factor over the neighbour's filling (N + 1) / (K + 1),
    // so an empty neighbour draws K + 1 times more than a full one.
    float W = 0.0f;
    for (std::uint32_t k = 0; k < width; ++k) {
        const Hot& target = hot[link[k].index];
        float w = 0.0f;
        if (target.open != 0) {
            const float filling = static_cast<float>(target.N + 1) / static_cast<float>(target.K + 1);
            w = link[k].direction / filling;
        }
        weights[k] = w;
        W += w;
    }

    std::int32_t sent = 0;
    if constexpr (randomSplit) {
        // Multinomial split as a chain of binomials: neighbour k takes each of
        // the emigrants still left with probability p_k / (1 - p_0 - ... - p_k-1).
        std::int32_t left = e;
        float used = 0.0f;
        for (std::uint32_t k = 0; k < width; ++k) {
            const float p = weights[k] / W;  // W = 0: NaN, no neighbour takes any
            std::int32_t c = 0;
            if (p > 0.0f) {
                const float q = p / (1.0f - used);
                used = used + p;
                c = saturate16(rng.binomialDeviate(q, left), S, "a binomial emigrant count", t);
                left -= c;
            }
            counts[k] = c;
            sent += c;
        }
    } else {
        const float emigrants = static_cast<float>(e);
        for (std::uint32_t k = 0; k < width; ++k) {
            const float p = weights[k] / W;
            std::int32_t c = 0;
            if (p > 0.0f)
                c = saturate16(truncated(p * emigrants), S, "an emigrant count", t);  // floor of a positive value
            counts[k] = c;
            sent += c;
        }
    }

    // Booking: emigrants change only the balances; the sizes follow after the
    // whole pass. Individuals the split leaves over stay at home.
    // (A neighbour that got no one is marked as well: that only costs it a
    // visit when the balances are added.)
    s.BilanMigr = saturate16(std::int32_t{s.BilanMigr} - sent, S, "the migration balance BilanMigr", t);
    moved += sent;
    markTouched(index);
    for (std::uint32_t k = 0; k < width; ++k) {
        Hot& target = hot[link[k].index];
        target.BilanMigr = saturate16(std::int32_t{target.BilanMigr} + counts[k], *ordered[link[k].index],
                                      "the migration balance BilanMigr", t);
        markTouched(link[k].index);
    }
    if (repeatedLinks[index] != 0) {
        recordRepeatedNeighbours(index, t);
        return;
    }
    for (std::uint32_t k = 0; k < width; ++k) record(link[k].slot, t, static_cast<std::int16_t>(counts[k]));
}

// A neighbour can stand twice in a segment's list: two channels joining the
// same pair of nodes (a braided reach), or a segment whose ends meet. Both
// entries lead back to the first place the segment holds in that neighbour's
// list, so the record there is the sum of the two counts: every migrant stays
// in the history the coalescent reads.
void MigrationPlan::recordRepeatedNeighbours(std::uint32_t index, std::int32_t t) {
    const std::uint32_t begin = firstLink[index];
    const std::uint32_t width = firstLink[index + 1] - begin;
    const Link* link = links.data() + begin;
    for (std::uint32_t k = 0; k < width; ++k) {
        if (link[k].repeated) continue;
        std::int32_t total = counts[k];
        for (std::uint32_t j = k + 1; j < width; ++j)
            if (link[j].slot == link[k].slot) total += counts[j];
        record(link[k].slot, t, saturate16(total, *ordered[index], "an immigrant record", t));
    }
}

void MigrationPlan::refreshOccupancy() {
    std::fill(occupied.begin(), occupied.end(), std::uint64_t{0});
    for (std::uint32_t i = 0; i < hot.size(); ++i)
        if (hot[i].N > 0) occupied[i / bitsPerWord] |= std::uint64_t{1} << (i % bitsPerWord);
}

void MigrationPlan::refreshAccessible() {
    for (std::size_t i = 0; i < ordered.size(); ++i) hot[i].open = ordered[i]->accessible ? 1 : 0;
    ++accessibleRefreshes_;
}

template <bool randomCounts, bool randomSplit>
void MigrationPlan::runPass() {
    // A segment's N changes only in its own step, so the segments holding
    // individuals when reached are those holding some at the start.
    for (std::size_t w = 0; w < occupied.size(); ++w) {
        std::uint64_t bits = occupied[w];
        while (bits != 0) {
            const std::uint32_t i = static_cast<std::uint32_t>(w * bitsPerWord) + std::countr_zero(bits);
            bits &= bits - 1;
            segmentStep<randomCounts, randomSplit>(i);
        }
    }
}

void MigrationPlan::dispatchPass(std::int32_t model) {
    switch (model) {
        case 1:
            runPass<false, false>();
            break;
        case 2:
            runPass<true, false>();
            break;
        case 3:
            runPass<false, true>();
            break;
        case 4:
            runPass<true, true>();
            break;
        default:
            throw unknownModel();
    }
}

void MigrationPlan::runMigrationModel(std::int32_t model, std::int32_t t) {
    if (model < 1 || model > 4) throw unknownModel();
    generation = checkedGeneration(t);
    if (fresh) refreshOccupancy();
    dispatchPass(model);
}

void MigrationPlan::clearBalances() {
    if (fresh) {
        for (Hot& h : hot) h.BilanMigr = 0;
    } else {
        for (std::size_t w = 0; w < touched.size(); ++w)
            for (std::uint64_t bits = touched[w]; bits != 0; bits &= bits - 1)
                hot[w * bitsPerWord + static_cast<std::size_t>(std::countr_zero(bits))].BilanMigr = 0;
    }
    std::fill(touched.begin(), touched.end(), std::uint64_t{0});
}

void MigrationPlan::addBalances(bool all) {
    // Segments neither occupied nor touched hold N = 0 and BilanMigr = 0:
    // the sum leaves them at 0 and their size entry is 0 already.
    const std::int32_t t = generation;
    for (std::size_t w = 0; w < occupied.size(); ++w) {
        std::uint64_t bits = all ? ~std::uint64_t{0} : (occupied[w] | touched[w]);
        if (all && (w + 1) * bitsPerWord > hot.size()) bits >>= (w + 1) * bitsPerWord - hot.size();
        std::uint64_t stillOccupied = 0;
        while (bits != 0) {
            const unsigned b = static_cast<unsigned>(std::countr_zero(bits));
            bits &= bits - 1;
            const std::uint32_t i = static_cast<std::uint32_t>(w * bitsPerWord) + b;
            Hot& h = hot[i];
            const std::int32_t sum = std::int32_t{h.N} + std::int32_t{h.BilanMigr};
            if (sum >= 0 && sum <= 32767)
                h.N = static_cast<std::int16_t>(sum);
            else
                addBalance(h.N, h.BilanMigr, *ordered[i], t);  // reports and corrects
            if (h.N > 0) stillOccupied |= std::uint64_t{1} << b;
            record(sizeSlot[i], t, h.N);
        }
        occupied[w] = stillOccupied;
    }
}

void MigrationPlan::iterate(std::int32_t model, std::int32_t t) {
    generation = checkedGeneration(t);
    history.beginGeneration(t);
    if (fresh) refreshOccupancy();
    clearBalances();
    moved = 0;
    dispatchPass(model);
    // The first generation visits every segment, as the loop over all
    // segments does, and so settles the invariant used from then on.
    addBalances(fresh);
    fresh = false;
}

void MigrationPlan::finish() {
    history.flush();
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        State& s = states[i];
        s.N = hot[i].N;
        s.K = hot[i].K;
        s.BilanMigr = hot[i].BilanMigr;
        s.growthRemainder = hot[i].remainder;
    }
}

void runMigrationModel(Drainage& drainage, SegmentStates& states, StateDB* database, const Settings& settings,
                       std::int32_t model, std::int32_t t, Rng& rng) {
    if (model < 1 || model > 4) throw unknownModel();
    MigrationPlan plan(drainage, states, database, settings, rng, false);
    plan.runMigrationModel(model, t);
    plan.finish();
}

std::size_t MigrationPlan::occupiedSegments() const {
    std::size_t count = 0;
    for (const Hot& h : hot) count += h.N > 0 ? 1 : 0;
    return count;
}

}  // namespace fluviagen

#include "demography/MigrationModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "coalescent/Random.h"
#include "demography/Generation.h"
#include "demography/StateDB.h"
#include "drainage/SegmentVector.h"
#include "run/Exception.h"
#include "run/Settings.h"

float emigrationShare(const TSettings& settings, std::int32_t n, std::int32_t K) {
    const double col = settings.migrCol;
    const double occ = settings.migrOcc;
    return static_cast<float>(col - (col - occ) / (1000.0 * std::exp(-13.8155 * n / K) + 1.0));
}

namespace {

TException unknownModel() {
    return TException(my_string("runMigrationModel(): unknown demographic model!"), levelFatal);
}

TException databaseMismatch() {
    return TException(my_string("runMigrationModel(): the demographic database does not fit the drainage "
                                "(it was built for other segments or neighbour lists)!"),
                      levelFatal);
}

constexpr std::uint32_t bitsPerWord = 64;

}  // namespace

MigrationPlan::MigrationPlan(TSegmentVector& drainage, const TSettings& settings_, bool writeAllCounts)
    : settings(settings_),
      growthRate(settings_.growthRate),
      upstream(settings_.upstreamMigrationRatio),
      downstream(1.0f / settings_.upstreamMigrationRatio) {
    ordered.reserve(drainage.segments.size());
    std::unordered_map<const TSegment*, std::uint32_t> indexOf;
    indexOf.reserve(drainage.segments.size());
    for (auto& [id, segment] : drainage.segments) {
        indexOf.emplace(segment.get(), static_cast<std::uint32_t>(ordered.size()));
        ordered.push_back(segment.get());
    }
    const std::size_t n = ordered.size();
    std::size_t withHistory = 0;
    for (const TSegment* segment : ordered)
        if (segment->history != nullptr) ++withHistory;
    hasDatabase = withHistory > 0;
    if (hasDatabase && withHistory != n) throw databaseMismatch();

    seriesLength = std::numeric_limits<std::int32_t>::max();
    firstLink.reserve(n + 1);
    sizeSeries.reserve(n);
    writeZeros.assign(n, writeAllCounts ? 1 : 0);
    std::size_t widest = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        TSegment& S = *ordered[i];
        firstLink.push_back(static_cast<std::uint32_t>(links.size()));
        widest = std::max(widest, S.neighbours.size());
        if (hasDatabase) {
            StatesOfCell& history = *S.history;
            if (history.immigrants.size() != S.neighbours.size() || history.sizes.entries.empty())
                throw databaseMismatch();
            seriesLength = std::min(seriesLength, history.sizes.count());
            for (const TimeStoFull& series : history.immigrants) seriesLength = std::min(seriesLength, series.count());
            sizeSeries.push_back(history.sizes.entries.data());
        } else {
            sizeSeries.push_back(nullptr);
        }
        for (std::size_t k = 0; k < S.neighbours.size(); ++k) {
            TSegment* neighbour = S.neighbours[k];
            const auto found = indexOf.find(neighbour);
            if (found == indexOf.end()) throw databaseMismatch();
            const std::int32_t kind = k < S.neighbourKinds.size() ? S.neighbourKinds[k] : 0;
            float direction = 1.0f;
            if (kind == kindSharesFromNode || kind == kindFlowsOut) direction = downstream;
            if (kind == kindFlowsIn || kind == kindSharesToNode) direction = upstream;
            std::int16_t* slot = nullptr;
            if (hasDatabase) {
                const std::int32_t reverse = k < S.reversePositions.size() ? S.reversePositions[k] : -1;
                if (reverse < 0 || static_cast<std::size_t>(reverse) >= neighbour->history->immigrants.size())
                    throw databaseMismatch();
                slot = neighbour->history->immigrants[static_cast<std::size_t>(reverse)].entries.data();
            }
            links.push_back({neighbour, found->second, direction, slot});
            // A neighbour listed twice (a loop segment, two parallel segments)
            // makes two writes into one slot, the later one winning: such a
            // segment records its zeros too.
            for (std::size_t m = 0; m < k; ++m)
                if (S.neighbours[m] == neighbour) writeZeros[i] = 1;
        }
    }
    firstLink.push_back(static_cast<std::uint32_t>(links.size()));
    if (!hasDatabase) seriesLength = 0;
    weights.resize(widest);
    counts.resize(widest);
    const std::size_t words = (n + bitsPerWord - 1) / bitsPerWord;
    occupied.assign(words, 0);
    touched.assign(words, 0);
    shareK = settings.carryingCapacity;
    if (shareK > 0) shareTable.assign(32768, std::numeric_limits<float>::quiet_NaN());
}

std::int32_t MigrationPlan::checkedGeneration() const {
    const std::int32_t t = currentGeneration;
    if (hasDatabase && (t < 0 || t >= seriesLength))
        throw TException(my_string("runMigrationModel(): generation ") + t +
                             " lies outside the demographic database (generations 0 to " + (seriesLength - 1) + ")!",
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
    std::uint64_t& word = touched[index / bitsPerWord];
    const std::uint64_t bit = std::uint64_t{1} << (index % bitsPerWord);
    if ((word & bit) == 0) {
        word |= bit;
        touchedList.push_back(index);
    }
}

template <bool randomCounts, bool randomSplit>
void MigrationPlan::segmentStep(std::uint32_t index) {
    TSegment& S = *ordered[index];
    State& s = S.state;
    const std::uint32_t begin = firstLink[index];
    const std::uint32_t end = firstLink[index + 1];
    const std::int32_t t = currentGeneration;
    const bool recordZeros = writeZeros[index] != 0;

    auto recordNothing = [&] {
        if (recordZeros)
            for (std::uint32_t l = begin; l < end; ++l)
                if (links[l].immigrants != nullptr) links[l].immigrants[t] = 0;
    };

    if (s.K <= 0 || !S.accessible) {
        if (!S.accessible) s.N = 0;
        recordNothing();
        return;
    }

    // Beverton-Holt growth in single precision; the fraction of an individual
    // is carried to the next generation so that slow growth still adds up.
    std::int16_t n = 0;
    if (s.N >= 1) {
        const float x = static_cast<float>(s.N) + s.growthRemainder;
        const float y = (growthRate + 1.0f) * x / (x * (growthRate / static_cast<float>(s.K)) + 1.0f);
        s.growthRemainder = y - std::trunc(y);
        n = saturate16(y, S, "the grown size");
        if constexpr (randomCounts) n = saturate16(poissonDeviate(static_cast<float>(n)), S, "the grown size");
    }
    s.N = n;

    std::int16_t e = saturate16(static_cast<float>(n) * share(n, s.K), S, "the emigrant count");
    if constexpr (randomCounts) e = saturate16(poissonDeviate(static_cast<float>(e)), S, "the emigrant count");
    if (e <= 0) {
        recordNothing();
        return;
    }

    // Weights: direction factor over the neighbour's filling (N + 1) / (K + 1),
    // so an empty neighbour draws K + 1 times more than a full one.
    const std::uint32_t width = end - begin;
    float W = 0.0f;
    for (std::uint32_t k = 0; k < width; ++k) {
        const Link& link = links[begin + k];
        const TSegment& target = *link.neighbour;
        float w = 0.0f;
        if (target.accessible) {
            const float filling = static_cast<float>(target.state.N + 1) / static_cast<float>(target.state.K + 1);
            w = link.direction / filling;
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
                c = saturate16(binomialDeviate(q, left), S, "a binomial emigrant count");
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
            if (p > 0.0f) c = saturate16(std::floor(p * emigrants), S, "an emigrant count");
            counts[k] = c;
            sent += c;
        }
    }

    // Booking: emigrants change only the balances; the sizes follow after the
    // whole pass. Individuals the split leaves over stay at home.
    if (sent != 0) {
        s.BilanMigr = saturate16(std::int32_t{s.BilanMigr} - sent, S, "the migration balance BilanMigr");
        markTouched(index);
    }
    for (std::uint32_t k = 0; k < width; ++k) {
        const std::int32_t c = counts[k];
        if (c == 0) continue;
        const Link& link = links[begin + k];
        State& target = link.neighbour->state;
        target.BilanMigr = saturate16(std::int32_t{target.BilanMigr} + c, *link.neighbour,
                                      "the migration balance BilanMigr");
        markTouched(link.index);
    }
    for (std::uint32_t k = 0; k < width; ++k) {
        const Link& link = links[begin + k];
        if (link.immigrants != nullptr && (counts[k] != 0 || recordZeros))
            link.immigrants[t] = static_cast<std::int16_t>(counts[k]);
    }
}

void MigrationPlan::refreshOccupancy() {
    std::fill(occupied.begin(), occupied.end(), std::uint64_t{0});
    for (std::uint32_t i = 0; i < ordered.size(); ++i)
        if (ordered[i]->state.N > 0) occupied[i / bitsPerWord] |= std::uint64_t{1} << (i % bitsPerWord);
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

void MigrationPlan::runMigrationModel(std::int32_t model) {
    if (model < 1 || model > 4) throw unknownModel();
    checkedGeneration();
    if (fresh) refreshOccupancy();
    switch (model) {
        case 1: runPass<false, false>(); break;
        case 2: runPass<true, false>(); break;
        case 3: runPass<false, true>(); break;
        default: runPass<true, true>(); break;
    }
}

void MigrationPlan::clearBalances() {
    if (fresh) {
        for (TSegment* segment : ordered) segment->state.BilanMigr = 0;
    } else {
        for (const std::uint32_t i : touchedList) ordered[i]->state.BilanMigr = 0;
    }
    std::fill(touched.begin(), touched.end(), std::uint64_t{0});
    touchedList.clear();
}

void MigrationPlan::addBalances() {
    // Segments neither occupied nor touched hold N = 0 and BilanMigr = 0:
    // the sum leaves them at 0 and their size entry is 0 already.
    const std::int32_t t = currentGeneration;
    for (std::size_t w = 0; w < occupied.size(); ++w) {
        std::uint64_t bits = occupied[w] | touched[w];
        std::uint64_t stillOccupied = 0;
        while (bits != 0) {
            const unsigned b = static_cast<unsigned>(std::countr_zero(bits));
            bits &= bits - 1;
            const std::uint32_t i = static_cast<std::uint32_t>(w * bitsPerWord) + b;
            TSegment& S = *ordered[i];
            add_BilanMigr_to_N(S.state, S);
            if (S.state.N > 0) stillOccupied |= std::uint64_t{1} << b;
            if (sizeSeries[i] != nullptr && (S.state.N != 0 || writeZeros[i] != 0)) sizeSeries[i][t] = S.state.N;
        }
        occupied[w] = stillOccupied;
    }
}

void MigrationPlan::iterate(std::int32_t model) {
    checkedGeneration();
    if (fresh) refreshOccupancy();
    clearBalances();
    runMigrationModel(model);
    if (fresh) {
        // The first generation visits every segment, as the loop over all
        // segments would, and so settles the invariant used from then on.
        const std::int32_t t = currentGeneration;
        for (std::uint32_t i = 0; i < ordered.size(); ++i) {
            TSegment& S = *ordered[i];
            add_BilanMigr_to_N(S.state, S);
            if (sizeSeries[i] != nullptr) sizeSeries[i][t] = S.state.N;
        }
        refreshOccupancy();
        fresh = false;
        return;
    }
    addBalances();
}

void runMigrationModel(TSegmentVector& drainage, std::int32_t model) {
    if (model < 1 || model > 4) throw unknownModel();
    MigrationPlan plan(drainage, *drainage.settings, true);
    plan.runMigrationModel(model);
}

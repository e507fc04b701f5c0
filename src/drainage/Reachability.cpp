#include "drainage/Reachability.h"

#include <deque>
#include <limits>
#include <map>

#include "drainage/Dynamic.h"
#include "drainage/Population.h"
#include "drainage/Segment.h"
#include "drainage/Drainage.h"
#include "common/SettingLines.h"

namespace fluviagen {

namespace {

struct OpenState {
    bool ever = false;   // open in some generation 1 .. G
    bool atEnd = false;  // open at generation G
};

// The open states of the segments the maps name (by the segment as read),
// replaying the maps as the demography applies them: those up to generation
// 1 before the first generation, each later one from its generation on.
std::map<const Segment*, OpenState> replayMaps(const Drainage& asRead, const DynamicMaps& maps,
                                               std::int32_t generations) {
    std::map<const Segment*, OpenState> states;
    std::map<const Segment*, bool> now;
    const auto stateOf = [&](const Segment* s) -> bool {
        const auto found = now.find(s);
        return found != now.end() ? found->second : s->accessible;
    };
    if (generations < 1) return states;
    std::size_t next = 0;
    for (; next < maps.maps.size() && maps.maps[next].generation <= 1; ++next)
        for (const std::int32_t id : maps.maps[next].segmentIds)
            if (const Segment* s = asRead.find(id)) now[s] = maps.maps[next].value;
    for (const auto& [s, open] : now) states[s] = {open, open};
    for (; next < maps.maps.size() && maps.maps[next].generation <= generations; ++next)
        for (const std::int32_t id : maps.maps[next].segmentIds)
            if (const Segment* s = asRead.find(id)) {
                OpenState& state = states.try_emplace(s, OpenState{stateOf(s), stateOf(s)}).first->second;
                now[s] = maps.maps[next].value;
                state.ever = state.ever || maps.maps[next].value;
                state.atEnd = maps.maps[next].value;
            }
    return states;
}

}  // namespace

std::vector<UnreachableSample> samplesNeverReached(const ReachQuestion& q) {
    const Drainage& drainage = q.inUse;
    const Drainage& asRead = q.asRead != nullptr ? *q.asRead : drainage;
    const std::map<const Segment*, OpenState> mapped =
        q.maps != nullptr ? replayMaps(asRead, *q.maps, q.generations) : std::map<const Segment*, OpenState>{};
    const auto openState = [&](const Segment& s) {
        const Segment* origin = q.asRead != nullptr && s.originSegment != nullptr ? s.originSegment : &s;
        const auto found = mapped.find(origin);
        if (found != mapped.end()) return found->second;
        const bool open = s.accessible || origin->accessible;
        return OpenState{open, open};
    };

    // Segments from the sources outward through segments open at some time,
    // one step per generation.
    constexpr std::int64_t far = std::numeric_limits<std::int64_t>::max();
    std::map<const Segment*, std::int64_t> distance;
    std::deque<const Segment*> queue;
    for (const auto& source : q.sources.populations)
        if (source->segment != nullptr && distance.emplace(source->segment, 0).second) queue.push_back(source->segment);
    while (!queue.empty()) {
        const Segment* s = queue.front();
        queue.pop_front();
        const std::int64_t d = distance[s];
        for (const Segment* n : s->neighbours) {
            if (n == nullptr || distance.count(n) != 0 || !openState(*n).ever) continue;
            distance[n] = d + 1;
            queue.push_back(n);
        }
    }
    const std::int64_t limit = !q.migrates ? 0 : q.initialSpread ? far : q.generations;

    std::vector<UnreachableSample> unreachable;
    for (const auto& sample : q.samples.populations) {
        if (sample->size <= 0 || sample->segment == nullptr) continue;
        const Segment& s = *sample->segment;
        const auto found = distance.find(&s);
        UnreachableSample why{sample->name.str(), s.id, ""};
        if (!openState(s).atEnd)
            why.why = "its segment is closed by the dynamic maps at the end of the run";
        else if (found == distance.end())
            why.why = "no river open at any time connects its segment to a source";
        else if (found->second > limit && !q.migrates)
            why.why =
                "no individual ever leaves the segments the sources fill (the migration rates of settings "
                "lines " +
                std::to_string(lineOf(Setting::migrationUncolonised)) + " and " +
                std::to_string(lineOf(Setting::migrationColonised)) + " are 0)";
        else if (found->second > limit)
            why.why =
                "its segment lies " + std::to_string(found->second) + (found->second == 1 ? " segment" : " segments") +
                " from the nearest source, but " + std::to_string(q.generations) + " generations (settings line " +
                std::to_string(lineOf(Setting::generations)) + ") let the population spread at most one segment each";
        else
            return {};
        unreachable.push_back(why);
    }
    return unreachable;
}

std::string neverReachedText(const std::vector<UnreachableSample>& samples, const std::string& sampleFile) {
    std::string text = "No sample of '" + sampleFile +
                       "' can ever receive genes, so every entire simulation would fail in the same way:";
    // Enough to see the pattern; a message stays readable.
    constexpr std::size_t shown = 20;
    for (std::size_t i = 0; i < samples.size() && i < shown; ++i)
        text += std::string(i == 0 ? " " : "; ") + "sample '" + samples[i].name + "' (segment " +
                std::to_string(samples[i].segmentId) + "): " + samples[i].why;
    if (samples.size() > shown) text += "; and " + std::to_string(samples.size() - shown) + " more samples";
    return text + "!";
}

std::string noGenesText(const PopulationVector& samples, const std::string& sampleFile) {
    if (samples.populations.empty()) return {};
    for (const auto& sample : samples.populations)
        if (sample->size > 0) return {};
    return "Every sample of '" + sampleFile + "' holds 0 gene copies: there are no genes to trace back, so every " +
           "entire simulation would fail in the same way!";
}

}  // namespace fluviagen

// Fuzzes the segment file reader, the neighbour lists built from it and the
// fixed-length resampling of the drainage read.
#include <cmath>

#include "FuzzSupport.h"
#include "drainage/Drainage.h"
#include "drainage/readers/DrainageFiles.h"

using namespace fluviagen;

namespace {

// The walk's cost grows with the river length over the target length; inputs
// that would cut millions of pieces are refused by the program itself, but
// are not worth fuzzing time below that limit.
bool smallEnoughToResample(const Drainage& drainage, float M) {
    double total = 0;
    for (const auto& [id, s] : drainage.segments)
        if (s->length > 0 && std::isfinite(s->length)) total += s->length;
    return total / M < 20000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    const std::string nodes = fuzz_support::writeFile("nodes.txt", fuzz_support::nodeFileText());
    const std::string path = fuzz_support::writeFile("segments.txt", data, size);
    std::unique_ptr<Drainage> read;
    try {
        read = readDrainage(Text(nodes), Text(path));
    } catch (const SimulationError& e) {
        if (!e.isFatal()) std::abort();
        return 0;
    }
    Drainage& drainage = *read;
    // Invariants the demography relies on: symmetric neighbour relations with
    // matching reverse positions.
    for (const auto& [id, s] : drainage.segments) {
        if (s->neighbourCount != static_cast<std::int32_t>(s->neighbours.size())) std::abort();
        for (std::size_t i = 0; i < s->neighbours.size(); ++i) {
            const Segment& n = *s->neighbours[i];
            const auto back = static_cast<std::size_t>(s->reversePositions[i]);
            if (back >= n.neighbours.size() || n.neighbours[back] != s.get()) std::abort();
        }
    }
    for (const float M : {500.0f, 2000.0f}) {
        if (drainage.size() == 0 || !smallEnoughToResample(drainage, M)) break;
        try {
            auto resampled = resampleToFixedLength(drainage, M);
            for (const auto& [id, s] : resampled->segments)
                if (s->originSegment == nullptr || s->fromNode == nullptr || s->toNode == nullptr) std::abort();
        } catch (const SimulationError& e) {
            if (!e.isFatal()) std::abort();
        }
    }
    return 0;
}

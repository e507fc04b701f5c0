// Fuzzes the population and sample file reader, in both roles, on a small
// drainage: id mode, coordinate mode with both placement rules, and the
// duplicate handling.
#include "FuzzSupport.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "drainage/readers/PopulationFile.h"

using namespace fluviagen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    // Read once; the readers only mark its segments.
    static const std::unique_ptr<Drainage> drainage = fuzz_support::readSmallDrainage();
    const std::string path = fuzz_support::writeFile("populations.txt", data, size);
    for (const bool isSampleFile : {false, true})
        for (const PlacementRule rule : {PlacementRule::nearest, PlacementRule::ratio}) {
            {
                PopulationVector set(drainage.get());
                try {
                    const int count = readPopulations(set, Text(path), isSampleFile, rule);
                    if (count < 0 || static_cast<std::size_t>(count) > set.populations.size()) std::abort();
                    // Every population read stands on a segment with a size that fits.
                    for (int i = 0; i < count; ++i) {
                        const PopulationSource& p = *set.populations[static_cast<std::size_t>(i)];
                        if (p.segment == nullptr || p.size < 0 || p.segmentId != p.segment->id) std::abort();
                    }
                } catch (const SimulationError& e) {
                    if (!e.isFatal()) std::abort();
                }
            }
            // The set is gone: no segment may still refer to one of its populations.
            for (const auto& [id, s] : drainage->segments)
                if (s->samplePopulation != nullptr || s->sourcePopulation != nullptr) std::abort();
        }
    return 0;
}

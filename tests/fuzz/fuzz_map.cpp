// Fuzzes the map file reader (name, value, segment ids) and applies the map
// to a drainage as read and to its resampled copy.
#include "FuzzSupport.h"
#include "drainage/Dynamic.h"
#include "drainage/Drainage.h"

using namespace fluviagen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    const auto full = fuzz_support::readSmallDrainage();
    const auto resampled = resampleToFixedLength(*full, 700.0f);
    fuzz_support::writeFile("map.txt", data, size);
    const std::string path = fuzz_support::writeFile("dynamic.txt", "10 map.txt\n5 map.txt // twice\n");
    try {
        const auto environment = readDynamicEnvironment(*full, Text(path), fuzz_support::scratchFolder());
        for (const DynamicMap& map : environment->maps) {
            for (std::size_t i = 1; i < map.segmentIds.size(); ++i)
                if (map.segmentIds[i - 1] >= map.segmentIds[i]) std::abort();  // ascending, no repeats
            applyMap(*full, resampled.get(), map);
            for (const auto& [id, s] : resampled->segments)
                if (s->accessible != s->originSegment->accessible) std::abort();
        }
    } catch (const SimulationError& e) {
        if (!e.isFatal()) std::abort();
    }
    return 0;
}

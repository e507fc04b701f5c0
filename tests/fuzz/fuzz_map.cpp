// Fuzzes the map file reader (name, value, segment ids) and applies the map
// to a drainage as read and to its resampled copy.
#include "FuzzSupport.h"
#include "demography/Dynamic.h"
#include "drainage/SegmentVector.h"
#include "settings/Settings.h"
#include "app/World.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    fuzz_support::resetGlobals();
    fuzz_support::writeFile("nodes.txt", fuzz_support::nodeFileText());
    fuzz_support::writeFile("segments.txt", fuzz_support::segmentFileText());
    fuzz_support::writeFile("map.txt", data, size);
    const std::string path = fuzz_support::writeFile("dynamic.txt", "10 map.txt\n5 map.txt // twice\n");
    TSettings settings;
    settings.nodeFile = my_string("nodes.txt");
    settings.segmentFile = my_string("segments.txt");
    World world(settings);
    world.fullDrainage = std::make_unique<TSegmentVector>(world.settings, &world);
    world.fullDrainage->build(true);
    world.drainage = resampleToFixedLength(*world.fullDrainage, 700.0f);
    try {
        const auto environment = readDynamicEnvironment(*world.fullDrainage, my_string(path));
        for (const TDynamic& map : environment->maps) {
            for (std::size_t i = 1; i < map.segmentIds.size(); ++i)
                if (map.segmentIds[i - 1] >= map.segmentIds[i]) std::abort();  // ascending, no repeats
            applyMap(world, map);
            for (const auto& [id, s] : world.drainage->segments)
                if (s->accessible != s->originSegment->accessible) std::abort();
        }
    } catch (const TException& e) {
        if (!e.isFatal()) std::abort();
    }
    return 0;
}

// Fuzzes the dynamic environment file (the list of maps with their
// generations) and applies the maps it names to the drainage.
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
    fuzz_support::writeFile("close.txt", "Close the branch\n0 // closed\n3 4\n");
    fuzz_support::writeFile("open.txt", "Open it again\n1\n4\n3\n");
    const std::string path = fuzz_support::writeFile("dynamic.txt", data, size);
    TSettings settings;
    settings.nodeFile = my_string("nodes.txt");
    settings.segmentFile = my_string("segments.txt");
    World world(settings);
    world.drainage = std::make_unique<TSegmentVector>(world.settings, &world);
    world.drainage->build(true);
    try {
        const auto environment = readDynamicEnvironment(*world.drainage, my_string(path));
        for (std::size_t i = 1; i < environment->maps.size(); ++i)
            if (environment->maps[i - 1].generation > environment->maps[i].generation) std::abort();
        for (const TDynamic& map : environment->maps) applyMap(world, map);
    } catch (const TException& e) {
        if (!e.isFatal()) std::abort();
    }
    return 0;
}

// Fuzzes the dynamic environment file (the list of maps with their
// generations) and applies the maps it names to the drainage.
#include "FuzzSupport.h"
#include "drainage/Dynamic.h"
#include "drainage/Drainage.h"

using namespace fluviagen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    const auto drainage = fuzz_support::readSmallDrainage();
    fuzz_support::writeFile("close.txt", "Close the branch\n0 // closed\n3 4\n");
    fuzz_support::writeFile("open.txt", "Open it again\n1\n4\n3\n");
    const std::string path = fuzz_support::writeFile("dynamic.txt", data, size);
    try {
        const auto environment = readDynamicEnvironment(*drainage, Text(path), fuzz_support::scratchFolder());
        for (std::size_t i = 1; i < environment->maps.size(); ++i)
            if (environment->maps[i - 1].generation > environment->maps[i].generation) std::abort();
        for (const DynamicMap& map : environment->maps) applyMap(*drainage, nullptr, map);
    } catch (const SimulationError& e) {
        if (!e.isFatal()) std::abort();
    }
    return 0;
}

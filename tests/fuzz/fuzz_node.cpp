// Fuzzes the node file reader.
#include "FuzzSupport.h"
#include "drainage/DrainageNode.h"

using namespace fluviagen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    const std::string path = fuzz_support::writeFile("nodes.txt", data, size);
    NodeTable nodes;
    try {
        nodes.readNodeFile(Text(path));
    } catch (const SimulationError& e) {
        if (!e.isFatal()) std::abort();
    }
    // Every node kept is a real record.
    for (const auto& [id, node] : nodes.nodes)
        if (node->id != id || node->id == -1 || node->lon == -1 || node->lat == -1) std::abort();
    return 0;
}

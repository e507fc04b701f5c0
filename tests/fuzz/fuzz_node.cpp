// Fuzzes the node file reader.
#include "FuzzSupport.h"
#include "drainage/SegmentVector.h"
#include "settings/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    fuzz_support::resetGlobals();
    const std::string path = fuzz_support::writeFile("nodes.txt", data, size);
    TSettings settings;
    TSegmentVector drainage(settings, nullptr);
    drainage.build(false);
    try {
        drainage.nodes->readNodeFile(my_string(path));
    } catch (const TException& e) {
        if (!e.isFatal()) std::abort();
    }
    // Every node kept is a real record.
    for (const auto& [id, node] : drainage.nodes->nodes)
        if (node->id != id || node->id == -1 || node->lon == -1 || node->lat == -1) std::abort();
    return 0;
}

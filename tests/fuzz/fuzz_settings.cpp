// Fuzzes the settings reader: the 41-line parser and the checks that refuse
// readable but unusable values.
#include <sstream>

#include "FuzzSupport.h"
#include "settings/Settings.h"

using namespace fluviagen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::silenceConsole();
    {
        Settings settings;
        std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
        try {
            settings.parseSettings(in);
        } catch (const SimulationError&) {
        }
    }
    const std::string path = fuzz_support::writeFile("settings.txt", data, size);
    Settings settings;
    try {
        settings.readSettings(Text("fluviagen"), Text(path), 0);
    } catch (const SimulationError& e) {
        if (!e.isFatal()) std::abort();  // settings problems always end the program
    }
    return 0;
}

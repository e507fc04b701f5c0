// make_drainage: writes a synthetic dendritic drainage as a node file and a
// segment file in the formats the simulator reads.
//
//   make_drainage [-n SEGMENTS] [-s SEED] [-o PREFIX]
//
// writes PREFIX_nodes.txt and PREFIX_segments.txt (PREFIX defaults to
// "drainage" in the current folder). The same SEGMENTS and SEED always give
// the same files.
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "DrainageGenerator.h"

namespace {

void usage(std::ostream& os) {
    os << "Usage: make_drainage [-n SEGMENTS] [-s SEED] [-o PREFIX]\n"
          "  -n SEGMENTS  number of river segments, 1 to 50000000 (default 1000)\n"
          "  -s SEED      seed of the generator, a whole number 0 to 18446744073709551615 (default 1)\n"
          "  -o PREFIX    output prefix; writes PREFIX_nodes.txt and PREFIX_segments.txt (default drainage)\n";
}

bool parseWhole(const std::string& text, unsigned long long max, unsigned long long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str() && *end == '\0' && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long segments = 1000;
    unsigned long long seed = 1;
    std::string prefix = "drainage";
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            usage(std::cout);
            return 0;
        }
        if ((option != "-n" && option != "-s" && option != "-o") || i + 1 >= argc) {
            std::cout << "make_drainage: unknown option or missing value: '" << option << "'\n";
            usage(std::cout);
            return 1;
        }
        const std::string value = argv[++i];
        if (option == "-o") {
            prefix = value;
        } else if (option == "-n") {
            if (!parseWhole(value, 50000000, segments) || segments < 1) {
                std::cout << "make_drainage: the number of segments must be a whole number from 1 to 50000000, not '"
                          << value << "'\n";
                return 1;
            }
        } else if (!parseWhole(value, ~0ULL, seed)) {
            std::cout << "make_drainage: the seed must be a whole number, not '" << value << "'\n";
            return 1;
        }
    }
    const auto drainage = drainage_generator::generate(static_cast<std::int32_t>(segments), seed);
    const std::string nodePath = prefix + "_nodes.txt";
    const std::string segmentPath = prefix + "_segments.txt";
    if (!drainage_generator::writeFile(nodePath, drainage_generator::nodeFileText(drainage)) ||
        !drainage_generator::writeFile(segmentPath, drainage_generator::segmentFileText(drainage))) {
        std::cout << "make_drainage: cannot write '" << nodePath << "' or '" << segmentPath << "'\n";
        return 1;
    }
    std::cout << "Wrote " << drainage.nodes.size() << " nodes to '" << nodePath << "' and " << drainage.segments.size()
              << " segments to '" << segmentPath << "'\n";
    return 0;
}

// The main of a fuzz harness where no libFuzzer is at hand (g++ builds): runs
// LLVMFuzzerTestOneInput once on every file named on the command line and on
// every file of a named folder, in name order. Arguments starting with '-'
// are libFuzzer's options and are ignored, so a seed run reads the same with
// both builds. A harness reports a fault by aborting; a run that finds no
// input at all fails, so that a wrong seed path cannot pass unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool collectInputs(const std::string& argument, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.emplace_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error)) return false;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argument))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
    return true;
}

// The input in a buffer of exactly its size, as libFuzzer hands it over, so
// that the sanitizers see a read past its end.
bool runOne(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto data = std::make_unique<std::uint8_t[]>(text.size());
    std::copy(text.begin(), text.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), text.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A harness may point the standard streams at a buffer of its own: the
    // original ones are put back at the end.
    std::streambuf* const standardOutput = std::cout.rdbuf();
    std::streambuf* const standardError = std::cerr.rdbuf();
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with('-')) continue;
        if (!collectInputs(argument, inputs)) {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER... (no input found)\n", argv[0]);
        return 1;
    }
    // The harnesses silence the standard output: progress goes to the error stream.
    for (const auto& path : inputs) {
        std::fprintf(stderr, "Running: %s\n", path.c_str());
        if (!runOne(path)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 1;
        }
    }
    std::cout.rdbuf(standardOutput);
    std::cerr.rdbuf(standardError);
    std::fprintf(stderr, "Executed %zu inputs\n", inputs.size());
    return 0;
}

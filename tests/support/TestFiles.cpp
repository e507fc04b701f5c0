#include "support/TestFiles.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ =
        fs::temp_directory_path() / ("fluviagen_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& content) const {
    const fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    return file.string();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string dnaCase(const TempFolder& temp, const std::map<int, std::string>& values, const std::string& settingsName) {
    const std::filesystem::path source(FLUVIAGEN_SOURCE_DIR "/tests/e2e");
    for (const char* name : {"river_nodes.txt", "river_segments.txt", "samples.txt", "sources.txt"})
        std::filesystem::copy(source / "shared" / name, temp.path(), std::filesystem::copy_options::overwrite_existing);
    std::istringstream original(readFile(source / "cases/dna/settings.txt"));
    std::string settings, line;
    for (int number = 1; std::getline(original, line); ++number)
        settings += (values.count(number) ? values.at(number) : line) + "\n";
    return temp.write(settingsName, settings);
}

std::vector<std::string> defaultSettingsLines() {
    return {
        "populations.txt   // source populations",
        "samples.txt       // samples",
        "nodes.txt         // node file",
        "segments.txt      // segment file",
        "dynamic.txt       // dynamic environment",
        "//////////////////////// demography",
        "100        // carrying capacity",
        "1          // demographic model",
        "50         // generations",
        "1          // generation time",
        "0          // start time BP",
        "0.5        // growth rate",
        "0          // allow initial density overflow",
        "1          // overflow rate",
        "0          // dynamic environment",
        "1          // entire simulations",
        "2          // genetic simulations",
        "100000     // max coalescent generations",
        "2          // data type",
        "1          // independent loci",
        "20         // linked loci",
        "0          // genotypic output",
        "0.001      // mutation rate",
        "0.7        // transition fraction",
        "0          // gamma a",
        "0          // gamma categories",
        "0          // microsatellite range",
        "0          // geometric parameter",
        "0          // min SNP frequency",
        "0          // min SNP frequency in sample",
        "1          // project files",
        "0          // coalescence image",
        "1          // coalescence times",
        "1          // trees",
        "1          // MRCA times",
        "0          // divergence time",
        "0.1        // migration rate, un-colonised",
        "0.05       // migration rate, colonised",
        "1          // upstream ratio",
        "0          // segment length",
        "END",
    };
}

std::string settingsText(const std::map<int, std::string>& replace) {
    std::vector<std::string> lines = defaultSettingsLines();
    for (const auto& [number, line] : replace) lines.at(static_cast<std::size_t>(number - 1)) = line;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

namespace {

std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

ProcessResult runProgram(const std::vector<std::string>& arguments, const std::string& input, const std::string& seed,
                         const std::string& workingFolder, int timeoutSeconds, StandardError standardError) {
    TempFolder scratch;
    const std::string inputFile = scratch.write("stdin.txt", input);
    const fs::path errorFile = scratch.path() / "stderr.txt";
    std::string command;
    if (!workingFolder.empty()) command += "cd " + quoted(workingFolder) + " && ";
    // -k: a program that ignores the first signal is killed a little later.
    if (timeoutSeconds > 0) command += "timeout -k 5 " + std::to_string(timeoutSeconds) + " ";
    command += seed.empty() ? "env -u FLUVIAGEN_SEED " : "env FLUVIAGEN_SEED=" + quoted(seed) + " ";
    command += quoted(FLUVIAGEN_BINARY);
    // The maps and the GeoPackage, drawn by a second program after a call of
    // one entire simulation, would cost every test call that program's time
    // (much of it under the sanitizers); the tests of the maps ask for them
    // with --with, which wins as the later choice.
    command += " --without maps --without gpkg";
    // Appended in two steps: " " + std::string trips a false -Wrestrict of g++ 12 in Release builds.
    for (const auto& a : arguments) {
        command += ' ';
        command += quoted(a);
    }
    command += " < " + quoted(inputFile);
    if (standardError == StandardError::Merged) {
        command += " 2>&1";
    } else {
        command += " 2> ";
        command += quoted(errorFile.string());
    }
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot start " + command);
    ProcessResult result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    if (standardError == StandardError::Apart) result.errors = readFile(errorFile);
    return result;
}

}  // namespace testing_support

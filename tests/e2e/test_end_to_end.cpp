// Whole-program runs on small cases with a fixed seed. Every output file and
// the console log (without the date and the durations) must equal the
// committed expected files byte for byte: any change of a draw, a rounding or
// a format shows up here.
//
// To accept an intended change of results, run the test binary with
// FLUVIAGEN_UPDATE_EXPECTED=1 and commit the rewritten files together with
// the change, saying why the results changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::TempFolder;

namespace {

const fs::path casesFolder = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/e2e/cases";
const fs::path expectedFolder = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/e2e/expected";
const fs::path sharedFolder = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/e2e/shared";

// The date line and the durations differ from run to run.
std::string stableConsole(const std::string& console) {
    static const std::regex date(R"(Date: [^\n]*\n)");
    static const std::regex duration(R"(Duration: [0-9]+(\.[0-9]+ sec| min [0-9]+ sec| h [0-9]+ min| d [0-9]+ h))");
    return std::regex_replace(std::regex_replace(console, date, "Date: <date>\n"), duration, "Duration: <duration>");
}

bool updating() {
    const char* value = std::getenv("FLUVIAGEN_UPDATE_EXPECTED");
    return value != nullptr && std::string(value) == "1";
}

std::set<std::string> filesBelow(const fs::path& folder) {
    std::set<std::string> names;
    if (!fs::is_directory(folder)) return names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

void copyFolder(const fs::path& from, const fs::path& to) {
    if (fs::is_directory(from)) fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

struct Case {
    std::string name;
    std::string seed;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class EndToEnd : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(EndToEnd, OutputsEqualTheExpectedFiles) {
    const Case& c = GetParam();
    TempFolder work;
    copyFolder(sharedFolder, work.path());
    copyFolder(casesFolder / c.name, work.path());
    const auto result = runProgram({"settings.txt"}, "", c.seed, work.path().string());
    EXPECT_EQ(result.status, 0) << result.output;

    const fs::path produced = work.path() / "GeneticOutput";
    const fs::path expected = expectedFolder / c.name;
    const std::string console = stableConsole(result.output);
    if (updating()) {
        fs::remove_all(expected);
        fs::create_directories(expected / "GeneticOutput");
        std::ofstream(expected / "console.txt", std::ios::binary) << console;
        copyFolder(produced, expected / "GeneticOutput");
        GTEST_SKIP() << "expected files of " << c.name << " rewritten";
    }
    EXPECT_EQ(console, readFile(expected / "console.txt")) << "console of " << c.name;
    const auto producedFiles = filesBelow(produced);
    const auto expectedFiles = filesBelow(expected / "GeneticOutput");
    EXPECT_EQ(producedFiles, expectedFiles);
    for (const auto& name : expectedFiles) {
        if (!producedFiles.count(name)) continue;
        EXPECT_EQ(readFile(produced / name), readFile(expected / "GeneticOutput" / name)) << c.name << ": " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd,
                         testing::Values(Case{"dna", "11"}, Case{"dna_gamma", "12"}, Case{"microsat_multilocus", "13"},
                                         Case{"rflp", "14"}, Case{"standard", "15"}, Case{"snp", "16"},
                                         Case{"resampled", "17"}, Case{"dynamic", "18"}, Case{"sources", "19"},
                                         Case{"overflow", "20"}, Case{"retry", "21"}),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Whole-program runs on small cases with a fixed seed. Every expected output
// file and the console log (the standard output, without the date and the
// durations) must equal the committed expected files byte for byte: any
// change of a draw, a rounding or a format shows up here. The standard error
// (sanitizer and runtime notes) and files the program writes besides the
// expected ones are not compared, so a new kind of output file does not break
// the old cases.
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
using testing_support::StandardError;
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

// The first line where two texts part, with both versions.
std::string firstDifference(const std::string& produced, const std::string& expected) {
    std::size_t start = 0;
    int line = 1;
    for (std::size_t i = 0; i < produced.size() && i < expected.size() && produced[i] == expected[i]; ++i)
        if (produced[i] == '\n') {
            start = i + 1;
            ++line;
        }
    const auto lineAt = [start](const std::string& text) { return text.substr(start, text.find('\n', start) - start); };
    return "line " + std::to_string(line) + ": produced \"" + lineAt(produced) + "\", expected \"" + lineAt(expected) +
           "\"";
}

// One entry per expected file that was not produced or differs; produced
// files without an expected counterpart are not looked at.
std::vector<std::string> outputDifferences(const fs::path& produced, const fs::path& expected) {
    std::vector<std::string> problems;
    for (const auto& name : filesBelow(expected)) {
        if (!fs::is_regular_file(produced / name)) {
            problems.push_back(name + ": not produced");
            continue;
        }
        const std::string producedText = readFile(produced / name);
        const std::string expectedText = readFile(expected / name);
        if (producedText != expectedText) problems.push_back(name + ", " + firstDifference(producedText, expectedText));
    }
    return problems;
}

void copyFolder(const fs::path& from, const fs::path& to) {
    if (fs::is_directory(from)) fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

struct Case {
    std::string name;
    std::string seed;
    // A shipped example whose folder replaces the shared files (empty: none).
    std::string example = "";
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class EndToEnd : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(EndToEnd, OutputsEqualTheExpectedFiles) {
    const Case& c = GetParam();
    TempFolder work;
    copyFolder(c.example.empty() ? sharedFolder : fs::path(FLUVIAGEN_SOURCE_DIR) / "examples" / c.example, work.path());
    // Outputs of a run of the example in place are not part of it.
    fs::remove_all(work.path() / "GeneticOutput");
    copyFolder(casesFolder / c.name, work.path());
    const auto result = runProgram({"settings.txt"}, "", c.seed, work.path().string(), 0, StandardError::Apart);
    EXPECT_EQ(result.status, 0) << result.output << result.errors;

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
    EXPECT_FALSE(filesBelow(expected / "GeneticOutput").empty()) << c.name << ": no expected output files";
    for (const auto& problem : outputDifferences(produced, expected / "GeneticOutput"))
        ADD_FAILURE() << c.name << ": " << problem;
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd,
                         testing::Values(Case{"dna", "11"}, Case{"dna_gamma", "12"}, Case{"microsat_multilocus", "13"},
                                         Case{"rflp", "14"}, Case{"standard", "15"}, Case{"snp", "16"},
                                         Case{"resampled", "17"}, Case{"dynamic", "18"}, Case{"sources", "19"},
                                         Case{"overflow", "20"}, Case{"retry", "21"},
                                         // A single source overflowing at the start: the merge
                                         // leaves the source deme to the next backward pass.
                                         Case{"overflow_merge", "22"},
                                         // The imported real basin, as shipped.
                                         Case{"danube", "23", "danube"}),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(EndToEndComparison, FilesBesideTheExpectedOnesAreIgnored) {
    TempFolder produced;
    TempFolder expected;
    expected.write("run.arp", "same\n");
    produced.write("run.arp", "same\n");
    produced.write("run.extra", "a new kind of output\n");
    produced.write("more/run.txt", "x");
    EXPECT_TRUE(outputDifferences(produced.path(), expected.path()).empty());
}

TEST(EndToEndComparison, AMissingOrChangedExpectedFileIsReported) {
    TempFolder produced;
    TempFolder expected;
    expected.write("run.arp", "same\nold value\nsame\n");
    expected.write("trees/run.trees", "tree\n");
    expected.write("run.coal", "1 2\n");
    produced.write("run.arp", "same\nnew value\nsame\n");
    produced.write("run.coal", "1 2");  // the final line end is missing
    const auto problems = outputDifferences(produced.path(), expected.path());
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "run.arp, line 2: produced \"new value\", expected \"old value\"");
    EXPECT_EQ(problems[1], "run.coal, line 1: produced \"1 2\", expected \"1 2\"");
    EXPECT_EQ(problems[2], "trees/run.trees: not produced");
}

// With the standard error kept apart nothing of either stream is lost and the
// exit status is the same as with both merged.
TEST(EndToEndCapture, StandardErrorApartLosesNothing) {
    TempFolder work;
    const auto merged = runProgram({"missing.txt"}, "", "11", work.path().string());
    const auto apart = runProgram({"missing.txt"}, "", "11", work.path().string(), 0, StandardError::Apart);
    EXPECT_EQ(merged.status, 1);
    EXPECT_EQ(apart.status, merged.status);
    EXPECT_FALSE(apart.output.empty());
    EXPECT_EQ(stableConsole(apart.output + apart.errors).size(), stableConsole(merged.output).size());
}

// fluviagen --plan and --list-settings against the program's own run: the
// settings as the run resolves them, the segments the run builds, the bytes
// its history table maps, and the output groups whose files it writes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>

#include "app/SimulationLoop.h"
#include "demography/StateDB.h"
#include "drainage/Drainage.h"
#include "random/Rng.h"
#include "settings/SettingKeys.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using nlohmann::json;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

namespace fs = std::filesystem;

const std::string river = std::string(FLUVIAGEN_SOURCE_DIR) + "/examples/river/";

json plan(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{"--plan"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const auto r = runProgram(words, "", "", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 0) << r.errors;
    return json::parse(r.output);
}

// The settings folder copied, so that a run writes nowhere in the sources.
std::string copyRiver(const TempFolder& temp, const std::string& settings) {
    for (const auto& entry : fs::directory_iterator(river))
        fs::copy_file(entry.path(), temp.path() / entry.path().filename());
    return (temp.path() / settings).string();
}

}  // namespace

TEST(Plan, SegmentsAndHistoryBytesAreThoseOfTheRun) {
    // As read and resampled to 1000 m: the count and the table of the run's
    // own stages, built here as the run builds them.
    for (const char* name : {"settings.txt", "settings_resampled.txt"}) {
        const json p = plan({river + name});
        Settings settings;
        settings.readSettings(Text("fluviagen"), Text(river + name), 0);
        Rng rng;
        SimulationLoop loop(settings, rng);
        loop.buildDrainage();
        loop.buildHistory();
        EXPECT_EQ(p["segments"].get<int>(), loop.drainage->size()) << name;
        EXPECT_EQ(p["history_bytes"].get<std::uint64_t>(), loop.database->tableBytes()) << name;
        EXPECT_GT(p["peak_bytes_estimate"].get<std::uint64_t>(), loop.database->tableBytes()) << name;
        EXPECT_EQ(p["settings_file"].get<std::string>(), fs::absolute(river + name).lexically_normal().string());
    }
    // The run's own console line for the resampled drainage.
    TempFolder temp;
    const std::string settings = copyRiver(temp, "settings_resampled.txt");
    const json p = plan({settings});
    const auto run = runProgram({"--seed", "3", "--set", "17=1", settings});
    ASSERT_EQ(run.status, 0) << run.output;
    std::smatch segments;
    ASSERT_TRUE(std::regex_search(run.output, segments, std::regex("Segments: (\\d+); 1000 meter")));
    EXPECT_EQ(std::stoi(segments[1]), p["segments"].get<int>());
    EXPECT_NE(p["segments"].get<int>(), plan({river + "settings.txt"})["segments"].get<int>());
}

TEST(Plan, ResolvesBlankLinesCommentsOverridesAndTheCount) {
    // A template with blank lines between the values and comments on every
    // line resolves to the values of the plain file.
    TempFolder temp;
    const std::string plain = copyRiver(temp, "settings.txt");
    std::istringstream lines(readFile(plain));
    std::string spaced;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (number >= 7 && number <= 40 && number % 3 == 0) spaced += "\n   \n";
        spaced += line + (number > 6 && number < 41 ? "   // a remark" : "") + "\n";
    }
    const std::string blank = temp.write("template.txt", spaced);
    const json a = plan({plain});
    const json b = plan({"--set", "model=2", "--set", "38=0.2", blank, "7"});
    ASSERT_EQ(a["settings"].size(), 39u);
    ASSERT_EQ(b["settings"].size(), 39u);
    for (std::size_t i = 0; i < 39; ++i) {
        const json& x = a["settings"][i];
        const json& y = b["settings"][i];
        const int line = x["line"].get<int>();
        EXPECT_EQ(y["line"], x["line"]);
        EXPECT_EQ(x["name"].get<std::string>(), findSettingKey(line)->name);
        if (line == 8 || line == 38) {
            EXPECT_EQ(y["source"], "--set");
            EXPECT_EQ(y["value"], line == 8 ? "2" : "0.2");
        } else if (line == 16) {
            EXPECT_EQ(y["source"], "count parameter");
            EXPECT_EQ(y["value"], "7");
        } else {
            EXPECT_EQ(y["source"], "file") << line;
            EXPECT_EQ(y["value"], x["value"]) << line;
        }
    }
    // Seven entire simulations: no genotype files, maps or GeoPackage by default.
    EXPECT_EQ(b["outputs"], json({"stats", "csv"}));
}

TEST(Plan, OutputsAreTheGroupsWhoseFilesTheRunWrites) {
    // One entire simulation writes every group by default, two only the
    // tables; the command line's choice wins either way. (GENEPOP files hold
    // no DNA, so the example's group writes no file.)
    struct Row {
        std::vector<std::string> options;
        std::string count;
    };
    const Row rows[] = {{{"--without", "fasta"}, ""}, {{"--with", "vcf", "--without", "csv"}, "2"}};
    for (const Row& row : rows) {
        TempFolder temp;
        const std::string settings = copyRiver(temp, "settings.txt");
        std::vector<std::string> words = row.options;
        for (const char* w : {"--set", "17=1", "--out"}) words.push_back(w);
        words.push_back((temp.path() / "out").string());
        words.push_back(settings);
        if (!row.count.empty()) words.push_back(row.count);
        const json p = plan(words);
        EXPECT_FALSE(fs::exists(temp.path() / "out")) << "the plan writes nothing";
        const auto run = runProgram(words, "", "4");
        ASSERT_EQ(run.status, 0) << run.output;
        const std::string complete = readFile(temp.path() / "out" / "settings_samples_gps_DNA.complete");
        const std::map<std::string, std::string> fileOf{
            {"vcf", ".vcf.gz"}, {"fasta", ".fasta"}, {"stats", "_stats.tsv"}, {"csv", "_segments.csv"}};
        for (const auto& [group, ending] : fileOf) {
            const bool planned = std::find(p["outputs"].begin(), p["outputs"].end(), group) != p["outputs"].end();
            EXPECT_EQ(planned, complete.find(ending) != std::string::npos) << group << " " << row.count;
        }
    }
}

TEST(Plan, RefusesWhatTheRunRefusesWithNothingOnStandardOutput) {
    TempFolder temp;
    const std::string settings = copyRiver(temp, "settings.txt");
    const std::string bad =
        temp.write("bad.txt", readFile(settings).replace(readFile(settings).find("0.05 "), 4, "1.50"));
    struct Row {
        std::vector<std::string> words;
        std::string error;
    };
    const Row rows[] = {
        {{"--plan"}, "--plan takes the settings file"},
        {{"--plan", (temp.path() / "none.txt").string()}, "could not be opened"},
        {{"--plan", bad}, "Settings file, line 38 (migration rate of colonised segments): must be a rate from 0 to 1"},
        {{"--plan", "--set", "nodes=missing.txt", settings}, "missing.txt"},
        {{"--plan", "--set", "sources=nosources.txt", settings}, "nosources.txt"},
        {{"--plan", settings, "12x"}, "The second parameter '12x'"},
    };
    for (const Row& row : rows) {
        const auto r = runProgram(row.words, "", "", "", 0, StandardError::Apart);
        EXPECT_EQ(r.status, 1) << row.error;
        EXPECT_EQ(r.output, "") << row.error;
        EXPECT_NE(r.errors.find(row.error), std::string::npos) << r.errors;
    }
}

TEST(ListSettings, TableAndJsonCarryEveryLineOfTheKeyTable) {
    const auto tsv = runProgram({"--list-settings"}, "", "", "", 0, StandardError::Apart);
    const auto js = runProgram({"--list-settings", "--json"}, "", "", "", 0, StandardError::Apart);
    ASSERT_EQ(tsv.status, 0);
    ASSERT_EQ(js.status, 0);
    const json rows = json::parse(js.output);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(settingLineCount));
    std::istringstream lines(tsv.output);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "line\tname\tkind\trange\tdefault\tmeaning");
    for (const json& row : rows) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(row.size(), 6u);
        EXPECT_TRUE(row["line"].is_number_integer());
        const std::string joined = std::to_string(row["line"].get<int>()) + "\t" + row["name"].get<std::string>() +
                                   "\t" + row["kind"].get<std::string>() + "\t" + row["range"].get<std::string>() +
                                   "\t" + row["default"].get<std::string>() + "\t" + row["meaning"].get<std::string>();
        EXPECT_EQ(line, joined);
    }
    EXPECT_FALSE(std::getline(lines, line));
    // Every name and default is one the run takes: the shipped example given
    // wholly by --set over a file of other values resolves to the same values.
    TempFolder temp;
    const std::string settings = copyRiver(temp, "settings.txt");
    std::vector<std::string> words;
    for (const json& row : rows) {
        const SettingKey* key = findSettingKey(row["line"].get<int>());
        if (key == nullptr) continue;
        words.push_back("--set");
        words.push_back(row["name"].get<std::string>() + "=" + row["default"].get<std::string>());
    }
    words.push_back(settings);
    const json given = plan(words);
    for (const json& v : given["settings"]) {
        EXPECT_EQ(v["source"], "--set");
        EXPECT_EQ(v["value"].get<std::string>(), rows[v["line"].get<std::size_t>() - 1]["default"].get<std::string>());
    }
}

TEST(Plan, PeakEstimateIsAboveThePeakOfTheRun) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' shadow memory is no part of the estimate";
#endif
    // The largest resident size of every process this test waited for: the
    // plan, then the run of the shipped example with its maps drawn.
    TempFolder temp;
    const std::string settings = copyRiver(temp, "settings.txt");
    const json p = plan({"--with", "maps", settings});
    const auto run = runProgram({"--with", "maps", "--seed", "3", settings}, "", "", "", 600);
    ASSERT_EQ(run.status, 0) << run.output;
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LE(static_cast<std::uint64_t>(usage.ru_maxrss) * 1024, p["peak_bytes_estimate"].get<std::uint64_t>());
}

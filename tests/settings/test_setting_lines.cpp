// The table of settings lines against everything that must agree with it:
// the shipped river example (its values and comments are the table's
// defaults), the manual's table of the settings lines, the reader (every line read by its
// number and by its name), and the command line (a value outside a line's
// range refused naming the option).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "app/CommandLine.h"
#include "base/Exception.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

const std::string source = FLUVIAGEN_SOURCE_DIR;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t`");
    const auto last = text.find_last_not_of(" \t`");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The cells of a Markdown table row.
std::vector<std::string> cells(const std::string& row) {
    std::vector<std::string> out;
    std::istringstream in(row.substr(1));
    for (std::string cell; std::getline(in, cell, '|');) out.push_back(trimmed(cell));
    return out;
}

// The rows of the first table whose header row is `header`, in any of the
// documentation's Markdown files.
std::vector<std::vector<std::string>> markdownTable(const std::string& header) {
    std::vector<std::filesystem::path> files{source + "/README.md"};
    if (std::filesystem::is_directory(source + "/docs"))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(source + "/docs"))
            if (entry.path().extension() == ".md") files.push_back(entry.path());
    for (const auto& file : files) {
        const auto lines = linesOf(readFile(file));
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i] != header) continue;
            std::vector<std::vector<std::string>> rows;
            for (std::size_t j = i + 2; j < lines.size() && lines[j].rfind("|", 0) == 0; ++j)
                rows.push_back(cells(lines[j]));
            return rows;
        }
    }
    ADD_FAILURE() << "no table headed " << header;
    return {};
}

}  // namespace

TEST(SettingLines, DefaultsAndCommentsAreThoseOfTheShippedExample) {
    const auto lines = linesOf(readFile(source + "/examples/river/settings.txt"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(settingLineCount));
    for (const SettingLine& key : settingLines) {
        const std::string& line = lines[static_cast<std::size_t>(key.line() - 1)];
        if (key.kind == SettingKind::heading) continue;
        EXPECT_EQ(line.substr(0, line.find_first_of(" \t")), key.defaultValue) << key.line();
        if (key.kind == SettingKind::endMarker) continue;
        char number[8];
        std::snprintf(number, sizeof number, "// %2d ", key.line());
        EXPECT_EQ(line.substr(line.find("//")), std::string(number) + std::string(key.comment)) << key.line();
    }
}

TEST(SettingLines, TheManualsTableAgreesWithTheTable) {
    // docs/guide/settings.md: one row per line, its number, name (the key of
    // --set) and meaning; tests/docs checks the other columns against
    // --list-settings.
    const auto rows = markdownTable("| Line | Name | Kind | Range | Default | Meaning |");
    ASSERT_EQ(rows.size(), settingLines.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], std::to_string(settingLines[i].line()));
        EXPECT_EQ(rows[i][1], std::string(settingLines[i].name)) << rows[i][0];
        EXPECT_EQ(rows[i].back(), settingLines[i].meaning) << rows[i][0];
    }
}

TEST(SettingLines, TheReaderTakesEveryLineByItsNumberAndByItsName) {
    // A value other than the test file's for every value line, and where the
    // reader stores it.
    struct Row {
        std::string value;
        std::function<std::string(const Settings&)> stored;
    };
    const auto text = [](const Text& s) { return s.str(); };
    const auto number = [](auto v) {
        std::ostringstream out;
        out << +v;
        return out.str();
    };
    const std::map<Setting, Row> rows{
        {Setting::sources, {"s.txt", [&](const Settings& s) { return text(s.popSourceFile); }}},
        {Setting::samples, {"m.txt", [&](const Settings& s) { return text(s.sampleFile); }}},
        {Setting::nodes, {"n.txt", [&](const Settings& s) { return text(s.nodeFile); }}},
        {Setting::segments, {"g.txt", [&](const Settings& s) { return text(s.segmentFile); }}},
        {Setting::dynamicFile, {"d.txt", [&](const Settings& s) { return text(s.dynamicEnvironmentFile); }}},
        {Setting::capacity, {"77", [&](const Settings& s) { return number(s.carryingCapacity); }}},
        {Setting::model, {"3", [&](const Settings& s) { return number(s.demographicModel); }}},
        {Setting::generations, {"61", [&](const Settings& s) { return number(s.numGenerations); }}},
        {Setting::generationTime, {"7", [&](const Settings& s) { return number(s.generationTime); }}},
        {Setting::startBp, {"1200", [&](const Settings& s) { return number(s.startTimeBP); }}},
        {Setting::growthRate, {"0.25", [&](const Settings& s) { return number(s.growthRate); }}},
        {Setting::overflow, {"1", [&](const Settings& s) { return number(s.allowInitialDensityOverflow); }}},
        {Setting::overflowRate, {"0.5", [&](const Settings& s) { return number(s.initialDensityOverflowRate); }}},
        {Setting::dynamic, {"1", [&](const Settings& s) { return number(s.dynamicEnvironment); }}},
        {Setting::entireSimulations, {"4", [&](const Settings& s) { return number(s.numDemographicSimulations); }}},
        {Setting::geneticSimulations, {"9", [&](const Settings& s) { return number(s.numGeneticSimulations); }}},
        {Setting::maxBackward, {"5000", [&](const Settings& s) { return number(s.maxGenerations); }}},
        {Setting::dataType, {"4", [&](const Settings& s) { return number(s.dataType); }}},
        {Setting::independentLoci, {"3", [&](const Settings& s) { return number(s.numIndependentLoci); }}},
        {Setting::linkedLoci, {"12", [&](const Settings& s) { return number(s.numLinkedLoci); }}},
        {Setting::genotypic, {"1", [&](const Settings& s) { return number(s.genotypicOutput); }}},
        {Setting::mutationRate, {"0.125", [&](const Settings& s) { return number(s.mutationRate); }}},
        {Setting::transitionFraction, {"0.375", [&](const Settings& s) { return number(s.transitionFraction); }}},
        {Setting::gammaShape, {"1.5", [&](const Settings& s) { return number(s.gammaA); }}},
        {Setting::gammaCategories, {"6", [&](const Settings& s) { return number(s.numGammaCategories); }}},
        {Setting::microsatRange, {"8", [&](const Settings& s) { return number(s.microsatRange); }}},
        {Setting::microsatStep, {"0.75", [&](const Settings& s) { return number(s.gsmGeometricParameter); }}},
        {Setting::minSnpFrequency, {"0.0625", [&](const Settings& s) { return number(s.minSnpFrequency); }}},
        {Setting::minSnpFrequencySample,
         {"0.03125", [&](const Settings& s) { return number(s.minSnpFrequencyInSample); }}},
        {Setting::arpOutput, {"0", [&](const Settings& s) { return number(s.arpOutput); }}},
        {Setting::coalescenceImage, {"1", [&](const Settings& s) { return number(s.coalescenceImageOutput); }}},
        {Setting::coalescenceTimes, {"0", [&](const Settings& s) { return number(s.coalescenceTimesOutput); }}},
        {Setting::treesOutput, {"0", [&](const Settings& s) { return number(s.geneticTreesOutput); }}},
        {Setting::mrcaOutput, {"0", [&](const Settings& s) { return number(s.mrcaTimesOutput); }}},
        {Setting::divergenceTime, {"33", [&](const Settings& s) { return number(s.divergenceTime); }}},
        {Setting::migrationUncolonised, {"0.875", [&](const Settings& s) { return number(s.migrCol); }}},
        {Setting::migrationColonised, {"0.625", [&](const Settings& s) { return number(s.migrOcc); }}},
        {Setting::upstreamRatio, {"2.5", [&](const Settings& s) { return number(s.upstreamMigrationRatio); }}},
        {Setting::segmentLength, {"250", [&](const Settings& s) { return number(s.segmentLength); }}},
    };
    TempFolder temp;
    const std::string path = temp.write("settings.txt", settingsText());
    for (const SettingLine& key : settingLines) {
        if (!key.holdsValue()) continue;
        const auto row = rows.find(key.id);
        ASSERT_NE(row, rows.end()) << "no row for line " << key.line();
        for (const std::string& handle : {std::to_string(key.line()), std::string(key.name)}) {
            const CommandLine c = parseCommandLine({"--set", handle + "=" + row->second.value});
            Settings s;
            testing::internal::CaptureStdout();
            try {
                s.readSettings(Text("fluviagen"), Text(path), 0, c.overrides);
            } catch (const SimulationError& e) {
                ADD_FAILURE() << handle << ": " << e.message();
            }
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(row->second.stored(s), row->second.value) << handle;
            const SettingValue& v = s.values.at(static_cast<std::size_t>(key.line() - (key.line() > 6 ? 2 : 1)));
            EXPECT_EQ(v.line, key.line());
            EXPECT_EQ(v.value, row->second.value) << handle;
            EXPECT_EQ(v.option, handle + "=" + row->second.value);
        }
    }
}

TEST(SettingLines, AValueOutsideItsLinesRangeIsRefusedAtParseNamingTheOption) {
    // For every numeric line: the ends of its range pass, a value beyond
    // either end (where the type can hold one) is refused.
    for (const SettingLine& key : settingLines) {
        if (!key.numeric()) continue;
        const bool whole = key.kind == SettingKind::whole;
        const auto word = [&](double v) {
            if (whole) return std::to_string(static_cast<long long>(v));
            std::ostringstream out;
            out.precision(9);
            out << v;
            return out.str();
        };
        // A step beyond a bound that the type still tells apart from it.
        const auto step = [&](double bound) { return whole ? 1 : std::max(std::abs(bound), 1.0) * 1e-3; };
        std::vector<std::pair<double, bool>> cases;          // value, accepted
        const double limit = whole ? 2147483647.0 : 3.0e38;  // beyond: the type's own limit
        if (!key.leastExcluded && (whole || key.least > -limit)) cases.push_back({key.least, true});
        if (!key.mostExcluded && (whole || key.most < limit)) cases.push_back({key.most, true});
        if (key.least > -limit) cases.push_back({key.least - (key.leastExcluded ? 0 : step(key.least)), false});
        if (key.most < limit) cases.push_back({key.most + (key.mostExcluded ? 0 : step(key.most)), false});
        for (const auto& [value, accepted] : cases) {
            for (const std::string& handle : {std::string(key.name), std::to_string(key.line())}) {
                const std::string option = handle + "=" + word(value);
                try {
                    parseCommandLine({"--set", option});
                    EXPECT_TRUE(accepted) << option << " passed";
                } catch (const CommandLineError& e) {
                    EXPECT_FALSE(accepted) << option << ": " << e.what();
                    EXPECT_EQ(std::string(e.what()).rfind("--set " + option + " (" + std::string(key.field) + "): ", 0),
                              0u)
                        << e.what();
                }
            }
        }
    }
}

TEST(SettingLines, ValuesThatFailLaterAreRefusedByOptionAndPointedOutInTheFile) {
    // By --set: refused before any work, naming the option. In the file: the
    // run log keeps its course, and one line on standard error says before
    // the work what will happen; a run without sites is refused either way.
    struct Row {
        int line;
        std::string value;
        std::string fileError;  // on standard error when the file holds the value
        bool refusedInFile;
        int fileStatus = 1;  // the run's own outcome with the value in the file
    };
    const Row rows[] = {
        {8, "0", "line 8 (demographic model): 0 is outside the values a run can use (1|2|3|4): the first generation",
         false},
        {8, "5", "line 8 (demographic model): 5 is outside", false},
        // The sample stands on the source's segment: the run goes on.
        {7, "0", "line 7 (carrying capacity): 0 is outside the values a run can use (1..32767)", false, 0},
        {20, "0", "line 20 (number of independent loci): 0 is outside", false},
        {18, "0", "line 18 (maximum number of coalescent generations): 0 is outside", false},
        {21, "0", "Settings file, line 21 (number of linked loci): must be at least 1", true},
    };
    TempFolder temp;
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n3 20.02 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n2 3 2 785 20.015 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", "1\n0\nName Genes SegID\nA 4 1\n");
    const std::string good = temp.write("settings.txt", settingsText({{7, "10"}, {9, "20"}, {17, "1"}}));
    for (const Row& row : rows) {
        const std::string name(findSettingKey(row.line)->name);
        const auto given = runProgram({"--set", name + "=" + row.value, good}, "", "5", "", 0, StandardError::Apart);
        EXPECT_EQ(given.status, 1) << name;
        EXPECT_NE(given.errors.find("--set " + name + "=" + row.value + " ("), std::string::npos) << given.errors;
        EXPECT_EQ(given.output.find("Build World"), std::string::npos) << name;
        std::map<int, std::string> lines{{7, "10"}, {9, "20"}, {17, "1"}};
        lines[row.line] = row.value;
        const std::string bad = temp.write("bad.txt", settingsText(lines));
        const auto written = runProgram({"--out", temp.folder() + "out", bad}, "", "5", "", 60, StandardError::Apart);
        EXPECT_EQ(written.status, row.fileStatus) << name;
        const std::string& where = row.refusedInFile ? written.output : written.errors;
        EXPECT_NE(where.find(row.fileError), std::string::npos) << written.output << written.errors;
        if (!row.refusedInFile) {
            EXPECT_NE(written.errors.find("Settings file '" + bad + "', line " + std::to_string(row.line)),
                      std::string::npos);
            // Said before the work starts: ahead of the outputs line of the end.
            EXPECT_LT(written.errors.find(row.fileError), written.errors.find("Outputs written")) << written.errors;
        } else {
            EXPECT_EQ(written.output.find("Build World"), std::string::npos);
        }
    }
}

TEST(SettingLines, LaterRefusalsNameTheLineAsItStandsInTheFile) {
    // A blank line above line 18 moves it to the file's line 19.
    TempFolder temp;
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", "1\n0\nName Genes SegID\nA 4 1\n");
    const std::string settings =
        temp.write("settings.txt", settingsText({{7, "10"}, {9, "20"}, {17, "\n1"}, {18, "0"}}));
    const auto r = runProgram({settings}, "", "5", "", 60, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("line 19 (maximum number of coalescent generations): 0 is outside"), std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("', line 19: with a maximum of 0 backward generations"), std::string::npos) << r.errors;
}

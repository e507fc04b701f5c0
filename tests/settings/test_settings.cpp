#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/Exception.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::settingsText;
using testing_support::TempFolder;

namespace {

struct ReadResult {
    bool ok = false;
    std::string message;  // the exception's message when not ok
    std::string console;
    std::string folder;  // where the settings file was
    Settings settings;
};

ReadResult readText(const std::string& text, int numberOfSimulations = 0) {
    TempFolder temp;
    const std::string path = temp.write("settings.txt", text);
    ReadResult r;
    r.folder = temp.folder();
    testing::internal::CaptureStdout();
    try {
        r.ok = r.settings.readSettings(Text("fluviagen"), Text(path), numberOfSimulations);
    } catch (const SimulationError& e) {
        r.message = e.message().str();
        EXPECT_TRUE(e.isFatal());
    }
    r.console = testing::internal::GetCapturedStdout();
    return r;
}

std::string couldNotBeRead() { return "' could not be read!"; }

}  // namespace

TEST(Settings, ReadsEveryLineOfAValidFile) {
    const auto r = readText(settingsText({{1, "my pop file.txt   // the sources"}, {7, "250"}, {16, "3 // runs"}}));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.settings.popSourceFile, "mypopfile.txt");  // blanks inside a name are removed
    EXPECT_EQ(r.settings.sampleFile, "samples.txt");
    EXPECT_EQ(r.settings.carryingCapacity, 250);
    EXPECT_EQ(r.settings.numGenerations, 50);
    EXPECT_FLOAT_EQ(r.settings.growthRate, 0.5f);
    EXPECT_EQ(r.settings.numDemographicSimulations, 3);
    EXPECT_EQ(r.settings.dataType, DNA);
    EXPECT_TRUE(r.settings.arpOutput);
    EXPECT_FALSE(r.settings.coalescenceImageOutput);
    EXPECT_FLOAT_EQ(r.settings.migrOcc, 0.05f);
    EXPECT_EQ(r.console,
              "\n************************\n*  General Settings:\n*  3 demographic simulations (entire simulations)\n*  "
              "2 genetic simulations (per demographic simulation)\n*  50 generations to simulate"
              "\n************************\n\n");
}

TEST(Settings, TextLinesAndComments) {
    EXPECT_EQ(readText(settingsText({{3, "// no file"}})).settings.nodeFile, "");
    EXPECT_EQ(readText(settingsText({{6, "anything at all 1 2 3"}})).ok, true);
    // Windows line ends: the CR is part of the line end, not of the name.
    std::string crlf = settingsText();
    std::string converted;
    for (char c : crlf) converted += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    const auto r = readText(converted);
    ASSERT_TRUE(r.ok) << r.console;
    EXPECT_EQ(r.settings.nodeFile, "nodes.txt");
}

TEST(Settings, EndMarkerPlacement) {
    EXPECT_TRUE(readText(settingsText({{41, "  --END-- // the end"}})).ok);
    EXPECT_FALSE(readText(settingsText({{41, "end"}})).ok);
    // A blank line between two value lines is passed over...
    EXPECT_TRUE(readText(settingsText({{20, "1\n"}})).ok);
    // ...but not between the last value and the end marker.
    const auto r = readText(settingsText({{40, "0\n"}}));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(couldNotBeRead()), std::string::npos);
    // A missing value line shifts END into a value.
    std::string text = settingsText();
    text.erase(text.find("1          // generation time\n"), std::string("1          // generation time\n").size());
    EXPECT_FALSE(readText(text).ok);
    // An extra non-blank line moves every value one field down.
    EXPECT_FALSE(readText(settingsText({{10, "1\n1"}})).ok);
}

TEST(Settings, AMissingEndMarkerIsReportedOnItsOwnLine) {
    std::string forty = settingsText();
    forty.erase(forty.rfind('\n', forty.size() - 2) + 1);  // the last line
    const struct {
        std::string text;
        int line;
    } cases[] = {
        {settingsText({{41, "end"}}), 41},
        {forty, 41},
        {settingsText({{40, "0\n"}}), 41},                // the blank line takes the place of the marker
        {settingsText({{20, "1\n"}, {41, "stop"}}), 42},  // lines are counted as they stand
    };
    for (const auto& c : cases) {
        const auto r = readText(c.text);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.console.find("Settings file, line " + std::to_string(c.line) + " (end marker)"), std::string::npos)
            << r.console;
    }
}

TEST(Settings, BooleansAndValues) {
    EXPECT_TRUE(readText(settingsText({{13, "1 // yes"}})).settings.allowInitialDensityOverflow);
    const auto two = readText(settingsText({{13, "2"}}));
    EXPECT_FALSE(two.ok);
    EXPECT_NE(two.console.find("line 13"), std::string::npos);
    const auto text = readText(settingsText({{9, "many"}}));
    EXPECT_FALSE(text.ok);
    EXPECT_NE(text.console.find("line 9"), std::string::npos);
    EXPECT_NE(text.message.find(couldNotBeRead()), std::string::npos);
}

TEST(Settings, AValueIsItsWholeFirstWord) {
    // Once 1 and 0: the stream extraction stopped at "e" and at ",".
    EXPECT_EQ(readText(settingsText({{7, "1e3"}})).settings.carryingCapacity, 1000);
    EXPECT_FLOAT_EQ(readText(settingsText({{12, "0.75// no blank"}})).settings.growthRate, 0.75f);
    testing::internal::CaptureStderr();
    const auto comma = readText(settingsText({{12, "0,5"}}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Settings file, line 12 (growth rate): '0,5' holds a comma: decimals are written with a point (0.5)!\n");
    EXPECT_NE(comma.console.find("line 12 (growth rate): is not a readable value of its type!"), std::string::npos);
    EXPECT_NE(comma.message.find(couldNotBeRead()), std::string::npos);
}

TEST(Settings, CarryingCapacityMustFitSixteenBits) {
    for (const char* value : {"32768", "-1", "99999999999"}) {
        const auto r = readText(settingsText({{7, value}}));
        EXPECT_FALSE(r.ok) << value;
        EXPECT_NE(r.console.find("line 7"), std::string::npos) << r.console;
        EXPECT_NE(r.message.find(couldNotBeRead()), std::string::npos);
    }
    EXPECT_EQ(readText(settingsText({{7, "32767"}})).settings.carryingCapacity, 32767);
}

TEST(Settings, DataTypeCodes) {
    // Line 19 holds the code the data type registry answers to (the data
    // types name themselves).
    for (const int code : {MICROSAT, RFLP, DNA, STANDARD, SNP}) {
        const auto r = readText(settingsText({{19, std::to_string(code)}}));
        EXPECT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.settings.dataType, code);
    }
    // An unknown code is stored as read, and refused by the checks.
    const auto seven = readText(settingsText({{19, "7"}}));
    EXPECT_FALSE(seven.ok);
    EXPECT_EQ(seven.settings.dataType, 7);
}

TEST(Settings, CommandLineNumberReplacesLine16) {
    const auto five = readText(settingsText({{16, "2"}}), 5);
    EXPECT_EQ(five.settings.numDemographicSimulations, 5);
    EXPECT_NE(five.console.find("*  5 demographic simulations"), std::string::npos);
    EXPECT_EQ(readText(settingsText({{16, "2"}}), 0).settings.numDemographicSimulations, 2);
}

TEST(Settings, DataFolderAndMissingFile) {
    const auto r = readText(settingsText());
    EXPECT_EQ(r.settings.dataFolder, r.folder);  // with its final separator

    Settings s;
    try {
        s.readSettings(Text("p"), Text("/no/such/settings.txt"), 0);
        FAIL();
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "File '/no/such/settings.txt' could not be opened!");
        EXPECT_TRUE(e.isFatal());
    }
}

TEST(Exception, PrintsItsLevelWord) {
    std::ostringstream out;
    out << SimulationError(Text("m"), levelError) << SimulationError(Text("f"), levelFatal)
        << SimulationError(Text("w"), 7);
    EXPECT_EQ(out.str(), "\nERROR: m\nFATAL ERROR: f\nWARNING: w");
}

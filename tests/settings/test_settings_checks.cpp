// Settings that can be read but cannot give a meaningful run are refused
// before any simulation starts, with the line to fix; values for which the
// model defines an outcome are kept.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/Exception.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::settingsText;
using testing_support::TempFolder;

namespace {

struct Outcome {
    bool ok = false;
    bool fatal = false;
    std::string message;
    std::string console;
};

Outcome readSettingsText(const std::string& text) {
    TempFolder temp;
    const std::string path = temp.write("settings.txt", text);
    Outcome r;
    Settings settings;
    testing::internal::CaptureStdout();
    try {
        r.ok = settings.readSettings(Text("fluviagen"), Text(path), 0);
    } catch (const SimulationError& e) {
        r.message = e.message().str();
        r.fatal = e.isFatal();
    }
    r.console = testing::internal::GetCapturedStdout();
    return r;
}

struct Refused {
    std::map<int, std::string> lines;  // settings lines replaced
    int line;                          // the line the message must name
};

}  // namespace

TEST(SettingsChecks, UnusableValuesNameTheirLineBeforeAnyRun) {
    const Refused cases[] = {
        {{{9, "-1"}}, 9},
        {{{12, "-0.5"}}, 12},
        {{{17, "-3"}}, 17},
        {{{17, "0"}}, 17},  // no genetic simulation: no output at all
        {{{18, "-1"}}, 18},
        {{{19, "7"}}, 19},
        {{{19, "-1"}}, 19},
        {{{20, "-2"}}, 20},
        {{{21, "-10"}}, 21},
        {{{23, "-0.001"}}, 23},
        {{{23, "2"}}, 23},
        {{{23, "1e30"}}, 23},
        {{{19, "0"}, {23, "0"}}, 23},  // microsatellite rate of 0: the gamma deviate would exit
        {{{24, "1.5"}}, 24},
        {{{25, "-1"}}, 25},
        {{{25, "0.5"}, {26, "-4"}}, 26},
        {{{25, "0.5"}, {26, "2000000000"}}, 26},
        {{{19, "0"}, {27, "-5"}}, 27},
        {{{19, "0"}, {28, "1"}}, 28},  // beta deviate of the step parameter would exit
        {{{19, "0"}, {28, "-0.2"}}, 28},
        {{{36, "-10"}}, 36},
        {{{37, "1.01"}}, 37},
        {{{38, "-0.1"}}, 38},
        {{{39, "0"}}, 39},
        {{{39, "-2"}}, 39},
        {{{40, "-100"}}, 40},
        {{{3, "// no node file"}}, 3},
        {{{15, "1"}, {5, "   "}}, 5},
        {{{4, std::string(9990, 's')}}, 4},  // too long once joined to the folder
    };
    for (const Refused& c : cases) {
        const Outcome r = readSettingsText(settingsText(c.lines));
        const std::string label = "line " + std::to_string(c.line);
        EXPECT_FALSE(r.ok) << label;
        EXPECT_TRUE(r.fatal) << label;
        EXPECT_NE(r.console.find("\nSettings file, " + label + " ("), std::string::npos) << r.console;
        EXPECT_NE(r.message.find("settings.txt', " + label + ": the "), std::string::npos) << r.message;
        // Nothing is echoed: the run never starts.
        EXPECT_EQ(r.console.find("General Settings"), std::string::npos) << label;
    }
}

TEST(SettingsChecks, BlankLinesMoveTheReportedLine) {
    // Two blank lines before line 21 (blank lines between values are passed over).
    const Outcome r = readSettingsText(settingsText({{20, "1\n\n"}, {37, "3"}}));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.console.find("line 39 (migration rate of un-colonised segments)"), std::string::npos) << r.console;
}

TEST(SettingsChecks, ValuesWithAnOutcomeOfTheModelAreKept) {
    const std::map<int, std::string> kept[] = {
        {{20, "0"}},              // the genetic phase raises its own fatal error
        {{16, "-2"}},             // no entire simulation
        {{14, "7"}},              // overflow rate outside 0..1: the whole surplus moves
        {{8, "9"}},               // unknown model: its own fatal error at the first generation
        {{9, "0"}, {18, "0"}},    // nothing to simulate, nothing to walk back
        {{19, "4"}, {23, "5"}},   // SNPs are placed without the mutation rate
        {{25, "0"}, {26, "-3"}},  // no rate variation: the categories are not used
        {{19, "0"}, {23, "0.0005"}, {27, "20"}, {28, "0.3"}},
        {{19, "2"}, {28, "5"}, {27, "-1"}},  // microsatellite fields of DNA data are not used
        {{37, "0"}, {38, "1"}, {39, "1e6"}},
        {{15, "0"}, {5, "//"}},  // no dynamic environment: its file is not read
    };
    for (const auto& lines : kept) {
        const Outcome r = readSettingsText(settingsText(lines));
        EXPECT_TRUE(r.ok) << r.console << r.message;
    }
}

TEST(SettingsChecks, AFileNameLineBeyondTheTextLimitIsAReadFailure) {
    // The line reader stops after 9999 characters: the name would be cut.
    const Outcome r = readSettingsText(settingsText({{3, std::string(12000, 'n')}}));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.console.find("line 3 (node file): the line is longer than 9999 characters!"), std::string::npos);
    // A comment does not make a line longer than that readable: its end is
    // never read.
    const Outcome comment = readSettingsText(settingsText({{3, "nodes.txt // " + std::string(12000, 'c')}}));
    EXPECT_FALSE(comment.ok);
    EXPECT_NE(comment.console.find("line 3 (node file): the line is longer than 9999 characters!"), std::string::npos);
    EXPECT_TRUE(readSettingsText(settingsText({{3, "nodes.txt // " + std::string(9986, 'c')}})).ok);  // 9999
}

TEST(SettingsChecks, DataTypeBeyondEightBitsIsAReadFailure) {
    // 256 would be stored as 0 (MICROSAT) without a word.
    const Outcome r = readSettingsText(settingsText({{19, "256"}}));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.console.find("line 19 (data type)"), std::string::npos);
    EXPECT_NE(r.message.find("could not be read!"), std::string::npos);
}

TEST(SettingsChecks, EmptyFileAndFolderSayWhatIsWrong) {
    const Outcome empty = readSettingsText("");
    EXPECT_NE(empty.console.find("line 7 (carrying capacity): the file ends before this value!"), std::string::npos)
        << empty.console;

    TempFolder temp;
    std::filesystem::create_directories(temp.path() / "settings.txt");
    Settings settings;
    try {
        settings.readSettings(Text("p"), Text(temp.folder() + "settings.txt"), 0);
        FAIL();
    } catch (const SimulationError& e) {
        EXPECT_NE(e.message().str().find("could not be opened!"), std::string::npos);
    }
}

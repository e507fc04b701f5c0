// The console texts of the program, run as a real process.
#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"

using testing_support::runProgram;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Console, HelpTextEndsWithStatusZeroAndNoClosingLine) {
    for (const char* flag : {"-h", "-H"}) {
        const auto r = runProgram({flag});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output.rfind(std::string("\nFluviagen    (") + flag + ")\n*************\nDate: ", 0), 0u);
        EXPECT_TRUE(contains(r.output, "\nThe program FLUVIAGEN allows to simulate genetic diversity\n"));
        EXPECT_TRUE(contains(r.output, "Exiting FLUVIAGEN (please press any key)...\n\n"));
        EXPECT_FALSE(contains(r.output, "Program terminated!"));
    }
}

TEST(Console, WrongNumberOfParameters) {
    const auto r = runProgram({"a", "b", "c"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "\n ERROR: You passed 3 parameters!\n\n"));
    EXPECT_TRUE(contains(r.output, "2 parameters: number of entire simulations to perform (optional \n"));
    EXPECT_FALSE(contains(r.output, "Program terminated!"));
    EXPECT_FALSE(contains(r.output, "    (a)"));  // the banner names the path only for one or two parameters
    // The reason on standard error, also in a quiet call; options after --
    // are parameters, and named as such.
    struct Row {
        std::vector<std::string> words;
        std::string error;
    };
    const Row rows[] = {
        {{"a", "b", "c"}, "fluviagen: 3 parameters given, but the program takes at most two"},
        {{"-q", "a", "b", "c"}, "fluviagen: 3 parameters given"},
        {{"-q", "--", "s.txt", "--seed", "5"}, "'--seed' stood after --, where no word is an option"},
        {{"-q", "--", "/no/such/s.txt", "--quiet"}, "'--quiet' stands after --, where every word is a parameter"},
    };
    for (const Row& row : rows) {
        const auto quiet = runProgram(row.words, "", "", "", 0, StandardError::Apart);
        EXPECT_EQ(quiet.status, 1);
        EXPECT_TRUE(contains(quiet.errors, row.error)) << quiet.errors;
    }
}

TEST(Console, MissingSettingsFileIsAnUnhandledFatalError) {
    const auto r = runProgram({"/no/such/settings.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output,
                         "\nUnhandled ERROR: \nFATAL ERROR: File '/no/such/settings.txt' could not be "
                         "opened!\n\nProgram terminated! (Duration: "));
    EXPECT_TRUE(contains(r.output, ")\nAfter here, only calls to destructors.\n"));
}

TEST(Console, PromptsForThePathAndSkipsLeadingBlanks) {
    const auto r = runProgram({}, "   \t/no/such/prompted.txt\n");
    EXPECT_TRUE(contains(r.output, "\n\nEnter the path of a settings file: "));
    EXPECT_TRUE(contains(r.output, "File '/no/such/prompted.txt' could not be opened!"));
}

TEST(Console, DateLineIsFollowedByAnEmptyLine) {
    const auto r = runProgram({"/no/such/file"});
    const auto date = r.output.find("\nDate: ");
    ASSERT_NE(date, std::string::npos);
    const auto end = r.output.find('\n', date + 1);
    EXPECT_EQ(r.output.substr(end, 2), "\n\n");
}

TEST(Console, SeedVariableIsCheckedAndShown) {
    TempFolder temp;
    const std::string settings = temp.write("settings.txt", testing_support::settingsText({{16, "0"}}));
    const auto good = runProgram({settings}, "", "12345");
    EXPECT_TRUE(contains(good.output, "Random generator initialized with seed = -12345\n"));
    EXPECT_TRUE(contains(good.output, "0 of 0 Simulations succeeded!"));
    EXPECT_EQ(good.status, 0);
    EXPECT_TRUE(contains(runProgram({settings}, "", "-77").output, "seed = -77\n"));

    for (const char* bad : {"0", "161803399", "12x", "abc"}) {
        const auto r = runProgram({settings}, "", bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(contains(r.output, "FLUVIAGEN_SEED")) << bad;
        EXPECT_TRUE(contains(r.output, "161803398")) << bad;
    }
}

TEST(Console, SecondParameterSetsTheNumberOfRuns) {
    TempFolder temp;
    const std::string settings = temp.write("settings.txt", testing_support::settingsText({{16, "4"}}));
    EXPECT_TRUE(contains(runProgram({settings, "0"}, "", "5").output, "*  4 demographic simulations"));
    EXPECT_TRUE(contains(runProgram({settings, "abc"}, "", "5").output, "*  4 demographic simulations"));
    const auto zero = runProgram({settings, "-3"}, "", "5");
    EXPECT_TRUE(contains(zero.output, "*  -3 demographic simulations"));
    EXPECT_TRUE(contains(zero.output, "0 of 0 Simulations succeeded!"));
}

TEST(Console, ASecondParameterBeyondThirtyTwoBitsIsRefused) {
    // strtol and a cast once made 2147483648 "0 of 0" runs and 99999999999
    // 1215752191 runs.
    TempFolder temp;
    const std::string settings = temp.write("settings.txt", testing_support::settingsText({{16, "4"}}));
    const std::string range =
        "' must be a whole number of entire simulations from -2147483648 ... 2147483647 (0 or no "
        "number: the number of the settings file)!";
    for (const char* bad : {"2147483648", "99999999999", "-2147483649", "1e10", "12x", "2.5", "0,5"}) {
        const auto r = runProgram({settings, bad}, "", "5");
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(
            contains(r.output, std::string("\nUnhandled ERROR: \nFATAL ERROR: The second parameter '") + bad + range))
            << r.output;
        EXPECT_FALSE(contains(r.output, "ERROR: You passed")) << bad;
        EXPECT_FALSE(contains(r.output, "General Settings")) << bad;  // refused before the settings are read
    }
    const auto lowest = runProgram({settings, "-2147483648"}, "", "5");
    EXPECT_EQ(lowest.status, 0);
    EXPECT_TRUE(contains(lowest.output, "*  -2147483648 demographic simulations"));
    EXPECT_TRUE(contains(lowest.output, "0 of 0 Simulations succeeded!"));
    const auto exponent = runProgram({settings, "1e0"}, "", "5");
    EXPECT_TRUE(contains(exponent.output, "*  1 demographic simulations")) << exponent.output;
}

TEST(Console, APromptedPathLongerThanALineIsRefused) {
    const auto r = runProgram({}, std::string(20000, 'p') + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FATAL ERROR: The path of the settings file is longer than 9999 characters!"));
}

TEST(Console, SamplesWithoutGenesAreRefusedAfterTheFirstAttempt) {
    // Every sample with 0 genes: the first entire simulation fails with its
    // own message, and the call ends then instead of repeating it.
    TempFolder temp;
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n3 20.02 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n2 3 2 785 20.015 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", "2\n0\nName Genes SegID\nA 0 1\nB 0 2\n");
    const std::string settings =
        temp.write("settings.txt", testing_support::settingsText({{7, "10"}, {8, "4"}, {9, "20"}, {17, "1"}}));
    const auto r = runProgram({settings}, "", "5", "", 120, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "ERROR OF CURRENT SIMULATION: ReadGeneticSamples() messed up!"));
    EXPECT_TRUE(contains(r.output, "***** 1. run")) << r.output;
    EXPECT_FALSE(contains(r.output, "***** 2. run")) << r.output;
    EXPECT_TRUE(contains(r.errors, "samples.txt' holds 0 gene copies")) << r.errors;
}

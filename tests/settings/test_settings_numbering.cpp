// Settings files that number their lines in the comment: a line deleted or
// added is pointed out on standard error before the value error it causes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::defaultSettingsLines;
using testing_support::TempFolder;

namespace {

// The default lines, numbered as the shipped settings files number them.
std::vector<std::string> numberedLines() {
    std::vector<std::string> lines = defaultSettingsLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto comment = lines[i].find("//");
        if (i == 5 || comment == std::string::npos) continue;  // the heading holds no value
        lines[i] = lines[i].substr(0, comment) + "// " + std::to_string(i + 1) + " " + lines[i].substr(comment + 2);
    }
    return lines;
}

std::string errorsOfReading(const std::vector<std::string>& lines) {
    TempFolder temp;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    const std::string path = temp.write("settings.txt", text);
    Settings settings;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        settings.readSettings(Text("fluviagen"), Text(path), 0);
    } catch (const SimulationError&) {
    }
    testing::internal::GetCapturedStdout();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(SettingsNumbering, PointsAtTheFirstLineWhoseNumberDisagrees) {
    struct Row {
        const char* what;
        int erase;             // 0-based line removed, or -1
        int duplicate;         // 0-based line repeated, or -1
        std::string expected;  // part of standard error; empty: nothing said
    };
    const Row rows[] = {
        {"numbered and whole", -1, -1, ""},
        {"line 12 deleted", 11, -1,
         "Settings file, line 12: its comment numbers it 13, but it is read as line 12 (growth rate): a line may be "
         "missing or added above it"},
        {"line 21 twice", -1, 20,
         "Settings file, line 22: its comment numbers it 21, but it is read as line 22 "
         "(genotypic output)"},
        {"line 3 deleted", 2, -1,
         "Settings file, line 3: its comment numbers it 4, but it is read as line 3 (node file)"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> lines = numberedLines();
        if (row.erase >= 0) lines.erase(lines.begin() + row.erase);
        if (row.duplicate >= 0)
            lines.insert(lines.begin() + row.duplicate, lines[static_cast<std::size_t>(row.duplicate)]);
        const std::string errors = errorsOfReading(lines);
        if (row.expected.empty())
            EXPECT_EQ(errors.find("its comment numbers"), std::string::npos) << row.what << ": " << errors;
        else
            EXPECT_NE(errors.find(row.expected), std::string::npos) << row.what << ": " << errors;
        // Said once, before whatever the shifted values cause.
        EXPECT_EQ(errors.find("its comment numbers", errors.find("its comment numbers") + 1), std::string::npos)
            << row.what;
    }
    // Comments with other numbers in them are no numbering.
    std::vector<std::string> lines = defaultSettingsLines();
    lines[11] = "0.5  // 0.5 is a fast growth";
    lines[12] = "0    // 2020 value";
    EXPECT_EQ(errorsOfReading(lines).find("its comment numbers"), std::string::npos);
}

// Reading the records of a free-format drainage file, and the word at which
// the file stops making sense.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "drainage/readers/RecordProblem.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::TempFolder;

namespace {

// The problem at the first bad word, after intsBefore whole numbers.
RecordProblem failAt(const std::string& text, int intsBefore) {
    std::istringstream in(text);
    WordReader words(in);
    RecordFields fields(words);
    std::int32_t value = 0;
    for (int i = 0; i < intsBefore; ++i) EXPECT_TRUE(fields.read("field", value));
    EXPECT_FALSE(fields.read("field", value));  // the failing value
    EXPECT_TRUE(fields.failed());
    EXPECT_FALSE(fields.read("field", value));  // the record has stopped
    return fields.problem();
}

}  // namespace

TEST(RecordProblem, NamesTheLineAndTheWholeWord) {
    const auto text = failAt("1 2\n3 four 5\n", 3);
    EXPECT_EQ(text.line, 2);
    EXPECT_EQ(text.word, "four");
    const auto big = failAt("1\n\n  4294967296 7\n", 1);
    EXPECT_EQ(big.line, 3);
    EXPECT_EQ(big.word, "4294967296");
    // Digits followed by letters are one word, and no number.
    const auto mixed = failAt("12abc 5\n", 0);
    EXPECT_EQ(mixed.word, "12abc");
    EXPECT_EQ(failAt("7 1e3x\n", 1).word, "1e3x");
}

TEST(RecordProblem, LongAndBinaryWordsAreCutAndMadePrintable) {
    const auto problem = failAt("1 " + std::string(100, 'z') + "\n", 1);
    EXPECT_EQ(problem.word, std::string(40, 'z') + "...");
    const auto binary = failAt(std::string("1 \x01\x02x\n", 6), 1);
    EXPECT_EQ(binary.word, "??x");
}

TEST(RecordProblem, TheEndOfTheFileIsNoProblem) {
    std::istringstream in("5 20.5\n");
    WordReader words(in);
    RecordFields fields(words);
    std::int32_t id = 0;
    float lon = -1;
    float lat = -1;
    EXPECT_TRUE(fields.read("id", id) && fields.read("lon", lon));
    EXPECT_FALSE(fields.read("lat", lat));
    EXPECT_TRUE(fields.atEnd());
    EXPECT_FALSE(fields.failed());
    EXPECT_EQ(lat, -1.0f);  // left as it was
}

TEST(RecordProblem, FoldersAreRecognised) {
    TempFolder temp;
    EXPECT_TRUE(isFolder(Text(temp.folder())));
    EXPECT_FALSE(isFolder(Text(temp.write("f.txt", "x"))));
    EXPECT_FALSE(isFolder(Text(temp.folder() + "missing")));
}

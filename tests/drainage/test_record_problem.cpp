// Locating the word at which a free-format drainage file stops making sense.
#include <gtest/gtest.h>

#include <fstream>

#include "drainage/readers/RecordProblem.h"
#include "support/TestFiles.h"

using testing_support::TempFolder;

namespace {

RecordProblem failAt(const std::string& text, int intsBefore) {
    TempFolder temp;
    const std::string path = temp.write("file.txt", text);
    std::ifstream in(path, std::ios::binary);
    int value = 0;
    for (int i = 0; i < intsBefore; ++i) in >> value;
    in >> value;  // the failing extraction
    EXPECT_TRUE(in.fail());
    return locateFailedValue(in, my_string(path));
}

}  // namespace

TEST(RecordProblem, NamesTheLineAndTheWholeWord) {
    // A word that is not a number is not consumed by the extraction.
    const auto text = failAt("1 2\n3 four 5\n", 3);
    EXPECT_EQ(text.line, 2);
    EXPECT_EQ(text.word, "four");
    // A number out of range is consumed: the word is found again.
    const auto big = failAt("1\n\n  4294967296 7\n", 1);
    EXPECT_EQ(big.line, 3);
    EXPECT_EQ(big.word, "4294967296");
    // Digits followed by letters: the whole word is shown.
    const auto mixed = failAt("12abc 5\n", 1);
    EXPECT_EQ(mixed.word, "12abc");
}

TEST(RecordProblem, LongAndBinaryWordsAreCutAndMadePrintable) {
    const auto problem = failAt("1 " + std::string(100, 'z') + "\n", 1);
    EXPECT_EQ(problem.word, std::string(40, 'z') + "...");
    const auto binary = failAt(std::string("1 \x01\x02x\n", 6), 1);
    EXPECT_EQ(binary.word, "??x");
}

TEST(RecordProblem, FoldersAreRecognised) {
    TempFolder temp;
    EXPECT_TRUE(isFolder(my_string(temp.folder())));
    EXPECT_FALSE(isFolder(my_string(temp.write("f.txt", "x"))));
    EXPECT_FALSE(isFolder(my_string(temp.folder() + "missing")));
}

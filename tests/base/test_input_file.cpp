// The one opener of the input files, and the free-format word reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "base/Exception.h"
#include "base/InputFile.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::TempFolder;

TEST(InputFile, OnlyRegularFilesAreOpened) {
    TempFolder temp;
    const std::string dir = temp.folder();
    temp.write("file.txt", "x");
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir + "zero");
    std::filesystem::create_symlink(dir + "file.txt", dir + "link.txt");
    const std::string device = "' is not a regular file (a device, a pipe or a socket cannot be read as input)!";
    // A FIFO would block the open until a writer comes; /dev/zero never ends.
    const std::pair<std::string, std::string> cases[] = {
        {"file.txt", ""},
        {"link.txt", ""},
        {"fifo", device},
        {"zero", device},
        {"", "' could not be opened!"},
        {"missing", "' could not be opened!"},
    };
    for (const auto& [name, message] : cases) {
        try {
            openInputFile(Text(dir + name));
            EXPECT_EQ(message, "") << name;
        } catch (const SimulationError& e) {
            EXPECT_EQ(e.message().str(), "File '" + dir + name + message);
            EXPECT_TRUE(e.isFatal());
        }
    }
}

TEST(WordReader, WordsWithTheirLines) {
    std::istringstream in("1 2.5\r\n\n  three\t" + std::string(9990, '7') + "\n4");
    WordReader words(in, 5);
    std::string word;
    const std::pair<std::size_t, int> expected[] = {{1, 5}, {3, 5}, {5, 7}, {9990, 7}, {1, 8}};
    for (const auto& [size, line] : expected) {
        ASSERT_TRUE(words.next(word));
        EXPECT_EQ(word.size(), size);
        EXPECT_EQ(words.line(), line) << word.substr(0, 5);
    }
    EXPECT_FALSE(words.next(word));
    EXPECT_EQ(words.tooLongLine(), 0);
    std::istringstream blanks(" \n ");
    EXPECT_FALSE(WordReader(blanks).next(word));
}

TEST(WordReader, ALineLongerThanTheLimitStopsTheReading) {
    // The same rule as every line-based reader: 9999 characters, the line
    // end (and a CR before it) not counted, blanks counted.
    const struct {
        std::string text;
        int tooLong;  // the line refused, 0 for none
        int words;    // words read before
    } cases[] = {
        {"1\n" + std::string(9999, '7') + "\r\n2", 0, 3},
        {"1\n" + std::string(9999, '7') + "\n", 0, 2},
        {"1\n" + std::string(10000, '7') + "\n2", 2, 1},
        {"1 2\n3 " + std::string(9998, ' ') + "4\n", 2, 3},
        {std::string(30000, '\0'), 1, 0},
        {"1\n" + std::string(5000, ' ') + std::string(5000, '\t'), 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 12));
        std::istringstream in(c.text);
        WordReader words(in);
        std::string word;
        int read = 0;
        while (words.next(word)) ++read;
        EXPECT_EQ(read, c.words);
        EXPECT_EQ(words.tooLongLine(), c.tooLong);
    }
}

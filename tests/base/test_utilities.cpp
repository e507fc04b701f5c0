#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <tuple>
#include <string>

#include "base/Utilities.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using testing_support::TempFolder;

TEST(MyString, KeepsItsLengthLimits) {
    const std::string t9999(9999, 'a'), t10000(10000, 'a'), t10001(10001, 'a');
    EXPECT_EQ(Text(t9999.c_str()).length(), 9999);
    EXPECT_TRUE(Text(t10000.c_str()).empty());  // construction: 10000 or more gives empty

    Text s("keep");
    s = t10001.c_str();  // assignment of 10001 leaves the target unchanged
    EXPECT_EQ(s, "keep");
    s = t10000.c_str();  // 10000 is still accepted by assignment
    EXPECT_EQ(s.length(), 10000);

    Text full;
    full = t10000.c_str();
    full += 'x';  // a character beyond 10000 is refused
    EXPECT_EQ(full.length(), 10000);
    Text half(std::string(5000, 'b'));
    EXPECT_TRUE((half + Text(std::string(5001, 'c'))).empty());  // concatenation over the limit
    EXPECT_EQ((half + Text(std::string(5000, 'c'))).length(), 10000);
    half += Text(std::string(5001, 'c'));
    EXPECT_EQ(half.length(), 5000);
}

TEST(MyString, TextOperations) {
    Text s("name.ext // comment");
    EXPECT_EQ(s.find('.'), 4);
    EXPECT_EQ(s.findLast('m'), 15);
    EXPECT_EQ(s.find(Text("//")), 9);
    EXPECT_FALSE(s.contains(Text("")));
    EXPECT_EQ(s.beforeComment(), "name.ext");
    EXPECT_EQ(s.before('.'), "name");
    EXPECT_EQ(s.after(4).left(3), "ext");
    EXPECT_EQ(s.between(5, 2), "");
    Text blanks(" a b\tc ");
    blanks.removeBlanks();
    EXPECT_EQ(blanks, "abc");
    EXPECT_EQ(Text("42").toInt(), 42);
    EXPECT_EQ(Text("0").toInt(), 0);
    EXPECT_EQ(Text("abc").toInt(), -1);
    EXPECT_EQ(Text("x") + 7, "x7");
    EXPECT_EQ(Text("x") + 1.5f, "x1.500000");
}

TEST(MyString, FolderAndFileName) {
    EXPECT_EQ(folderOf(Text("settings.txt")), "");
    EXPECT_EQ(fileNameOf(Text("settings.txt")), "settings.txt");
    EXPECT_EQ(folderOf(Text("a/b\\c/settings.txt")), "a/b\\c/");
    EXPECT_EQ(fileNameOf(Text("a/b\\c.d")), "c.d");
}

TEST(StreamReaders, LinesWordsAndTokens) {
    std::istringstream in(" \t\rfirst line\r\nsecond\nthird\r");
    Text text;
    EXPECT_TRUE(readLine(text, in));
    EXPECT_EQ(text, "first line");  // leading blanks and the CR of CR LF dropped
    EXPECT_TRUE(readLine(text, in));
    EXPECT_EQ(text, "second");
    EXPECT_TRUE(readLine(text, in));
    EXPECT_EQ(text, "third");  // a CR right before the end of the input ends the line too
    EXPECT_TRUE(readLine(text, in));
    EXPECT_EQ(text, "");

    std::istringstream words("one two\tthree\r\n");
    EXPECT_EQ(readWord(text, words), "one");
    EXPECT_EQ(readWord(text, words), "two");
    EXPECT_EQ(readWord(text, words), "three");

    std::istringstream tokens("  alpha beta\nnext");
    EXPECT_EQ(readToken(text, tokens), "alpha");
    EXPECT_EQ(readToken(text, tokens), "beta");
    EXPECT_EQ(tokens.peek(), '\n');  // the line end stays for the next reader
}

TEST(StreamReaders, ALineLongerThanTheLimitIsNotReadToItsEnd) {
    // The line, whether it is read whole, and what the next reader gets.
    const std::tuple<std::string, bool, std::size_t> cases[] = {
        {std::string(9999, 'x') + "\r", true, 4},  // the CR of CR LF is no character of the line
        {std::string(10000, 'x'), false, 0},
        {std::string(9990, ' ') + "0123456789", false, 0},  // leading blanks count
        {std::string(20000, '\0'), false, 10000},
    };
    for (const auto& [line, whole, left] : cases) {
        std::istringstream in(line + "\nnext\n");
        Text text;
        EXPECT_EQ(readLine(text, in), whole) << line.size();
        std::string rest;
        std::getline(in, rest);
        EXPECT_EQ(rest.size(), left);
        if (whole) {
            EXPECT_EQ(text.length(), 9999);
        }
    }
    // Like /dev/zero, but of letters: every reader stops.
    struct Letters : std::streambuf {
        char letters[4096];
        int_type underflow() override {
            std::fill(std::begin(letters), std::end(letters), 'x');
            setg(letters, letters, letters + sizeof letters);
            return 'x';
        }
    } endless;
    std::istream in(&endless);
    Text text;
    EXPECT_FALSE(readLine(text, in));
    EXPECT_EQ(readWord(text, in).length(), 10000);
    EXPECT_EQ(readToken(text, in).length(), 10000);
}

TEST(StreamReaders, ByteOrderMarkIsSkipped) {
    std::istringstream withMark("\xEF\xBB\xBFname\n");
    skipByteOrderMark(withMark);
    Text text;
    EXPECT_TRUE(readLine(text, withMark));
    EXPECT_EQ(text, "name");
    std::istringstream without("\xEFname\n");
    skipByteOrderMark(without);
    EXPECT_TRUE(readLine(text, without));
    EXPECT_EQ(text, "\xEFname");
}

TEST(FormatDuration, RangeBoundaries) {
    EXPECT_EQ(formatDuration(5.25), "5.250 sec");
    EXPECT_EQ(formatDuration(0.05), "0.050 sec");
    EXPECT_EQ(formatDuration(59.999), "59.999 sec");
    EXPECT_EQ(formatDuration(60), "1 min 0 sec");
    EXPECT_EQ(formatDuration(125.9), "2 min 5 sec");
    EXPECT_EQ(formatDuration(3599), "59 min 59 sec");
    EXPECT_EQ(formatDuration(3600), "1 h 0 min");
    EXPECT_EQ(formatDuration(3725), "1 h 2 min");
    EXPECT_EQ(formatDuration(86399), "23 h 59 min");
    EXPECT_EQ(formatDuration(90000), "1 d 1 h");
}

TEST(DateString, HasTheFixedLayout) {
    const std::string date = dateString().str();
    // "Sun Dec 06 11:32:15 2026\n"
    ASSERT_GE(date.size(), 25u);
    EXPECT_EQ(date.back(), '\n');
    EXPECT_EQ(date[3], ' ');
    EXPECT_EQ(date[7], ' ');
    EXPECT_EQ(date[10], ' ');
    EXPECT_EQ(date[13], ':');
    EXPECT_EQ(date[16], ':');
}

TEST(ZeroPad, PadsToTheWidthOfTheModel) {
    EXPECT_EQ(zeroPad(12, 5), "12");
    EXPECT_EQ(zeroPad(3, 1000), "0003");
    EXPECT_EQ(zeroPad(7, 100), "007");
}

TEST(OutputFileName, NumbersAndCreatesFolders) {
    TempFolder temp;
    const Text folder(temp.folder());
    EXPECT_EQ(outputFileName(folder, Text("GeneticOutput/run.arp"), 7, 100),
              (temp.folder() + "GeneticOutput/run_007.arp").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() / "GeneticOutput"));
    EXPECT_EQ(outputFileName(folder, Text("run.arp"), 7, -1), (temp.folder() + "run_7.arp").c_str());
    EXPECT_EQ(outputFileName(folder, Text("a/b/run.x.y")), (temp.folder() + "a/b/run.x.y").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(temp.path() / "a" / "b"));

    // A file standing where a folder is needed: the folder cannot be made.
    temp.write("blocked", "");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(outputFileName(folder, Text("blocked/out.txt")).empty());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Cannot create the folder: "), std::string::npos);
}

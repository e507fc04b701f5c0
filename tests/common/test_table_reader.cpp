// The reader of the exchanged tables: CSV quoting, tabs, blank lines, strict
// numbers, and messages that name the file and line.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/ExchangeTables.h"
#include "common/TableReader.h"
#include "support/TestFiles.h"

using testing_support::TempFolder;
using Rows = std::vector<std::vector<std::string>>;

namespace {

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const common::InputError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(TableReader, ReadsFieldsAsWritten) {
    const struct {
        std::string text;
        char separator;
        std::vector<std::string> header;
        Rows rows;
        std::vector<int> lines;
    } cases[] = {
        {"a,b\n1,2\n", ',', {"a", "b"}, {{"1", "2"}}, {2}},
        {"a,b\n\"x,1\",\"say \"\"hi\"\"\"\n", ',', {"a", "b"}, {{"x,1", "say \"hi\""}}, {2}},
        {"a\tb\n1\t\"2\t3\"\n", '\t', {"a", "b"}, {{"1", "2\t3"}}, {2}},
        {"a\tb\n1,5\t2\n", '\t', {"a", "b"}, {{"1,5", "2"}}, {2}},
        {"a,b\n\n1,2\n\n3,4\n", ',', {"a", "b"}, {{"1", "2"}, {"3", "4"}}, {3, 5}},
        {"a,b\r\n1,2\r\n", ',', {"a", "b"}, {{"1", "2"}}, {2}},
        {"a,b,c\n,,\n", ',', {"a", "b", "c"}, {{"", "", ""}}, {2}},
        {"a\nx\"y\n", ',', {"a"}, {{"x\"y"}}, {2}},  // a quote inside a field is a character
        {"a,b\n", ',', {"a", "b"}, {}, {}},
        {"a,b\n1,2", ',', {"a", "b"}, {{"1", "2"}}, {2}},  // no line end after the last row
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        const common::Table t = common::readTable(folder.write("t.csv", c.text), c.separator);
        EXPECT_EQ(t.header, c.header);
        EXPECT_EQ(t.rows, c.rows);
        EXPECT_EQ(t.lines, c.lines);
    }
}

TEST(TableReader, BadTablesAreNamedWithTheirFileAndLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"", "is empty: a header row was expected"},
        {"a,b\n1\n", "line 2: 1 fields where the header has 2"},
        {"a,b\n1,2\n\n1,2,3\n", "line 4: 3 fields where the header has 2"},
        {"a,b\n1,2\n3,\"4\n", "line 3: a quoted field is not closed"},
        {"\"a,b\n", "line 1: a quoted field is not closed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        const std::string path = folder.write("t.csv", c.text);
        const std::string message = errorOf([&] { common::readTable(path); });
        EXPECT_NE(message.find("'" + path + "'"), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    EXPECT_EQ(errorOf([] { common::readTable("/no/such/t.csv"); }), "'/no/such/t.csv' cannot be read");
}

// Numbers are the whole field in from_chars' spelling: no sign '+', no
// blanks, nothing after the number; reals are finite.
TEST(TableReader, NumbersAreStrict) {
    const struct {
        std::string text;
        std::optional<long> whole;
        std::optional<double> real;
    } cases[] = {
        {"12", 12, 12.0},
        {"-3", -3, -3.0},
        {"0.25", std::nullopt, 0.25},
        {"1e3", std::nullopt, 1000.0},
        {"1e-06", std::nullopt, 1e-6},
        {"+3", std::nullopt, std::nullopt},
        {" 3", std::nullopt, std::nullopt},
        {"3 ", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"1,5", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"NA", std::nullopt, std::nullopt},
        {"99999999999999999999", std::nullopt, 1e20},
        {"1e400", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(common::strictNumber<long>(c.text), c.whole);
        EXPECT_EQ(common::strictNumber<double>(c.text), c.real);
    }
    EXPECT_EQ(common::strictNumber<int>("4294967296"), std::nullopt);
}

TEST(TableReader, ABadNumberOrAMissingColumnIsNamed) {
    TempFolder folder;
    const std::string path = folder.write("t.csv", "a,b\n1,2\n\n3,x\n4,\n");
    const common::Table t = common::readTable(path);
    EXPECT_EQ(t.number<long>(0, 1), 2);
    EXPECT_EQ(errorOf([&] { t.number<long>(1, 1); }), "'" + path + "', line 4: column b holds 'x', not a number");
    EXPECT_EQ(t.optionalNumber<double>(2, 1), std::nullopt);
    EXPECT_EQ(errorOf([&] { t.number<double>(2, 1); }), "'" + path + "', line 5: column b holds '', not a number");
    EXPECT_EQ(errorOf([&] { t.column("c"); }), "'" + path + "': the header has no column 'c'");
}

// Declared columns are found by name wherever they stand; a missing required
// one is named, a missing optional one is absent.
TEST(TableReader, DeclaredColumnsAreFoundByName) {
    static constexpr common::FieldDeclaration columns[] = {
        {"id", common::FieldKind::whole}, {"x", common::FieldKind::real}, {"late", common::FieldKind::flag}};
    constexpr common::TableDeclaration declaration{"_t.csv", ',', columns, 2};
    EXPECT_EQ(declaration.headerLine(), "id,x,late\n");
    TempFolder folder;
    const auto found =
        common::declaredColumns(common::readTable(folder.write("a.csv", "x,id,more\n1,2,3\n")), declaration);
    EXPECT_EQ(found, (std::vector<std::optional<std::size_t>>{1, 0, std::nullopt}));
    const std::string path = folder.write("b.csv", "id,late\n1,0\n");
    EXPECT_EQ(errorOf([&] { common::declaredColumns(common::readTable(path), declaration); }),
              "'" + path + "': the header has no column 'x'");
}

// What csvField writes reads back as the same text. A line end inside a
// field is refused with the file's name (a record is one line; the writers
// put no line ends into names).
TEST(TableReader, QuotedFieldsReadBackAsWritten) {
    const std::vector<std::string> texts{"plain", "a,b", "say \"hi\"", "\"", "x;y", "", "  blanks  ", "\"a\",b"};
    std::string table = "name,after\n";
    for (const std::string& text : texts) table += common::csvField(text) + ",z\n";
    TempFolder folder;
    const common::Table t = common::readTable(folder.write("q.csv", table));
    std::vector<std::string> back;
    for (const auto& row : t.rows) back.push_back(row[0]);
    EXPECT_EQ(back, texts);
    const std::string withLineEnd = folder.write("n.csv", "name\n" + common::csvField("a\nb") + "\n");
    EXPECT_NE(errorOf([&] { common::readTable(withLineEnd); }).find("line 2: a quoted field is not closed"),
              std::string::npos);
}

// The tables fluviagen writes are the tables the map program reads: every
// declared column stands in the written header in declared order, every
// field holds what its kind says, and the map's readers take the files whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/ExchangeTables.h"
#include "common/TableReader.h"
#include "map/MapData.h"
#include "map/SmallRiver.h"
#include "support/TestFiles.h"

using namespace map;

namespace fs = std::filesystem;
using testing_support::TempFolder;

namespace {

bool fits(common::FieldKind kind, const std::string& text) {
    using common::FieldKind;
    const bool whole = common::strictNumber<long>(text).has_value();
    const bool real = common::strictNumber<double>(text).has_value();
    switch (kind) {
        case FieldKind::whole:
            return whole;
        case FieldKind::wholeOrEmpty:
            return whole || text.empty();
        case FieldKind::wholeOrNA:
            return whole || text == "NA";
        case FieldKind::real:
            return real;
        case FieldKind::realOrEmpty:
            return real || text.empty();
        case FieldKind::realOrNA:
            return real || text == "NA";
        case FieldKind::flag:
            return text == "0" || text == "1";
        case FieldKind::text:
            return true;
    }
    return false;
}

std::vector<std::string> names(std::span<const common::FieldDeclaration> fields) {
    std::vector<std::string> out;
    for (const auto& f : fields) out.emplace_back(f.name);
    return out;
}

// Every field of a written table holds its declared kind.
void expectKinds(const common::Table& t, std::span<const common::FieldDeclaration> columns) {
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        for (std::size_t c = 0; c < columns.size(); ++c)
            EXPECT_TRUE(fits(columns[c].kind, t.rows[r][c]))
                << t.where(r) << ": " << columns[c].name << " holds '" << t.rows[r][c] << "'";
}

}  // namespace

TEST(ExchangedTables, WhatFluviagenWritesTheMapReads) {
    TempFolder folder;
    writeSmallRiver(folder, "North,1\t3\t2\nSouth\t3\t3\n");
    folder.write("settings.txt", testing_support::settingsText({{9, "30"}, {32, "1"}}));
    const auto run = testing_support::runProgram({"settings.txt"}, "", "4", folder.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string base = (folder.path() / "GeneticOutput" / "settings_samples_DNA").string();

    for (const common::TableDeclaration* table :
         {&common::segmentsTable, &common::colonisationTable, &common::mapInfoTable, &common::statisticsTable}) {
        SCOPED_TRACE(std::string(table->suffix));
        const common::Table t = common::readTable(base + std::string(table->suffix), table->separator);
        EXPECT_EQ(t.header, names(table->columns));
        EXPECT_FALSE(t.rows.empty());
        expectKinds(t, table->columns);
    }
    // The map information: every declared key once, in declared order, each
    // value of its kind.
    const common::Table info = common::readTable(base + std::string(common::mapInfoTable.suffix));
    ASSERT_EQ(info.rows.size(), std::size(common::mapInfoKeys));
    for (std::size_t k = 0; k < info.rows.size(); ++k) {
        EXPECT_EQ(info.rows[k][0], common::mapInfoKeys[k].name);
        EXPECT_TRUE(fits(common::mapInfoKeys[k].kind, info.rows[k][1])) << info.rows[k][0] << ": " << info.rows[k][1];
    }

    // The map's readers take them whole and agree with the run.
    const auto segments = readSegments(base + "_segments.csv");
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].id, 1);
    EXPECT_DOUBLE_EQ(segments[0].length, 790);
    EXPECT_EQ(segments[1].samples, "North,1");  // quoted by the writer, unquoted by the reader
    EXPECT_EQ(sourcePoints(segments).size(), 1u);
    const MapInfo mapInfo = readMapInfo(base + "_mapinfo.csv");
    EXPECT_EQ(mapInfo.set, "settings_samples_DNA");
    EXPECT_TRUE(mapInfo.coalescenceImage);
    EXPECT_EQ(mapInfo.trees, "settings_samples_DNA_true.trees");
    const auto curve = readCurve(base + "_colonisation.csv");
    EXPECT_NO_THROW(checkCurve(curve, mapInfo.generations, base + "_colonisation.csv"));
    const auto statistics = readSampleMeans(base + "_stats.tsv", mapInfo.entire);
    EXPECT_EQ(statistics.means.count("North,1"), 1u);
    EXPECT_NE(std::find(statistics.columns.begin(), statistics.columns.end(), "he"), statistics.columns.end());
}

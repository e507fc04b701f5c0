// The map program's readers: the demography tables, the statistics table,
// the tree file and the names an argument gives.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>

#include "map/MapData.h"
#include "support/TestFiles.h"

using namespace map;

using testing_support::TempFolder;

namespace {

const std::string header =
    "segment,from_node,to_node,length_m,lon,lat,from_lon,from_lat,to_lon,to_lat,first_occupied,first_at_capacity,"
    "final_size,coalescences,coalescences_per_km,sources,samples\n";

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const common::Error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(MapData, ReadsTheSegmentsTable) {
    TempFolder folder;
    const auto path = folder.write("s_segments.csv", header +
                                                         "1,2,1,1000,10.5,45,11,45,10,45,0,3,100,4,4,Mouth,\"A;B,c\"\n"
                                                         "2,3,2,500,11.5,45,12,45,11,45,,,0,0,0,,\n");
    const auto rows = readSegments(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 1);
    EXPECT_EQ(rows[0].firstAtCapacity, 3);
    EXPECT_DOUBLE_EQ(rows[0].fromLon, 11);
    EXPECT_EQ(rows[0].samples, "A;B,c");
    EXPECT_FALSE(rows[1].firstOccupied.has_value());
    const auto samples = samplePoints(rows);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].name, "B,c");
    EXPECT_DOUBLE_EQ(samples[1].lon, 10.5);
    EXPECT_TRUE(samples[1].occupied);
    ASSERT_EQ(sourcePoints(rows).size(), 1u);
}

TEST(MapData, BadTablesAreNamedWithTheirLine) {
    struct Case {
        std::string text;
        std::string message;
    };
    // The reader's own refusals (quotes, field counts, numbers) are tested
    // with it (tests/common); here the segments' columns and kinds.
    const Case cases[] = {
        {"segment,from_node\n1,2\n", "has no column 'to_node'"},
        {header + "1,2,1,x,10.5,45,11,45,10,45,0,3,100,4,4,,\n", "line 2: column length_m holds 'x', not a number"},
        {header + "1,2,1,1,10.5,45,11,45,10,45,0,3,100,4,nan,,\n", "column coalescences_per_km holds 'nan'"},
        {header + "1,2,1,1,10.5,45,11,45,10,45,0.5,3,100,4,4,,\n", "column first_occupied holds '0.5'"},
        {header + ",2,1,1,10.5,45,11,45,10,45,0,3,100,4,4,,\n", "column segment holds ''"},
        {header.substr(0, header.size() - 1) + ",first_closed\n1,2,1,1,10.5,45,11,45,10,45,0,3,100,4,4,,,\n",
         "has no column 'closed_at_end'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        const auto path = folder.write("s_segments.csv", c.text);
        const std::string message = errorOf([&] { readSegments(path); });
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    EXPECT_NE(errorOf([] { readSegments("/no/such/file.csv"); }).find("cannot be read"), std::string::npos);
}

TEST(MapData, ReadsTheCurveAndTheMapInfo) {
    TempFolder folder;
    const auto curve =
        readCurve(folder.write("c.csv", "generation,occupied_segments,total_size,migrants\n0,1,50,0\n1,2,60,7\n"));
    ASSERT_EQ(curve.size(), 2u);
    EXPECT_EQ(curve[1].migrants, 7);
    const auto info = readMapInfo(
        folder.write("m.csv",
                     "key,value\nset,s_x_DNA\nentire_simulation,2\nentire_simulations,3\ncoalescence_image,1\n"
                     "rate_per_site,1e-06\ntrees,s_x_DNA_true.trees\nunknown,kept for later\n"));
    EXPECT_EQ(info.set, "s_x_DNA");
    EXPECT_EQ(info.entire, 2);
    EXPECT_EQ(info.entireCount, 3);
    EXPECT_TRUE(info.coalescenceImage);
    EXPECT_DOUBLE_EQ(info.ratePerSite, 1e-6);
    EXPECT_EQ(info.trees, "s_x_DNA_true.trees");
}

// The mean gene diversity of each sample over the genetic simulations of one
// entire simulation; "NA" rows count for nothing.
TEST(MapData, DiversityIsTheMeanOfTheEntireSimulation) {
    TempFolder folder;
    const auto path = folder.write("s_stats.tsv",
                                   "e\tsim\tsample\the\tho\n"
                                   "1\t1\tA\t0.5\tNA\n"
                                   "1\t2\tA\t0.25\tNA\n"
                                   "1\t1\tB\tNA\tNA\n"
                                   "2\t1\tA\t0.9\tNA\n");
    const auto first = readDiversity(path, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_DOUBLE_EQ(first.at("A"), 0.375);
    EXPECT_DOUBLE_EQ(readDiversity(path, 2).at("A"), 0.9);
    EXPECT_NE(errorOf([&] { readDiversity(folder.write("bad.tsv", "e\tsample\n1\tA\n"), 1); }).find("'he'"),
              std::string::npos);
    // Every numeric column is averaged; a column of text is left out.
    const auto all = readSampleMeans(
        folder.write("all.tsv", "e\tsim\tsample\tseg\the\tpi\tnote\n1\t1\tA\t3\t0.5\t2\tx\n1\t2\tA\t3\tNA\t4\ty\n"), 1);
    EXPECT_EQ(all.columns, (std::vector<std::string>{"he", "pi"}));
    EXPECT_DOUBLE_EQ(all.means.at("A").at("he"), 0.5);
    EXPECT_DOUBLE_EQ(all.means.at("A").at("pi"), 3);
}

// The age of a genealogy is its root's height over its deepest leaf, in
// generations: branch lengths are substitutions per site.
TEST(MapData, TreeAgesAreRootHeightsOverTheRate) {
    TempFolder folder;
    const auto path =
        folder.write("t_true.trees",
                     "#NEXUS\nbegin trees;  [Treefile]\n\n"
                     "\ttree true_tree_1 = [&U] ((2.1:0.1, 1.1:0.1):0.25, 3.1:0.35);\n"
                     "\ttree true_tree_2 = [&U] (((4.2:0.004, 3.2:0.004):0.001, 2.1:0.005):0.05, 1.1:0.02);\n"
                     "end;\n\nMean length of the trees : 0.1 +-    0.2\n");
    const auto ages = readTreeAges(path, 0.001);
    ASSERT_EQ(ages.size(), 2u);
    EXPECT_NEAR(ages[0], 350, 1e-9);
    EXPECT_NEAR(ages[1], 55, 1e-9);
    const auto broken = folder.write("b.trees", "\ttree true_tree_1 = [&U] ((2.1:0.1, 1.1:0.1:0.25, 3.1:0.35);\n");
    EXPECT_NE(errorOf([&] { readTreeAges(broken, 0.001); }).find("line 1"), std::string::npos);
    EXPECT_NE(errorOf([&] { readTreeAges(path, 0); }).find("positive rate"), std::string::npos);
}

TEST(MapData, AnArgumentNamesTableSets) {
    TempFolder folder;
    for (const char* name : {"s_x_DNA_segments.csv", "s_x_DNA_1_segments.csv", "s_x_DNA_12_segments.csv",
                             "s_x_DNA_extra_segments.csv", "other_segments.csv", "s_x_DNA_colonisation.csv"})
        folder.write(name, header);
    const auto bases = [](const std::vector<TableSet>& sets) {
        std::vector<std::string> out;
        for (const auto& s : sets) out.push_back(s.base);
        return out;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(bases(findTableSets(folder.folder() + "s_x_DNA")), (Names{"s_x_DNA", "s_x_DNA_1", "s_x_DNA_12"}));
    EXPECT_EQ(bases(findTableSets(folder.path().string())).size(), 5u);
    const auto one = findTableSets(folder.folder() + "s_x_DNA_1_segments.csv");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].path("_curve.png"), folder.folder() + "s_x_DNA_1_curve.png");
    EXPECT_NE(errorOf([&] { findTableSets(folder.folder() + "nothing"); }).find("names no output folder"),
              std::string::npos);
    // The last call's completion record leaves out the tables of earlier calls.
    folder.write("s_x_DNA.complete", "s_x_DNA_1-1.arp\ns_x_DNA_1_segments.csv\ns_x_DNA_1_colonisation.csv\n");
    EXPECT_EQ(bases(findTableSets(folder.folder() + "s_x_DNA")), (Names{"s_x_DNA_1"}));
}

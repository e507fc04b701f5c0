// The map program's integrity: every input checked before any output is
// touched, output names from the tables' file names alone, outputs staged
// and put in place together, never written through a planted link, and a
// signal leaving the folder as it was.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "map/Charts.h"
#include "map/RiverMapFigure.h"
#include "map/MapData.h"
#include "map/MapRun.h"
#include "support/Interrupt.h"
#include "map/SmallRiver.h"
#include "support/TestFiles.h"

using namespace map;

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

const std::string segmentsHeader =
    "segment,from_node,to_node,length_m,lon,lat,from_lon,from_lat,to_lon,to_lat,first_occupied,first_at_capacity,"
    "final_size,coalescences,coalescences_per_km,sources,samples\n";

struct TableTexts {
    std::string segments = segmentsHeader +
                           "1,2,1,1000,10.005,45,10.01,45,10,45,0,2,50,1,1,Mouth,\n"
                           "2,3,2,1000,10.015,45.005,10.02,45.01,10.01,45,1,3,50,0,0,,Upper\n";
    std::string curve = "generation,occupied_segments,total_size,migrants\n0,1,50,0\n1,2,80,5\n2,2,100,3\n3,2,100,2\n";
    std::string info =
        "key,value\nset,s\nentire_simulation,1\nentire_simulations,1\ngenerations,3\ncapacity,50\n"
        "coalescence_image,0\ngenetic_simulations,1\nrate_per_site,0.001\ntrees,\n";
};

// An empty text leaves its file out.
void writeTables(const TempFolder& folder, const TableTexts& t) {
    folder.write("s_segments.csv", t.segments);
    if (!t.curve.empty()) folder.write("s_colonisation.csv", t.curve);
    folder.write("s_mapinfo.csv", t.info);
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

// Each crafted table is refused with a message naming the file, before any
// output is touched: the earlier map stays, nothing new appears.
TEST(MapIntegrity, BadTablesAreRefusedBeforeAnyOutputIsTouched) {
    struct Case {
        const char* what;
        std::function<void(TableTexts&, const TempFolder&)> craft;
        std::string file;     // named in the message
        std::string message;  // part of the message
    };
    const Case cases[] = {
        {"a set that escapes the folder",
         [](TableTexts& t, const TempFolder&) { t.info = replaced(t.info, "set,s", "set,../escaped"); },
         "s_mapinfo.csv", "the set '../escaped' is not a plain file-name word"},
        {"an empty set", [](TableTexts& t, const TempFolder&) { t.info = replaced(t.info, "set,s", "set,"); },
         "s_mapinfo.csv", "the set '' is not a plain file-name word"},
        {"a curve cut short",
         [](TableTexts& t, const TempFolder&) { t.curve = replaced(t.curve, "2,2,100,3\n3,2,100,2\n", ""); },
         "s_colonisation.csv", "ends at generation 1 where the map information says 3 generations"},
        {"a curve with a gap", [](TableTexts& t, const TempFolder&) { t.curve = replaced(t.curve, "2,2,100,3\n", ""); },
         "s_colonisation.csv", "holds generation 3 where generation 2 was expected"},
        {"a longitude of 1e300",
         [](TableTexts& t, const TempFolder&) { t.segments = replaced(t.segments, "10.015,", "1e300,"); },
         "s_segments.csv", "line 3: the longitude of the middle point is not from -180 to 360"},
        {"a latitude of 95",
         [](TableTexts& t, const TempFolder&) { t.segments = replaced(t.segments, "10.02,45.01", "10.02,95"); },
         "s_segments.csv", "line 3: the latitude of the from node is not from -90 to 90"},
        {"a negative id",
         [](TableTexts& t, const TempFolder&) { t.segments = replaced(t.segments, "\n2,3,2", "\n-2,3,2"); },
         "s_segments.csv", "column segment holds -2, below 0"},
        {"a duplicate id",
         [](TableTexts& t, const TempFolder&) { t.segments = replaced(t.segments, "\n2,3,2", "\n1,3,2"); },
         "s_segments.csv", "line 3: segment 1 is listed a second time"},
        {"a garbage tree file",
         [](TableTexts& t, const TempFolder& f) {
             t.info = replaced(t.info, "trees,", "trees,s_true.trees");
             f.write("s_true.trees", "\x01\x02 not a tree file\n");
         },
         "s_true.trees", "holds no genealogy"},
        {"a tree file with broken trees",
         [](TableTexts& t, const TempFolder& f) {
             t.info = replaced(t.info, "trees,", "trees,s_true.trees");
             f.write("s_true.trees", "#NEXUS\nbegin trees;\ntree t1 = ((a:1,b:1):1,c:2;\nend;\n");
         },
         "s_true.trees", "line 3: the tree's parentheses do not match"},
        {"a tree file outside the folder",
         [](TableTexts& t, const TempFolder&) { t.info = replaced(t.info, "trees,", "trees,../x.trees"); },
         "s_mapinfo.csv", "the tree file '../x.trees' is not a plain file name"},
        {"a missing curve", [](TableTexts& t, const TempFolder&) { t.curve.clear(); }, "s_colonisation.csv",
         "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        TableTexts texts;
        c.craft(texts, folder);
        writeTables(folder, texts);
        folder.write("s_map.png", "earlier map");
        const auto before = entries(folder.path());
        std::ostringstream out, notes;
        std::string message;
        try {
            drawOutputSet(folder.folder() + "s", MapOptions{}, out, notes);
        } catch (const std::exception& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(c.file + "'"), std::string::npos) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(entries(folder.path()), before);
        EXPECT_EQ(readFile(folder.path() / "s_map.png"), "earlier map");
        EXPECT_FALSE(fs::exists(folder.path().parent_path() / "escaped.gpkg"));
    }
}

// The files are named after the tables' own file names; a set named
// otherwise inside the map information is said on the notes, and a missing
// optional input (statistics, trees) is named there too.
TEST(MapIntegrity, NamesComeFromTheFileNamesAndMissingInputsAreNamed) {
    TempFolder folder;
    TableTexts texts;
    texts.info = replaced(replaced(texts.info, "set,s", "set,other"), "trees,", "trees,s_true.trees");
    writeTables(folder, texts);
    std::ostringstream out, notes;
    const auto written = drawOutputSet(folder.folder() + "s", MapOptions{}, out, notes);
    EXPECT_EQ(entries(folder.path()),
              (std::set<std::string>{"s_segments.csv", "s_colonisation.csv", "s_mapinfo.csv", "s_map.png", "s_map.svg",
                                     "s_curve.png", "s_curve.svg", "s.gpkg"}));
    EXPECT_EQ(written.size(), 5u);
    EXPECT_NE(notes.str().find("names the set 'other'; the files are named after 's'"), std::string::npos)
        << notes.str();
    EXPECT_NE(notes.str().find("s_true.trees' is missing: no figure of the ages"), std::string::npos) << notes.str();
    EXPECT_NE(notes.str().find("no statistics table '" + folder.folder() + "s_stats.tsv'"), std::string::npos)
        << notes.str();
    EXPECT_NE(out.str().find("Wrote " + folder.folder() + "s.gpkg\n"), std::string::npos) << out.str();
}

// Stale ".part" files and final names that are symbolic links (planted by
// anyone who could write the folder) are never written through.
TEST(MapIntegrity, LinksInTheOutputFolderAreNeverWrittenThrough) {
    TempFolder folder, elsewhere;
    writeTables(folder, TableTexts{});
    const std::string precious = elsewhere.write("precious", "keep me");
    for (const char* name : {"s_map.png.part", "s_map.svg.part", "s.gpkg.part.gpkg", "s_curve.png", "s.gpkg"})
        fs::create_symlink(precious, folder.path() / name);
    const std::string command =
        std::string("'") + FLUVIAGEN_MAP_BINARY + "' '" + folder.folder() + "s' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(precious), "keep me");
    EXPECT_FALSE(fs::is_symlink(folder.path() / "s_curve.png"));
    EXPECT_FALSE(fs::is_symlink(folder.path() / "s.gpkg"));
    EXPECT_GT(fs::file_size(folder.path() / "s.gpkg"), 1000u);
}

// A large river, interrupted at several moments of its drawing: the program
// ends with 128 + the signal (or finishes), its staging folder is gone, and
// the folder holds all the new files or none of them.
TEST(MapIntegrity, ASignalDuringTheDrawingLeavesAllFilesOrNone) {
    TempFolder folder, logs;
    const std::string errors = (logs.path() / "errors.log").string();
    TableTexts texts;
    std::ostringstream segments;
    segments << segmentsHeader;
    constexpr int side = 150;
    for (int i = 0; i < side * side; ++i) {
        const double x = 10 + 0.01 * (i % side), y = 45 + 0.01 * (i / side);
        segments << i + 1 << "," << i + 2 << "," << i + 1 << ",1000," << x + 0.005 << "," << y << "," << x + 0.01 << ","
                 << y << "," << x << "," << y << "," << i % 97 << ",,10,0,0,,\n";
    }
    texts.segments = segments.str();
    writeTables(folder, texts);
    const std::set<std::string> tables = entries(folder.path());
    const std::set<std::string> all{"s_map.png", "s_map.svg", "s_curve.png", "s_curve.svg", "s.gpkg"};
    int interrupted = 0;
    for (const int delay : {40, 120, 250, 400, 700, 1000, 1500}) {
        SCOPED_TRACE(delay);
        for (const auto& name : all) fs::remove(folder.path() / name);
        const auto run = testing_support::runAndInterrupt(FLUVIAGEN_MAP_BINARY, {folder.folder() + "s"},
                                                          folder.path().string(), delay, SIGTERM, "/dev/null", errors);
        auto left = entries(folder.path());
        for (const auto& name : tables) left.erase(name);
        // A signal before the program has set up its handling (while it
        // loads its libraries) or after it has ended it (on its way out)
        // takes its default action: all or none holds all the same.
        if (run.killed) {
            EXPECT_EQ(run.status, 128 + SIGTERM);
        } else if (run.status == 128 + SIGTERM) {
            ++interrupted;
            EXPECT_NE(readFile(errors).find("fluviagen-map: interrupted by SIGTERM"), std::string::npos);
        } else {
            EXPECT_EQ(run.status, 0);
        }
        EXPECT_TRUE(left.empty() || left == all) << left.size() << " files, e.g. " << *left.begin();
    }
    EXPECT_GT(interrupted, 0);
}

// The segments table says which segments the dynamic maps closed, from
// which generation, and whether they were still closed at the end; the map
// program reads it.
TEST(MapIntegrity, TheSegmentsTableRecordsTheClosings) {
    TempFolder folder;
    writeSmallRiver(folder, "North\t3\t2\nSouth\t3\t1\n");
    // Segment 3 closed from generation 10 on; segment 2 closed at 5 and
    // opened again at 20.
    folder.write("env.txt", "5 two_closed.txt\n10 three_closed.txt\n20 two_open.txt\n");
    folder.write("two_closed.txt", "Two closed\n0\n2\n");
    folder.write("three_closed.txt", "Three closed\n0\n3\n");
    folder.write("two_open.txt", "Two open\n1\n2\n");
    folder.write("settings.txt", testing_support::settingsText({{5, "env.txt"}, {9, "30"}, {15, "1"}}));
    const auto result = testing_support::runProgram({"--with", "csv", "settings.txt"}, "", "4", folder.path().string(),
                                                    0, testing_support::StandardError::Apart);
    ASSERT_EQ(result.status, 0) << result.output << result.errors;
    const std::string table = (folder.path() / "GeneticOutput" / "settings_samples_DNA_segments.csv").string();
    std::istringstream rows(readFile(table));
    std::string header, line;
    std::getline(rows, header);
    EXPECT_NE(header.find(",samples,first_closed,closed_at_end"), std::string::npos) << header;
    std::vector<std::string> endings;
    while (std::getline(rows, line)) endings.push_back(line.substr(line.rfind(',', line.rfind(',') - 1) + 1));
    EXPECT_EQ(endings, (std::vector<std::string>{",0", "5,0", "10,1"}));
    const auto read = readSegments(table);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[2].firstClosed, 10);
    EXPECT_TRUE(read[2].closedAtEnd);
    EXPECT_FALSE(read[1].closedAtEnd);
}

// A write that fails (here a file size limit, as a full disk would) ends the
// call with a message naming the file by its final name; the earlier files
// stay as they were and nothing of the call is left.
TEST(MapIntegrity, AFailedWriteLeavesTheEarlierFiles) {
    TempFolder folder;
    writeTables(folder, TableTexts{});
    folder.write("s_map.png", "earlier map");
    const auto before = entries(folder.path());
    FILE* pipe = popen(
        ("ulimit -f 4; '" + std::string(FLUVIAGEN_MAP_BINARY) + "' '" + folder.folder() + "s' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1) << output;
    EXPECT_NE(output.find("fluviagen-map: '" + folder.folder() + "s_map.png' cannot be written: File too large"),
              std::string::npos)
        << output;
    EXPECT_EQ(entries(folder.path()), before);
    EXPECT_EQ(readFile(folder.path() / "s_map.png"), "earlier map");
}

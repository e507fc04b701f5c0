// The importer's integrity: no output may replace an input, and an
// interrupted import leaves no unfinished file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "gis/GisTestSupport.h"
#include "support/Interrupt.h"

using namespace gis_test;
namespace fs = std::filesystem;

namespace {

// A Y near 20 E, 45 N, digitised downstream toward the outlet at 20,45.
const std::string yLayer = geojsonLines(
    {{{{20.0, 45.01}, {20.0, 45.0}}}, {{{20.0, 45.02}, {20.0, 45.01}}}, {{{20.01, 45.01}, {20.0, 45.01}}}});

}  // namespace

// Whatever path leads there (the same name, a link, another folder), an
// output that is an input is refused and the input keeps its contents.
TEST(ImportIntegrity, AnOutputThatIsAnInputIsRefused) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;   // the layer file written
        std::string linkTo;  // when not empty: `link` is a link to `input`
        std::string link;
    };
    const Case cases[] = {
        {"the network layer over the lines",
         {"river_network.geojson", "-o", "20,45", "-g"},
         "river_network.geojson",
         "",
         ""},
        {"through a link",
         {"lines.geojson", "-o", "20,45", "-g"},
         "lines.geojson",
         "lines.geojson",
         "river_network.geojson"},
        {"by prefix and folder",
         {"sub/x_network.geojson", "-o", "20,45", "-g", "-D", "./sub/../sub", "-p", "x"},
         "sub/x_network.geojson",
         "",
         ""},
        {"the samples layer",
         {"lines.geojson", "-o", "20,45", "-g", "-s", "river_network.geojson"},
         "lines.geojson",
         "",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        fs::create_directory(folder.path() / "sub");
        folder.write(c.input, yLayer);
        if (std::string(c.what) == "the samples layer")
            folder.write("river_network.geojson", geojsonPoints({{"A", {20.0, 45.015}}}, 10));
        if (!c.link.empty()) fs::create_symlink(c.linkTo, folder.path() / c.link);
        const auto before = folder.files();
        const ProgramRun run = runImporter(c.arguments, folder.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find("would replace the input"), std::string::npos) << run.errors;
        EXPECT_EQ(folder.files(), before);
        EXPECT_EQ(readText(folder.path() / c.input), yLayer);
    }
}

// A large layer, interrupted at several moments: the importer ends with 128
// + the signal (or finishes), and the folder holds all of its files or none,
// never a ".part" or its private staging folder.
TEST(ImportIntegrity, ASignalLeavesAllFilesOrNone) {
    TempFolder folder, logs;
    // A comb: a trunk of short reaches toward the outlet, each with a side
    // branch.
    std::vector<std::vector<Line>> lines;
    constexpr int teeth = 6000;
    for (int i = 0; i < teeth; ++i) {
        const double x = 20.0 + 0.001 * i;
        lines.push_back({{{x + 0.001, 45.0}, {x, 45.0}}});
        lines.push_back({{{x + 0.0005, 45.001}, {x + 0.001, 45.0}}});
    }
    folder.write("comb.geojson", geojsonLines(lines));
    const std::set<std::string> all{"comb.geojson",       "river_nodes.txt",       "river_segments.txt",
                                    "river_settings.txt", "river_network.geojson", "river_gaps.geojson"};
    int interrupted = 0;
    for (const int delay : {30, 100, 200, 350, 600, 900, 1400}) {
        SCOPED_TRACE(delay);
        for (const auto& name : all)
            if (name != "comb.geojson") fs::remove(folder.path() / name);
        const std::string errors = (logs.path() / "errors.log").string();
        const auto run =
            testing_support::runAndInterrupt(FLUVIAGEN_IMPORT_BINARY, {"comb.geojson", "-o", "20,45", "-g"},
                                             folder.path().string(), delay, SIGINT, "/dev/null", errors);
        const auto files = folder.files();
        const std::set<std::string> left(files.begin(), files.end());
        // A signal before the program has set up its handling (while it
        // loads its libraries) or after it has ended it (on its way out)
        // takes its default action: all or none holds all the same.
        if (run.killed) {
            EXPECT_EQ(run.status, 128 + SIGINT);
        } else if (run.status == 128 + SIGINT) {
            ++interrupted;
            EXPECT_NE(readText(errors).find("fluviagen-import: interrupted by SIGINT"), std::string::npos);
        } else {
            EXPECT_EQ(run.status, 0) << readText(errors);
        }
        EXPECT_TRUE(left == std::set<std::string>{"comb.geojson"} || left == all) << left.size();
    }
    EXPECT_GT(interrupted, 0);
}

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "common/Geometry.h"
#include "drainage/DrainageFixture.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

// The Y junction of the segment tests: 10 and 11 join at node 2, then 12
// runs due south along longitude 10 to the mouth, node 1.
const std::vector<NodeRow> yNodes = {{1, 10.0f, 50.0f}, {2, 10.0f, 50.01f}, {3, 9.99f, 50.02f}, {4, 10.01f, 50.02f}};
const std::vector<SegmentRow> ySegments = {{10, 3, 2, -1}, {11, 4, 2, -1}, {12, 2, 1, -1}};

class PopulationTest : public DrainageTest {
protected:
    void SetUp() override {
        writeDrainage(yNodes, ySegments);
        run = build();
    }
    // Reads the sample (or source) file through the run's accessor.
    PopulationVector& samples(const std::string& text) {
        write("samples.txt", text);
        return *quietly([&] { return &run->samplePopulations(); });
    }
    PopulationVector& sources(const std::string& text) {
        write("sources.txt", text);
        return *quietly([&] { return &run->sourcePopulations(); });
    }
    SimulationError samplesFailure(const std::string& text) {
        write("samples.txt", text);
        return failure([&] { run->samplePopulations(); });
    }
    std::string samplesPath() const { return path("samples.txt"); }

    std::unique_ptr<SimulationLoop> run;
};

}  // namespace

TEST_F(PopulationTest, TheCoordinateFlagIsReadAsAWholeNumber) {
    // The rest of the line is a comment.
    const PopulationVector& set = sources("1\n0// by id\nName Size SegID Resize Migration\nup 10 10 0 0\n");
    EXPECT_FALSE(set.coordinateMode);
    EXPECT_EQ(set.populations[0]->segmentId, 10);
    // "0.5" is no flag: it once read as 0, the ".5" dropped.
    run->sources.reset();
    write("sources.txt", "1\n0.5 // half\nName Size SegID Resize Migration\nup 10 10 0 0\n");
    EXPECT_EQ(failure([&] { run->sourcePopulations(); }).message().str(),
              "Population file '" + path("sources.txt") +
                  "': line 2 must hold the coordinate flag (0: segment ids, 1: coordinates)!");
    // 7 is a typo, not "coordinates".
    run->sources.reset();
    write("sources.txt", "1\n7\nName Size SegID Resize Migration\nup 10 10 0 0\n");
    EXPECT_EQ(failure([&] { run->sourcePopulations(); }).message().str(),
              "Population file '" + path("sources.txt") +
                  "', line 2: the coordinate flag must be 0 (segment ids) or 1 (coordinates), not 7!");
}

TEST_F(PopulationTest, LinesAfterTheAnnouncedPopulationsAreNamedOnStandardError) {
    testing::internal::CaptureStderr();
    const PopulationVector& set =
        sources("1\n0\nName Size SegID Resize Migration\nup 10 10 0 0\n\nlow 10 11 0 0\n  \nmore\n");
    EXPECT_EQ(set.populations.size(), 1u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: population file '" + path("sources.txt") +
                  "': 2 records dropped: line 6 (after the 1 populations announced on line 1), line 8 (after the 1 "
                  "populations announced on line 1)\n");
}

TEST_F(PopulationTest, SourcesInIdMode) {
    const PopulationVector& set = sources(
        "2 populations\n0\nName\tSize\tSegID\tResize\tMigration\nupper\t100\t10\t0\t0.05\r\nlower 350 12 200 0.1\n");
    ASSERT_EQ(set.count, 2);
    EXPECT_FALSE(set.coordinateMode);
    const PopulationSource& p = *set.populations[1];
    EXPECT_EQ(p.name, "lower");
    EXPECT_EQ(p.size, 350);
    EXPECT_EQ(p.segmentId, 12);
    EXPECT_EQ(p.segment, run->drainage->find(12));
    EXPECT_EQ(p.Resize, 200);
    EXPECT_FLOAT_EQ(p.migration, 0.1f);
    EXPECT_EQ(p.precision, 0);
    EXPECT_EQ(p.lon, -1.0f);
    // Placing sources on their segments is the starting conditions' work.
    EXPECT_EQ(p.segment->sourcePopulation, nullptr);
    EXPECT_EQ(p.segment->samplePopulation, nullptr);
    const std::string expected = "\n\tRead population file  '" + path("sources.txt") +
                                 "'... \n\t\t1: upper\tSeg: 10\t(Resize = 0, migration = 0.05)"
                                 "\n\t\t2: lower\tSeg: 12\t(Resize = 200, migration = 0.1)"
                                 "\n\tdone. (#populations: 2; Duration: ";
    EXPECT_EQ(console.substr(0, expected.size()), expected);
    EXPECT_EQ(console.back(), ')');
    // Read once, on first use.
    EXPECT_EQ(&run->sourcePopulations(), &set);
}

TEST_F(PopulationTest, SamplesMarkTheirSegments) {
    const PopulationVector& set = samples(
        "\xEF\xBB\xBF"
        "2\n0\nName Size SegID\na 10 11\nb 4 12 extra columns\n");
    ASSERT_EQ(set.count, 2);
    Segment* s11 = run->drainage->find(11);
    EXPECT_EQ(s11->samplePopulation, set.populations[0].get());
    EXPECT_EQ(run->drainage->find(12)->samplePopulation, set.populations[1].get());
    EXPECT_EQ(run->drainage->find(10)->samplePopulation, nullptr);
    // A sample that goes clears its segment's reference.
    run->samples.reset();
    EXPECT_EQ(s11->samplePopulation, nullptr);
}

TEST_F(PopulationTest, IdModeFailures) {
    SimulationError e = samplesFailure("2\n0\ntitles\na 10 11\nb 4 99\n");
    EXPECT_TRUE(e.isFatal());
    EXPECT_NE(
        console.find(" \nERROR in ReadPopulations(): Segment '99' of population 'b' does not exist in the drainage!\n"),
        std::string::npos)
        << console;
    EXPECT_EQ(e.message(), Text("Sample file '") + samplesPath().c_str() +
                               "': segment '99' of population 'b' does not exist in the drainage!");
    EXPECT_EQ(run->samples, nullptr);
    EXPECT_EQ(run->drainage->find(11)->samplePopulation, nullptr);  // the failed set is gone

    e = samplesFailure("3\n0\ntitles\na 10 11\nb 4 12\nc 4 11\n");
    EXPECT_EQ(e.message(), "Reading samples: Seg 11 has already a sample!");
    EXPECT_TRUE(e.isFatal());
}

TEST_F(PopulationTest, MalformedFiles) {
    const std::string file = "Sample file '" + samplesPath() + "'";
    const auto message = [&](const std::string& text) { return samplesFailure(text).message().str(); };
    EXPECT_EQ(message("-2\n0\nt\na 1 10\n"), file + ": the number of populations on line 1 is negative (-2)!");
    EXPECT_EQ(message("3 samples\n0\nt\na 1 10\nb 1 11\n"),
              file + ": line 1 announces 3 populations, but only 2 lines follow the titles!");
    EXPECT_EQ(message("many\n0\nt\na 1 10\n"), file + ": line 1 must hold the number of populations!");
    EXPECT_EQ(message(""), file + ": line 1 must hold the number of populations!");
    EXPECT_EQ(message("1\nyes\nt\na 1 10\n"),
              file + ": line 2 must hold the coordinate flag (0: segment ids, 1: coordinates)!");
    EXPECT_EQ(message("1\n0\nt\na x 10\n"), file + ", line 4: cannot read the size of population 'a'!");
    EXPECT_EQ(message("2\n0\nt\na 1 10\n\n"), file + ", line 5: cannot read the name of population '2'!");
    EXPECT_EQ(message("0\n0\nt\n"), file + " holds no population!");
    // Sizes are 16-bit.
    EXPECT_EQ(message("2\n0\nt\na 32767 10\nbig 32768 11\n"),
              file + ", line 5: the size 32768 of population 'big' is not within 0 ... 32767!");
    EXPECT_EQ(message("1\n0\nt\nneg -1 10\n"),
              file + ", line 4: the size -1 of population 'neg' is not within 0 ... 32767!");
    // The source file needs its two further columns.
    write("sources.txt", "1\n0\nt\nsrc 100 10 0\n");
    EXPECT_EQ(
        failure([&] { run->sourcePopulations(); }).message().str(),
        "Population file '" + path("sources.txt") + "', line 4: cannot read the migration rate of population 'src'!");
    settings.sampleFile = "absent.txt";
    run->settings.sampleFile = "absent.txt";
    const SimulationError e = failure([&] { run->samplePopulations(); });
    EXPECT_EQ(e.message().str(), "File '" + path("absent.txt") + "' could not be opened!");
    EXPECT_TRUE(e.isFatal());
}

TEST_F(PopulationTest, SourcesThatCannotGiveARun) {
    const std::string file = "Population file '" + path("sources.txt") + "'";
    const std::string titles = "1\n0\nName Size SegID Resize Migration\n";
    const std::pair<std::string, std::string> cases[] = {
        {titles + "src 5e1 10 32767 0.5\n", ""},
        {titles + "src 0 10 0 0\n",
         ", line 4: the source population 'src' has the size 0: a source needs at least one individual!"},
        {titles + "src 10 10 32768 0\n",
         ", line 4: the Resize 32768 of population 'src' is not within 0 ... 32767 (0: keep the size of the source)!"},
        {titles + "src 10 10.5 0 0\n", ", line 4: cannot read the segment id of population 'src'!"},
        {"1\n0\n" + std::string(10000, 't') + "\n", ", line 3: the line is longer than 9999 characters!"},
    };
    for (const auto& [text, message] : cases) {
        run->sources.reset();
        write("sources.txt", text);
        if (message.empty()) {
            EXPECT_EQ(quietly([&] { return run->sourcePopulations().count; }), 1);
            EXPECT_EQ(run->sources->populations[0]->size, 50);
        } else {
            EXPECT_EQ(failure([&] { run->sourcePopulations(); }).message().str(), file + message);
        }
    }
    // A sample of 0 genes is a sample deme without genes.
    EXPECT_EQ(samples("1\n0\nName Genes SegID\nnone 0 10\n").populations[0]->size, 0);
}

TEST_F(PopulationTest, NearestSegmentByHalfSegmentRatio) {
    const Drainage& d = *run->drainage;
    constexpr auto ratio = PlacementRule::ratio;
    // On a middle point the ratio is exactly 1.
    const Segment* s10 = d.find(10);
    EXPECT_EQ(nearestSegment(d, s10->lon, s10->lat, nullptr, ratio), s10);
    EXPECT_EQ(precisionOf(*s10, s10->lon, s10->lat, ratio), 0);
    // A quarter of the way along 12, on its lower half.
    EXPECT_EQ(nearestSegment(d, 10.0f, 50.0025f, nullptr, ratio), d.find(12));
    const auto metres = [](float lon, float lat) {
        return static_cast<int>(common::drainageHaversineMetres(10.0f, 50.0025f, lon, lat));
    };
    EXPECT_EQ(precisionOf(*d.find(12), 10.0f, 50.0025f, ratio), std::min(metres(10.0f, 50.0f), metres(10.0f, 50.005f)));
    EXPECT_GT(precisionOf(*d.find(12), 10.0f, 50.0025f, ratio), 270);
    // The nearest rule measures to the segment itself: the point lies on it.
    EXPECT_EQ(precisionOf(*d.find(12), 10.0f, 50.0025f, PlacementRule::nearest), 0);
    // Excluding the nearest gives the next nearest.
    EXPECT_EQ(nearestSegment(d, 9.997f, 50.006f, d.find(12), ratio), d.find(10));
    EXPECT_EQ(nearestSegment(d, 10.003f, 50.006f, d.find(12), ratio), d.find(11));
}

TEST_F(PopulationTest, ThreeSamplesCompetingForOneSegment) {
    // All three are nearest to 12. The second moves to its next nearest, 10.
    // The third moves off 12 onto 10 (the first's segment, then the second's)
    // and off 10 back onto 12; as 12 is held by the first, it takes the
    // nearest segment held by none, 11.
    // The same moves under either placement rule.
    for (const PlacementRule rule : {PlacementRule::nearest, PlacementRule::ratio}) {
        run->settings.placement = rule;
        run->samples.reset();
        const PopulationVector& set = samples("3\n1\nt\na 5 10.0 50.005\nb 5 9.997 50.006\nc 5 9.998 50.004\n");
        ASSERT_EQ(set.count, 3);
        EXPECT_EQ(set.populations[0]->segmentId, 12);
        EXPECT_EQ(set.populations[1]->segmentId, 10);
        EXPECT_EQ(set.populations[2]->segmentId, 11);
        EXPECT_EQ(set.populations[2]->precision, precisionOf(*run->drainage->find(11), 9.998f, 50.004f, rule));
        const std::string warn = "\n\t\tWARNING: Seg ";
        const std::string search = "'! Searching for a new segment ...";
        const auto seg = [&, rule](int i, const char* name, int id) {
            const PopulationSource& p = *set.populations[static_cast<std::size_t>(i - 1)];
            return "\n\t\t" + std::to_string(i) + ": " + name + "\tSeg: " + std::to_string(id) + "\t(precision: " +
                   std::to_string(id == p.segmentId ? p.precision
                                                    : precisionOf(*run->drainage->find(id), p.lon, p.lat, rule)) +
                   " m)";
        };
        const std::string expected = seg(1, "a", 12) + seg(2, "b", 12) + warn + "12 has already the sample 'a" +
                                     search + seg(2, "b", 10) + seg(3, "c", 12) + warn +
                                     "12 has already the sample 'a" + search + seg(3, "c", 10) + warn +
                                     "10 has already the sample 'b" + search + seg(3, "c", 12) + warn +
                                     "12 has already the sample 'a" + search + seg(3, "c", 11) + "\n\tdone.";
        EXPECT_NE(console.find(expected), std::string::npos) << console;
        EXPECT_EQ(run->drainage->find(11)->samplePopulation, set.populations[2].get());

        // A fourth sample finds no free segment.
        run->samples.reset();
        const SimulationError e =
            samplesFailure("4\n1\nt\na 5 10.0 50.005\nb 5 9.997 50.006\nc 5 9.998 50.004\nd 5 10 50.003\n");
        EXPECT_EQ(e.message(), Text("Sample file '") + samplesPath().c_str() +
                                   "': no free segment is left near the point (10, 50.003) of population 'd'!");
        EXPECT_TRUE(e.isFatal());
    }
}

TEST_F(DrainageTest, NearestSegmentTiesAndFarPoints) {
    // Two braided channels 21 and 20 with the same ends and middle point:
    // the lower id wins the tie under either rule. The segments are 11 m
    // long, so a point 1000 km away has a ratio far above 100000 and finds
    // none by the ratio rule, while the nearest rule places it all the same.
    const std::vector<NodeRow> nodes = {{5, 10.0f, 50.0f}, {6, 10.0f, 50.0001f}};
    writeDrainage(nodes, {{21, 5, 6, -1}, {20, 5, 6, -1}});
    settings.placement = PlacementRule::ratio;
    auto run = build();
    const Drainage& d = *run->drainage;
    for (const PlacementRule rule : {PlacementRule::ratio, PlacementRule::nearest}) {
        EXPECT_EQ(nearestSegment(d, 10.0f, 50.00002f, nullptr, rule), d.find(20));
        EXPECT_EQ(nearestSegment(d, 10.0f, 50.00002f, d.find(20), rule), d.find(21));
        EXPECT_EQ(nearestSegment(Drainage(), 10.0f, 50.0f, nullptr, rule), nullptr);
    }
    EXPECT_EQ(nearestSegment(d, 20.0f, 55.0f, nullptr, PlacementRule::ratio), nullptr);
    EXPECT_EQ(nearestSegment(d, 20.0f, 55.0f, nullptr, PlacementRule::nearest), d.find(20));

    write("samples.txt", "1\n1\nt\nfar 5 20 55\n");
    testing::internal::CaptureStderr();
    const SimulationError e = failure([&] { run->samplePopulations(); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(e.message().str(), "Sample file '" + path("samples.txt") +
                                     "': no segment of the drainage is near the point (20, 55) of population 'far'!");
    EXPECT_TRUE(e.isFatal());
}

TEST_F(PopulationTest, APointFarFromItsSegmentIsPointedOut) {
    struct Row {
        float lon, lat;
        bool warned;
    };
    // Segment 12 runs 1.1 km from (10, 50) to (10, 50.01).
    const Row rows[] = {{10.0f, 50.005f, false},    // on its middle point
                        {10.0f, 50.0025f, false},   // 278 m from its nodes and middle
                        {10.004f, 50.005f, false},  // 286 m to the side
                        {10.05f, 50.005f, true},    // 3.6 km east
                        {50.005f, 10.0f, true}};    // longitude and latitude swapped
    for (const Row& row : rows) {
        run->samples.reset();
        testing::internal::CaptureStderr();
        const PopulationVector& set = samples("1\n1\nName Genes Lon Lat\nfar 5 " + std::to_string(row.lon) + " " +
                                              std::to_string(row.lat) + "\n");
        const std::string errors = testing::internal::GetCapturedStderr();
        const PopulationSource& p = *set.populations[0];
        EXPECT_EQ(errors.find("line 4: the sample 'far' is placed on segment " + std::to_string(p.segmentId) + ", " +
                              std::to_string(p.precision) + " m from its point: more than half the length") !=
                      std::string::npos,
                  row.warned)
            << row.lon << " " << row.lat << ": " << errors;
    }
}

namespace {

std::unique_ptr<Drainage> shippedRiver() {
    const std::string folder = FLUVIAGEN_SOURCE_DIR "/examples/river/";
    testing::internal::CaptureStdout();
    auto drainage = readDrainage(Text(folder + "river_nodes.txt"), Text(folder + "river_segments.txt"));
    testing::internal::GetCapturedStdout();
    return drainage;
}

}  // namespace

// Placements of the half-segment ratio rule as the program made them before
// the nearest rule was its default (the shipped samples, points 30 m beside
// middle points, a point 80 km away): --placement ratio keeps every one.
TEST(PopulationPlacement, TheRatioRuleKeepsEarlierPlacements) {
    const auto river = shippedRiver();
    struct Row {
        const char* name;
        float lon, lat;
        int segment, precision;
    };
    const Row rows[] = {
        {"Lower_Main", 20.37750f, 45.83447f, 5, 31},         {"Middle_Main", 20.20256f, 45.78356f, 17, 32},
        {"Upper_Main", 20.31775f, 45.75154f, 157, 31},       {"East_Creek", 20.27402f, 45.86585f, 256, 31},
        {"East_Creek_Head", 20.21542f, 45.89141f, 324, 427}, {"Mill_Brook", 20.28165f, 45.72035f, 68, 32},
        {"Willow_Run", 20.10907f, 45.74177f, 364, 31},       {"Stony_Creek", 20.32036f, 45.88310f, 55, 31},
        {"Fox_Creek", 20.22513f, 45.82899f, 246, 32},        {"Alder_Brook", 20.27542f, 45.73304f, 169, 32},
        {"17 N", 20.2022591f, 45.7836266f, 232, 378},        {"27 S", 20.3780899f, 45.8490181f, 252, 576},
        {"182 E", 20.2482967f, 45.754982f, 91, 422},         {"236 W", 20.2010784f, 45.7650909f, 121, 535},
        {"322 E", 20.2189236f, 45.8874969f, 324, 530},       {"1 N", 20.4597778f, 45.8548889f, 1, 29},
        {"118 W", 20.2528591f, 45.7993736f, 118, 30},        {"80 km away", 21.0f, 46.5f, 58, 81671},
    };
    for (const Row& row : rows) {
        const Segment* s = nearestSegment(*river, row.lon, row.lat, nullptr, PlacementRule::ratio);
        ASSERT_NE(s, nullptr) << row.name;
        EXPECT_EQ(s->id, row.segment) << row.name;
        EXPECT_EQ(precisionOf(*s, row.lon, row.lat, PlacementRule::ratio), row.precision) << row.name;
    }
}

// The shipped example gives its samples and sources twice, by point and by
// segment id: the nearest rule places every point on the segment its twin
// names.
TEST(PopulationPlacement, TheShippedPointsLandOnTheirTwinsSegments) {
    auto river = shippedRiver();
    const std::string folder = FLUVIAGEN_SOURCE_DIR "/examples/river/";
    for (const auto& [byPoint, byId, isSampleFile] :
         {std::tuple{"samples_gps.txt", "samples.txt", true}, std::tuple{"sources_gps.txt", "sources.txt", false}}) {
        PopulationVector points(river.get());
        PopulationVector ids(river.get());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        readPopulations(points, Text(folder + byPoint), isSampleFile, PlacementRule::nearest);
        readPopulations(ids, Text(folder + byId), isSampleFile, PlacementRule::nearest);
        testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(points.count, ids.count) << byPoint;
        for (int i = 0; i < points.count; ++i) {
            const PopulationSource& p = *points.populations[static_cast<std::size_t>(i)];
            EXPECT_EQ(p.name, ids.populations[static_cast<std::size_t>(i)]->name) << byPoint;
            EXPECT_EQ(p.segmentId, ids.populations[static_cast<std::size_t>(i)]->segmentId) << byPoint << " " << p.name;
            EXPECT_LT(p.precision, 31) << p.name;  // the points lie beside their segments
        }
    }
}

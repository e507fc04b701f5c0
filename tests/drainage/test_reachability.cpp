// Whether the colonisation can ever give a sample genes: refused only when
// no sample can be reached in any history the settings allow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SimulationLoop.h"
#include "drainage/DrainageFixture.h"
#include "drainage/Population.h"
#include "drainage/Reachability.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

class ReachabilityTest : public DrainageTest {
protected:
    // A chain of segments 1 .. 6 (segment i from node i to node i + 1) with
    // a source of 10 on segment 1, and a lone segment 9 apart from it.
    ReachabilityTest() {
        std::vector<NodeRow> nodes;
        std::vector<SegmentRow> segments;
        for (int i = 1; i <= 7; ++i) nodes.push_back({i, 10.0f, 50.0f + 0.01f * static_cast<float>(i)});
        for (int i = 1; i <= 6; ++i) segments.push_back({i, i, i + 1, -1});
        nodes.push_back({8, 11.0f, 50.0f});
        nodes.push_back({9, 11.0f, 50.01f});
        segments.push_back({9, 8, 9, -1});
        writeDrainage(nodes, segments);
        write("sources.txt", "1\n0\nName\tSize\tSegID\tResize\tMigration\nspring\t10\t1\t0\t0\n");
    }

    // The samples on the given segments (10 genes each, a sample of 0 genes
    // on segment 2 when asked); the reasons, in sample order, when none can
    // be reached.
    std::vector<std::string> reasons(const std::vector<int>& sampleSegments, bool emptySample = false) {
        std::string text = std::to_string(sampleSegments.size() + (emptySample ? 1 : 0)) + "\n0\nName\tGenes\tSegID\n";
        for (const int id : sampleSegments) {
            const std::string number = std::to_string(id);
            text += 's';
            text += number + "\t10\t" + number + "\n";
        }
        if (emptySample) text += "none\t0\t2\n";
        write("samples.txt", text);
        std::unique_ptr<SimulationLoop> run;
        try {
            run = build();
        } catch (const SimulationError& e) {
            ADD_FAILURE() << e.message() << console;
            return {};
        }
        const Drainage* maps = run->fullDrainage ? run->fullDrainage.get() : run->drainage.get();
        std::vector<std::string> found;
        try {
            quietly([&] {
                for (const auto& u :
                     samplesNeverReached({*run->drainage, run->fullDrainage.get(),
                                          settings.dynamicEnvironment ? maps->dynamicEnvironment.get() : nullptr,
                                          run->sourcePopulations(), run->samplePopulations(), settings.numGenerations,
                                          settings.allowInitialDensityOverflow}))
                    found.push_back(u.name + ": " + u.why);
                return true;
            });
        } catch (const SimulationError& e) {
            ADD_FAILURE() << e.message() << console;
        }
        return found;
    }

    void maps(const std::string& environment) {
        settings.dynamicEnvironment = true;
        settings.dynamicEnvironmentFile = "env.txt";
        write("env.txt", environment);
        write("close3.txt", "Weir\n0\n3\n");
        write("open3.txt", "Weir gone\n1\n3\n");
        write("close5.txt", "Sample reach\n0\n5\n");
    }
};

const std::string far =
    "its segment lies 4 segments from the nearest source, but 2 generations (settings line 9) "
    "let the population spread at most one segment each";
const std::string apart = "no river open at any time connects its segment to a source";
const std::string closed = "its segment is closed by the dynamic maps at the end of the run";

}  // namespace

TEST_F(ReachabilityTest, OneReachableSampleIsEnough) {
    const struct {
        int generations;
        bool overflow;
        std::vector<int> samples;
        std::vector<std::string> reasons;
    } cases[] = {
        {10, false, {5}, {}},
        {4, false, {5}, {}},  // one segment a generation: just in time
        {2, false, {5}, {"s5: " + far}},
        {2, true, {5}, {}},  // the sources may fill segments before generation 1
        {10, false, {9}, {"s9: " + apart}},
        {2, false, {5, 9}, {"s5: " + far, "s9: " + apart}},
        {2, false, {9, 2}, {}},
        {0, false, {1}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.generations) + (c.overflow ? " with overflow" : ""));
        settings.numGenerations = c.generations;
        settings.allowInitialDensityOverflow = c.overflow;
        EXPECT_EQ(reasons(c.samples), c.reasons);
    }
    // A sample without genes neither counts as reachable nor is named.
    settings.numGenerations = 2;
    EXPECT_EQ(reasons({5}, true), std::vector<std::string>{"s5: " + far});
}

TEST_F(ReachabilityTest, SegmentsClosedForTheWholeRun) {
    settings.numGenerations = 10;
    const struct {
        std::string environment;
        std::vector<std::string> reasons;
    } cases[] = {
        {"1 close5.txt\n", {"s5: " + closed}},
        {"0 close3.txt\n", {"s5: " + apart}},
        {"1 close3.txt\n6 open3.txt\n", {}},                 // open again in time
        {"1 close3.txt\n11 open3.txt\n", {"s5: " + apart}},  // too late
        {"4 close5.txt\n", {"s5: " + closed}},
        {"4 close3.txt\n", {}},  // open for the first generations
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.environment);
        maps(c.environment);
        EXPECT_EQ(reasons({5}), c.reasons);
    }
}

TEST(Reachability, TheMessageNamesEverySample) {
    EXPECT_EQ(neverReachedText({{"a", 5, "closed"}, {"b", 9, "apart"}}, "/d/samples.txt"),
              "No sample of '/d/samples.txt' can ever receive genes, so every entire simulation would fail in the "
              "same way: sample 'a' (segment 5): closed; sample 'b' (segment 9): apart!");
    const std::vector<UnreachableSample> many(25, {"a", 5, "closed"});
    const std::string text = neverReachedText(many, "s.txt");
    EXPECT_TRUE(text.ends_with("(segment 5): closed; sample 'a' (segment 5): closed; and 5 more samples!")) << text;
}

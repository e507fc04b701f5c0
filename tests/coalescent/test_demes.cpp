// Sample demes and their lineages: creation from the world, the checks of
// unusable samples, the per-genealogy reset and the bookkeeping tables.
#include <string>

#include <gtest/gtest.h>

#include "CoalescentTestWorld.h"
#include "coalescent/Deme.h"
#include "base/Exception.h"

using namespace fluviagen;

using coalescent_test::CoutCapture;
using coalescent_test::TestWorld;

namespace {

// A river of `count` segments 1 -> 2 -> ... (segment i from node i to i + 1),
// every segment populated with 50 individuals in every generation.
void buildChain(TestWorld& w, int count) {
    for (int i = 1; i <= count; ++i) w.addSegment(i, i, i + 1);
    w.finish();
    for (int i = 1; i <= count; ++i) w.setSizes(i, 50);
}

}  // namespace

TEST(DemeCollection, SampleDemesAndLeavesFollowTheSampleFile) {
    TestWorld w(10);
    buildChain(w, 5);
    w.addSample("upper", 4, 3);
    w.addSample("lower", 2, 2);
    w.settings().numGeneticSimulations = 3;
    w.settings().numIndependentLoci = 2;
    w.settings().numLinkedLoci = 4;
    ASSERT_TRUE(w.createDemes());

    DemeCollection& c = w.demes();
    ASSERT_EQ(c.numSampleDemes(), 2);
    EXPECT_EQ(c.nSampleLineages, 5);
    EXPECT_EQ(c.nSegments, 5);
    EXPECT_EQ(c.tree.nodeCount(), 9);
    const Deme& upper = *c.sampleDemes[0];
    const Deme& lower = *c.sampleDemes[1];
    EXPECT_EQ(upper.name, "upper");
    EXPECT_EQ(upper.id, 0);
    EXPECT_EQ(lower.id, 1);
    EXPECT_EQ(w.demeOn(4), &upper);
    EXPECT_EQ(w.demeOn(2), &lower);
    EXPECT_EQ(upper.nLineages, 3);
    EXPECT_EQ(upper.sampleSize, 3);
    EXPECT_EQ(upper.slot, 0);
    // Leaves 0-2 belong to the first sample, 3-4 to the second.
    for (int a = 0; a < 5; ++a) {
        const TreeNode& leaf = c.tree.node(a);
        const Deme& owner = a < 3 ? upper : lower;
        EXPECT_EQ(leaf.demeId, owner.id) << a;
        EXPECT_EQ(leaf.segmentIndex, owner.segment->index) << a;
        EXPECT_EQ(leaf.sampleSlot, 0);
        EXPECT_EQ(owner.lineages[static_cast<std::size_t>(a < 3 ? a : a - 3)], &leaf);
    }
    // Internal nodes never look like a sample's leaves.
    for (int i = 5; i < 9; ++i) {
        EXPECT_EQ(c.tree.node(i).segmentIndex, -1);
        EXPECT_EQ(c.tree.node(i).sampleSlot, -1);
    }
    EXPECT_EQ(upper.lineages.size(), 5u);
    EXPECT_EQ(upper.incoming.size(), 5u);
    EXPECT_EQ(c.mrcaSegment.size(), 6u);
    // Multilocus mode: one row of hit counts plus one row per gene.
    ASSERT_EQ(c.haplotypeMatrix.size(), 6u);
    EXPECT_EQ(c.haplotypeMatrix[5].size(), 8u);
    EXPECT_EQ(c.countLineages(), 5);
}

TEST(DemeCollection, UnusableSamplesAreWarnedAboutAndSkipped) {
    TestWorld w(10);
    buildChain(w, 4);
    w.setSize(3, 10, 0);  // not reached by the end of the forward simulation
    w.segment(4)->accessible = false;
    w.addSample("closed", 4, 2);
    w.addSample("nowhere", 99, 2);  // no such segment
    w.addSample("empty", 3, 2);
    w.addSample("good", 1, 2);
    CoutCapture out;
    ASSERT_TRUE(w.createDemes());
    EXPECT_EQ(out.text(),
              "\n\t\tOne or more samples can not be used, as they are not colonized. .\n"
              "\n\t\tWARNING: {the population 'closed' is not accesible!\n"
              "\n\t\tWARNING: {the population 'nowhere' is not accesible!\n"
              "\n\t\tWARNING: population 'empty' has not been colonised!");
    ASSERT_EQ(w.demes().numSampleDemes(), 1);
    EXPECT_EQ(w.demes().sampleDemes[0]->name, "good");
    EXPECT_EQ(w.demes().sampleDemes[0]->id, 0);
    EXPECT_EQ(w.demeOn(3), nullptr);
}

TEST(DemeCollection, ANotColonisedSampleSilencesTheLaterSummaryLine) {
    TestWorld w(10);
    buildChain(w, 3);
    w.setSize(2, 10, 0);
    w.segment(3)->accessible = false;
    w.addSample("empty", 2, 1);
    w.addSample("closed", 3, 1);
    w.addSample("good", 1, 1);
    CoutCapture out;
    ASSERT_TRUE(w.createDemes());
    EXPECT_EQ(out.text(),
              "\n\t\tWARNING: population 'empty' has not been colonised!"
              "\n\t\tWARNING: {the population 'closed' is not accesible!\n");
}

TEST(DemeCollection, NoUsableSampleFailsWithTreeIsEmpty) {
    TestWorld w(10);
    buildChain(w, 2);
    w.setSize(1, 10, 0);
    w.addSample("empty", 1, 4);
    CoutCapture out;
    EXPECT_FALSE(w.createDemes());
    EXPECT_NE(out.text().find("TDemeCollection::createlineages() : Tree is empty \n"), std::string::npos);
    // And a genealogy cannot be asked for.
    try {
        w.buildTree(1);
        FAIL() << "no exception";
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "buildTree():Not enough lineages to perform coalescence!");
        EXPECT_EQ(e.level(), levelError);
    }
}

TEST(DemeCollection, ResetRestoresTheSampleAndForgetsTheLastGenealogy) {
    // Lineages sampled on segment 2 of a chain of 3; segment 2 was empty one
    // generation earlier and its immigrants came from segment 1, so every
    // lineage must go there, where a new deme appears.
    TestWorld w(5);
    buildChain(w, 3);
    w.setSize(2, 4, 0);
    w.setImmigrants(2, 1, 5, 10);
    w.addSample("s", 2, 6);
    ASSERT_TRUE(w.createDemes());
    DemeCollection& c = w.demes();
    coalescent_test::seedStream(w.rng, 7);
    {
        CoutCapture quiet;
        w.buildTree(1);
    }
    int coalescences = 0;
    for (int x : c.coalPerSegment) coalescences += x;
    EXPECT_EQ(coalescences, 5);
    ASSERT_NE(w.demeOn(1), nullptr);  // made by migration
    {
        // A genealogy broken off by an error can leave lineages waiting as
        // incoming ones; a reset forgets them too.
        CoutCapture quiet;
        w.demeOn(1)->addIncoming(&c.tree.node(0), 5);
    }
    ASSERT_EQ(w.demeOn(1)->nIncoming, 1);

    c.resetDemes();
    ASSERT_EQ(c.active.size(), 1u);
    const Deme& sample = *c.active[0];
    EXPECT_EQ(sample.nLineages, 6);
    EXPECT_EQ(sample.nIncoming, 0);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(sample.lineages[static_cast<std::size_t>(j)], &c.tree.node(j));
    EXPECT_EQ(w.demeOn(1)->nLineages, 0);
    EXPECT_EQ(w.demeOn(1)->nIncoming, 0);
    for (int x : c.coalPerSegment) EXPECT_EQ(x, 0);
    // The second counter sums over the genetic simulations.
    int summed = 0;
    for (int x : c.coalPerSegmentSummed) summed += x;
    EXPECT_EQ(summed, 5);

    // A second genealogy from the reset state completes as well.
    {
        CoutCapture quiet;
        w.buildTree(1);
    }
    summed = 0;
    for (int x : c.coalPerSegmentSummed) summed += x;
    EXPECT_EQ(summed, 10);
}

TEST(DemeCollection, ANewDemographicSimulationNeverReusesOldDemes) {
    TestWorld w(5);
    buildChain(w, 3);
    w.setSize(2, 4, 0);
    w.setImmigrants(2, 1, 5, 10);
    w.addSample("s", 2, 3);
    ASSERT_TRUE(w.createDemes());
    coalescent_test::seedStream(w.rng, 3);
    {
        CoutCapture quiet;
        w.buildTree(1);
    }
    ASSERT_NE(w.demeOn(1), nullptr);
    ASSERT_TRUE(w.createDemes());
    EXPECT_EQ(w.demeOn(1), nullptr);
    EXPECT_EQ(w.demeOn(3), nullptr);
    EXPECT_EQ(w.demes().active.size(), 1u);
    EXPECT_EQ(w.demes().countLineages(), 3);
    EXPECT_EQ(w.demes().haplotypeMatrix.size(), 0u);  // single-locus mode
    w.demes().clear();
    EXPECT_EQ(w.demeOn(2), nullptr);
}

TEST(DemeCollection, TwoSamplesOnOneSegmentKeepTheLaterOne) {
    TestWorld w(5);
    buildChain(w, 2);
    w.addSample("first", 1, 2);
    w.addSample("second", 2, 1);
    w.addSample("third", 1, 3);
    CoutCapture out;
    ASSERT_TRUE(w.createDemes());
    DemeCollection& c = w.demes();
    ASSERT_EQ(c.numSampleDemes(), 2);
    EXPECT_EQ(c.sampleDemes[0]->name, "second");
    EXPECT_EQ(c.sampleDemes[1]->name, "third");
    EXPECT_EQ(c.sampleDemes[0]->id, 0);
    EXPECT_EQ(c.sampleDemes[1]->id, 1);
    EXPECT_EQ(c.nSampleLineages, 4);
    EXPECT_EQ(w.demeOn(1), c.sampleDemes[1]);
    EXPECT_NE(out.text().find("population 'third' replaces population 'first' on segment 1"), std::string::npos);
}

TEST(DemeCollection, CompactionAndActivationKeepEveryLineage) {
    TestWorld w(5);
    buildChain(w, 3);
    w.addSample("a", 1, 2);
    w.addSample("b", 2, 1);
    w.addSample("c", 3, 2);
    ASSERT_TRUE(w.createDemes());
    DemeCollection& c = w.demes();
    Deme& a = *c.sampleDemes[0];
    Deme& b = *c.sampleDemes[1];
    Deme& d = *c.sampleDemes[2];
    // a gives both of its lineages to c, then b gives its lineage to a.
    a.moveLineage(0, *d.segment, 0, 5);
    a.moveLineage(0, *d.segment, 0, 5);
    b.moveLineage(0, *a.segment, 0, 5);
    ASSERT_EQ(c.newDemes.size(), 1u);
    EXPECT_EQ(c.newDemes[0], &a);
    EXPECT_EQ(a.nLineages, 0);
    EXPECT_EQ(a.nIncoming, 1);
    c.compactDemes();
    // b is empty: the last entry (c) takes its place.
    ASSERT_EQ(c.active.size(), 2u);
    EXPECT_EQ(c.active[0], &a);
    EXPECT_EQ(c.active[1], &d);
    EXPECT_EQ(a.nLineages, 1);
    EXPECT_EQ(d.nLineages, 4);
    EXPECT_EQ(c.countLineages(), 5);
    // a is in newDemes (it had nothing when its lineage came), but it has
    // been merged and is active already: it is not added twice.
    c.activateNewDemes();
    EXPECT_EQ(c.active.size(), 2u);
    EXPECT_TRUE(c.newDemes.empty());
}

// The genetic driver on a small hand-made world (no output files switched
// on): what it prepares for the mutation step at every call.
#include <gtest/gtest.h>

#include "coalescent/CoalescentTestWorld.h"
#include "mutation/GammaRates.h"

using coalescent_test::CoutCapture;
using coalescent_test::seedStream;
using coalescent_test::TestWorld;

namespace {

// One isolated segment of 20 gene copies with a sample of four genes, DNA of
// six sites with gamma rate heterogeneity.
void buildDnaWorld(TestWorld& w) {
    w.addSegment(1, 1, 2);
    w.finish();
    w.setSizes(1, 20);
    w.addSample("s", 1, 4);
    TSettings& s = w.settings();
    s.dataType = DNA;
    s.dataTypeName = "DNA";
    s.numLinkedLoci = 6;
    s.mutationRate = 0.01f;
    s.gammaA = 0.5f;
    s.numGammaCategories = 4;
}

void simulateQuietly(TestWorld& w) {
    CoutCapture quiet;
    w.world->SimulateGeneticData();
}

}  // namespace

TEST(GeneticDriver, SiteRatesAreRebuiltAtEveryCall) {
    TestWorld w(5);
    buildDnaWorld(w);
    resetSiteRates();
    seedStream(31);
    simulateQuietly(w);
    ASSERT_EQ(siteRates().size(), 6);
    EXPECT_EQ(siteRates().shape(), 0.5);
    // Rates of another shape, as an earlier entire simulation could leave
    // them: the next call builds its own again.
    ASSERT_EQ(buildSiteRates(6, 2.0, 4), 1);
    simulateQuietly(w);
    EXPECT_EQ(siteRates().shape(), 0.5);
    resetSiteRates();

    // Only DNA data reads site rates; other types do not build them.
    w.settings().dataType = RFLP;
    w.settings().dataTypeName = "RFLP";
    simulateQuietly(w);
    EXPECT_EQ(siteRates().size(), 0);
}

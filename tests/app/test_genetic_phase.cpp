// The genetic stage of the simulation loop on a small hand-made world (no output
// files switched on): the data type it keeps for the whole program call and
// what that data type prepares for the mutation step at every call.
#include <gtest/gtest.h>

#include <string>

#include "coalescent/CoalescentTestWorld.h"
#include "mutation/DataTypes.h"
#include "mutation/GammaRates.h"

using namespace fluviagen;

using coalescent_test::CoutCapture;
using coalescent_test::seedStream;
using coalescent_test::TestWorld;

namespace {

// One isolated segment of 20 gene copies with a sample of four genes, six
// sites of the given data type (DNA with gamma rate heterogeneity).
void buildWorld(TestWorld& w, std::int8_t dataType, float gammaA = 0.5f) {
    w.addSegment(1, 1, 2);
    w.finish();
    w.setSizes(1, 20);
    w.addSample("s", 1, 4);
    Settings& s = w.settings();
    s.dataType = dataType;
    s.numLinkedLoci = 6;
    s.mutationRate = 0.01f;
    s.gammaA = gammaA;
    s.numGammaCategories = 4;
}

void simulateQuietly(TestWorld& w) {
    CoutCapture quiet;
    w.world->geneticPhase();
}

const Dna* dnaOf(const TestWorld& w) { return dynamic_cast<const Dna*>(w.world->dataType.get()); }

}  // namespace

TEST(GeneticDriver, SiteRatesAreRebuiltAtEveryCall) {
    TestWorld w(5);
    buildWorld(w, DNA);
    seedStream(w.rng, 31);
    simulateQuietly(w);
    const Dna* dna = dnaOf(w);
    ASSERT_NE(dna, nullptr);
    ASSERT_NE(dna->siteRates(), nullptr);
    EXPECT_EQ(dna->siteRates()->size(), 6);
    EXPECT_EQ(dna->siteRates()->shape(), 0.5);

    // The next call keeps the data type and rebuilds its rates before the
    // first genealogy, from the generator as that call finds it.
    const Rng atStart = w.rng;
    simulateQuietly(w);
    ASSERT_EQ(dnaOf(w), dna);
    Rng replay = atStart;
    const GammaRates expected(6, 0.5, 4, replay);
    EXPECT_EQ(dna->siteRates()->rates(), expected.rates());
}

TEST(GeneticDriver, OnlyDnaWithAGammaShapeBuildsSiteRates) {
    struct Case {
        std::int8_t dataType;
        float gammaA;
        const char* name;
        bool rates;
    };
    for (const Case& c : {Case{DNA, 0.5f, "DNA", true}, Case{DNA, 0.0f, "DNA", false}, Case{RFLP, 0.5f, "RFLP", false},
                          Case{STANDARD, 0.5f, "STANDARD", false}}) {
        TestWorld w(5);
        buildWorld(w, c.dataType, c.gammaA);
        seedStream(w.rng, 31);
        simulateQuietly(w);
        ASSERT_NE(w.world->dataType, nullptr);
        EXPECT_STREQ(w.world->dataType->name(), c.name);
        const Dna* dna = dnaOf(w);
        EXPECT_EQ(dna != nullptr && dna->siteRates() != nullptr, c.rates) << c.name << " " << c.gammaA;
    }
}

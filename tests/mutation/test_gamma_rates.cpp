#include "mutation/GammaRates.h"

#include "mutation/DataTypes.h"
#include "random/GammaMath.h"
#include "random/Rng.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <vector>

#include <gtest/gtest.h>

using namespace fluviagen;

namespace {

double total(const GammaRates& g) { return std::accumulate(g.rates().begin(), g.rates().end(), 0.0); }

class GammaRatesTest : public testing::Test {
protected:
    Rng rng;

    // A fresh generator whose main stream starts from `seed`, without the
    // console line of the program's own seeding.
    void seedStream(long seed) {
        rng = Rng{};
        long s = seed;
        rng.uniform(s);
    }
};

}  // namespace

TEST_F(GammaRatesTest, SiteChoiceWalksFromTheLastSite) {
    const std::vector<double> rates{0.1, 0.2, 0.7};
    EXPECT_EQ(chooseRateSite(rates, 0.0), 2);
    EXPECT_EQ(chooseRateSite(rates, 0.69), 2);
    EXPECT_EQ(chooseRateSite(rates, 0.71), 1);
    EXPECT_EQ(chooseRateSite(rates, 0.89), 1);
    EXPECT_EQ(chooseRateSite(rates, 0.95), 0);
    // A total that rounding keeps at or below u: the last site visited.
    EXPECT_EQ(chooseRateSite({0.25, 0.25, 0.25, 0.2499999}, 0.99999995), 0);
    EXPECT_EQ(chooseRateSite({1.0}, 0.5), 0);
    EXPECT_EQ(chooseRateSite({}, 0.5), -1);
}

TEST_F(GammaRatesTest, NonPositiveShapeGivesEqualRates) {
    for (double a : {0.0, -1.0}) {
        const GammaRates g(8, a, 4, rng);
        ASSERT_EQ(g.size(), 8);
        for (double r : g.rates()) EXPECT_DOUBLE_EQ(r, 1.0 / 8);
    }
    const GammaRates none(0, 0.5, 0, rng);
    EXPECT_EQ(none.size(), 0);
}

TEST_F(GammaRatesTest, DiscreteCategoriesUseOnlyTheSecondGenerator) {
    // a = 0.5, four categories: the means of the quartiles of a gamma of mean
    // 1 are 0.0334, 0.2519, 0.8203, 2.8944; every site carries one of them.
    seedStream(-21);
    const GammaRates g(50, 0.5, 4, rng);
    const double next = rng.uniform();
    seedStream(-21);
    EXPECT_EQ(next, rng.uniform());

    ASSERT_EQ(g.size(), 50);
    EXPECT_NEAR(total(g), 1.0, 1e-12);
    EXPECT_TRUE(std::is_sorted(g.rates().begin(), g.rates().end()));
    const std::set<double> distinct(g.rates().begin(), g.rates().end());
    ASSERT_EQ(distinct.size(), 4u);  // 50 sites fill all four categories
    // Normalising keeps the ratios between the category means.
    const std::vector<double> values(distinct.begin(), distinct.end());
    const std::vector<double> means{0.0334, 0.2519, 0.8203, 2.8944};
    for (std::size_t i = 1; i < values.size(); ++i)
        EXPECT_NEAR(values[i] / values[i - 1], means[i] / means[i - 1], 2e-3 * means[i] / means[i - 1]);
}

TEST_F(GammaRatesTest, QuantileSampleMatchesGammaQuantiles) {
    // Shape 1 (exponential), 4 sites: order statistics at 1/8, 3/8, 5/8, 7/8
    // of 1,000,000 deviates, i.e. -ln(7/8), -ln(5/8), -ln(3/8), -ln(1/8),
    // normalised.
    seedStream(-3);
    const GammaRates g(4, 1.0, 0, rng);
    ASSERT_EQ(g.size(), 4);
    const double q[] = {-std::log(0.875), -std::log(0.625), -std::log(0.375), -std::log(0.125)};
    const double sum = q[0] + q[1] + q[2] + q[3];
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(g[i], q[i] / sum, 3e-3) << "site " << i;
    EXPECT_NEAR(total(g), 1.0, 1e-12);
}

TEST_F(GammaRatesTest, QuantileSampleDrawsAMillionDeviatesOnTheMainGenerator) {
    // Shape 1: each gamma deviate takes one uniform of the main generator
    // (-ln u), so the stream moves on by exactly 1,000,000 values, while the
    // second generator is not touched.
    seedStream(-5);
    const GammaRates g(3, 1.0, 0, rng);
    const double next = rng.uniform();
    const double second = rng.uniform2();
    seedStream(-5);
    for (int i = 0; i < 1000000; ++i) rng.uniform();
    EXPECT_EQ(rng.uniform(), next);
    EXPECT_EQ(Rng{}.uniform2(), second);
}

TEST_F(GammaRatesTest, BuiltThenRebuiltInPlaceOrResized) {
    GammaRates g;
    EXPECT_EQ(g.size(), 0);
    ASSERT_EQ(g.build(5, 0.0, 0, rng), 1);
    EXPECT_EQ(g.size(), 5);
    const double* storage = g.rates().data();
    ASSERT_EQ(g.rebuild(5, 0.5, 4, rng), 1);  // same size: refilled with the new shape
    EXPECT_EQ(g.rates().data(), storage);
    EXPECT_EQ(g.shape(), 0.5);
    EXPECT_EQ(g.categories(), 4);
    EXPECT_GT(g[4], g[0]);
    ASSERT_EQ(g.rebuild(9, 0.0, 4, rng), 1);
    EXPECT_EQ(g.size(), 9);
    EXPECT_DOUBLE_EQ(g[8], 1.0 / 9);
}

// DNA owns the rates of its sites: set up by the first genetic phase with a
// shape, rebuilt in place by the later ones, never built without a shape.
TEST_F(GammaRatesTest, DnaSetsItsRatesUpOnceThenRebuildsThem) {
    Settings settings;
    settings.numLinkedLoci = 50;
    settings.numGammaCategories = 4;
    Dna none(settings);
    none.prepare(rng);
    EXPECT_EQ(none.siteRates(), nullptr);

    settings.gammaA = 0.5f;
    Dna dna(settings);
    EXPECT_EQ(dna.siteRates(), nullptr);
    dna.prepare(rng);
    const GammaRates* rates = dna.siteRates();
    ASSERT_NE(rates, nullptr);
    EXPECT_EQ(rates->size(), 50);
    EXPECT_EQ(rates->shape(), 0.5);
    EXPECT_EQ(rates->categories(), 4);
    const std::vector<double> first = rates->rates();
    dna.prepare(rng);
    EXPECT_EQ(dna.siteRates(), rates);
    EXPECT_EQ(rates->size(), 50);
    // The second generator has moved on: the sites are dealt anew.
    EXPECT_NE(rates->rates(), first);
}

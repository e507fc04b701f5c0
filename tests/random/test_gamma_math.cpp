// Gamma-rate machinery on the second generator: the numerical routines
// against closed forms, and the site-rate draws against their model.
#include "random/GammaMath.h"
#include "random/Rng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

using namespace fluviagen;

namespace {

class GammaMathTest : public testing::Test {
protected:
    Rng rng;  // second generator at its fixed start
};

TEST_F(GammaMathTest, StirlingLnGammaOnBothSidesOfSeven) {
    for (double x : {0.05, 0.5, 1.0, 3.3, 6.999, 7.0, 20.5, 1000.0})
        EXPECT_NEAR(lnGammaStirling(x), std::lgamma(x), 1e-10 * std::max(1.0, std::fabs(std::lgamma(x)))) << x;
}

TEST_F(GammaMathTest, IncompleteGammaAgainstClosedForms) {
    // Shape 1: P = 1 - e^-x; shape 2: P = 1 - (1 + x) e^-x. Series (x <= 1 or
    // x < shape) and continued fraction (otherwise) are both exercised.
    for (double x : {0.01, 0.5, 1.0, 1.5, 3.0, 10.0, 40.0}) {
        EXPECT_NEAR(incompleteGamma(x, 1.0, 0.0), 1.0 - std::exp(-x), 1e-8) << x;
        EXPECT_NEAR(incompleteGamma(x, 2.0, 0.0), 1.0 - (1.0 + x) * std::exp(-x), 1e-8) << x;
    }
    EXPECT_NEAR(incompleteGamma(2.0, 0.5, std::lgamma(0.5)), std::erf(std::sqrt(2.0)), 1e-8);
    EXPECT_EQ(incompleteGamma(0.0, 2.0, 0.0), 0.0);
    EXPECT_EQ(incompleteGamma(-1.0, 2.0, 0.0), -1.0);
    EXPECT_EQ(incompleteGamma(1.0, 0.0, 0.0), -1.0);
}

TEST_F(GammaMathTest, NormalQuantile) {
    EXPECT_NEAR(normalQuantile(0.5), 0.0, 1e-7);
    EXPECT_NEAR(normalQuantile(0.975), 1.959963985, 1e-7);
    EXPECT_NEAR(normalQuantile(0.025), -1.959963985, 1e-7);
    EXPECT_NEAR(normalQuantile(1e-6), -4.753424309, 1e-6);
    // Both extreme tails give the same marker value.
    EXPECT_EQ(normalQuantile(1e-21), -9999.0);
    EXPECT_EQ(normalQuantile(1.0), -9999.0);
}

TEST_F(GammaMathTest, ChiSquareQuantileInvertsTheDistribution) {
    // Every starting approximation: small chi-square (v < -1.24 ln p), small
    // v (<= 0.32), Wilson-Hilferty, and the p -> 1 correction.
    const struct {
        double p, v;
    } cases[] = {{0.001, 2.0}, {0.3, 0.2}, {0.9, 0.05}, {0.5, 4.0}, {0.95, 10.0}, {0.999, 1.0}, {0.99, 120.0}};
    for (const auto& c : cases) {
        const double ch = chiSquareQuantile(c.p, c.v);
        ASSERT_GT(ch, 0.0) << c.p << " " << c.v;
        EXPECT_NEAR(incompleteGamma(ch / 2, c.v / 2, std::lgamma(c.v / 2)), c.p, 1e-6 * c.p) << c.p << " " << c.v;
    }
    EXPECT_NEAR(chiSquareQuantile(0.95, 1.0), 3.841458821, 1e-6);
    EXPECT_EQ(chiSquareQuantile(0.000001, 3.0), -1.0);
    EXPECT_EQ(chiSquareQuantile(0.999999, 3.0), -1.0);
    EXPECT_EQ(chiSquareQuantile(0.5, 0.0), -1.0);
}

TEST_F(GammaMathTest, DiscreteGammaCategories) {
    // Category means of a gamma with mean a / b: they average to a / b and
    // increase with the category.
    for (int K : {2, 4, 8}) {
        std::vector<double> freq(K), rate(K);
        discreteGammaRates(freq.data(), rate.data(), 1.7, 0.4, K, 0);
        EXPECT_NEAR(std::accumulate(rate.begin(), rate.end(), 0.0) / K, 1.7 / 0.4, 1e-6) << K;
        for (int i = 1; i < K; ++i) EXPECT_GT(rate[i], rate[i - 1]);
        for (double f : freq) EXPECT_EQ(f, 1.0 / K);
    }
    double freq[4], rate[4];
    discreteGammaRates(freq, rate, 0.5, 0.5, 4, 1);  // medians rescaled to mean 1
    EXPECT_NEAR((rate[0] + rate[1] + rate[2] + rate[3]) / 4, 1.0, 1e-12);
    EXPECT_NEAR(rate[1] / rate[0], chiSquareQuantile(0.375, 1.0) / chiSquareQuantile(0.125, 1.0), 1e-9);
    // A single category is the whole distribution.
    discreteGammaRates(freq, rate, 0.5, 0.25, 1, 0);
    EXPECT_EQ(rate[0], 2.0);
    EXPECT_EQ(freq[0], 1.0);
}

// The evaluation order of the incomplete gamma and category arithmetic is part
// of the model's reproducibility: (term x) / rn, (gin factor) / alpha, the
// Stirling product starting at x itself, factor = (K a) / b. Each of the
// other orders changes a last bit in one of these category sets (values
// taken from this implementation, which matches the published K = 4 rates).
TEST_F(GammaMathTest, CategoryRatesKeepTheirEvaluationOrder) {
    const auto rates = [](double a, int K) {
        std::vector<double> freq(K), rate(K);
        discreteGammaRates(freq.data(), rate.data(), a, a, K, 0);
        return rate;
    };
    const std::vector<double> small = {1.5964039075975462e-10, 0.00033481871374959531, 2.9996651811266104};
    EXPECT_EQ(rates(0.05, 3), small);
    const std::vector<double> seven = {0.00022492432765098939, 0.006986187502380465, 0.048000836864511794,
                                       0.18284813396469374,    0.52770434165004287,  1.3757914417859496,
                                       4.8584441339047704};
    EXPECT_EQ(rates(0.25, 7), seven);
}

TEST_F(GammaMathTest, MultiNomialCountsAndCheck) {
    const double prob[3] = {0.2, 0.3, 0.5};
    double space[3];
    int nobs[3];
    testing::internal::CaptureStdout();
    multinomialDeviate(rng, 30000, 3, prob, nobs, space);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(nobs[0] + nobs[1] + nobs[2], 30000);
    for (int i = 0; i < 3; ++i) {
        const double sd = std::sqrt(30000 * prob[i] * (1 - prob[i]));
        EXPECT_NEAR(nobs[i], 30000 * prob[i], 4.5 * sd) << i;
    }

    // Without workspace the probabilities are taken as cumulative already.
    const double cumulative[3] = {0.2, 0.5, 1.0};
    rng = Rng{};
    int direct[3];
    multinomialDeviate(rng, 30000, 3, cumulative, direct, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(direct[i], nobs[i]);

    // A total of 0.99 is reported; draws beyond it fall in the last category.
    const double shortProb[2] = {0.49, 0.5};
    int counts[2];
    testing::internal::CaptureStdout();
    multinomialDeviate(rng, 20000, 2, shortProb, counts, space);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "sum P!=1 in MultiNomial\n");
    EXPECT_EQ(counts[0] + counts[1], 20000);
    EXPECT_NEAR(counts[1], 10200, 4.5 * std::sqrt(20000 * 0.25));

    // A draw goes to the first category whose cumulative value exceeds it:
    // a draw equal to a boundary belongs to the next category.
    rng = Rng{};
    const double boundary[2] = {rng.uniform2(), 1.0};
    rng = Rng{};
    multinomialDeviate(rng, 1, 2, boundary, counts, nullptr);
    EXPECT_EQ(counts[0], 0);
    EXPECT_EQ(counts[1], 1);
}

TEST_F(GammaMathTest, GammaDeviate2AgreesWithTheory) {
    for (double s : {0.3, 1.0, 2.5, 9.0}) {
        const int n = 40000;
        double sum = 0, sum2 = 0;
        for (int i = 0; i < n; ++i) {
            const double x = rng.gammaDeviate2(s);
            ASSERT_GE(x, 0.0);
            sum += x;
            sum2 += x * x;
        }
        const double mean = sum / n;
        const double var = sum2 / n - mean * mean;
        // Var of the mean is s / n; var of the sample variance about 2s(s+3)/n.
        EXPECT_NEAR(mean, s, 5 * std::sqrt(s / n)) << s;
        EXPECT_NEAR(var, s, 5 * std::sqrt((2 * s * s + 6 * s) / n)) << s;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(rng.gammaDeviate2(0.0), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "rqv gamma..\n");
}

TEST_F(GammaMathTest, SiteRates) {
    const int n = 4000;
    std::vector<double> rates(n);

    drawSiteRates(rng, rates.data(), 0.0, 4, n, 0);
    for (double r : rates) EXPECT_EQ(r, 1.0);

    // Categories: only the four category rates, in category order, each on
    // about a quarter of the sites, with no complaint about the total.
    double freq[4], catRate[4];
    discreteGammaRates(freq, catRate, 0.5, 0.5, 4, 0);
    testing::internal::CaptureStdout();
    drawSiteRates(rng, rates.data(), 0.5, 4, n, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (int i = 1; i < n; ++i) EXPECT_GE(rates[i], rates[i - 1]);
    for (int k = 0; k < 4; ++k) {
        const auto count = std::count(rates.begin(), rates.end(), catRate[k]);
        EXPECT_NEAR(count, n / 4.0, 4.5 * std::sqrt(n * 0.25 * 0.75)) << k;
    }

    // Continuous: mean 1, variance 1 / a.
    drawSiteRates(rng, rates.data(), 2.0, 1, n, 0);
    const double mean = std::accumulate(rates.begin(), rates.end(), 0.0) / n;
    EXPECT_NEAR(mean, 1.0, 5 * std::sqrt(0.5 / n));
}

}  // namespace

// The Poisson and binomial deviates take ln k! from a table and keep the
// set-ups of recent Poisson means; both only spare work. Checked here against
// the deviates written out plainly (every ln Gamma computed, every constant
// computed at each call) over long runs of changing parameters that pass
// through every branch and across the end of the table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "random/Rng.h"

using namespace fluviagen;

namespace {

constexpr double kPi = 3.141592654;

// The deviates without table or caches, drawing from `rng`'s main stream.
// `beyond` counts the ln Gamma arguments that lie past the table.
struct PlainDeviates {
    Rng& rng;
    long beyond = 0;
    long within = 0;

    double lnFact(float k) {
        (k < static_cast<float>(lnFactorialTableSize) ? within : beyond) += 1;
        return lnGammaLanczos(k + 1.0);
    }

    float poisson(float lambda) {
        float em;
        if (lambda < 12.0) {
            const float g = std::exp(-lambda);
            em = -1.0f;
            float t = 1.0f;
            do {
                em += 1.0f;
                t = static_cast<float>(t * rng.uniform());
            } while (t > g);
            return em;
        }
        const float sq = static_cast<float>(std::sqrt(2.0 * lambda));
        const float logMean = std::log(lambda);
        const float g = static_cast<float>(lambda * logMean - lnGammaLanczos(lambda + 1.0));
        float t;
        do {
            float y;
            do {
                y = static_cast<float>(std::tan(kPi * rng.uniform()));
                em = sq * y + lambda;
            } while (em < 0.0);
            em = std::floor(em);
            t = static_cast<float>(0.9 * (1.0 + y * y) * std::exp(em * logMean - lnFact(em) - g));
        } while (rng.uniform() > t);
        return em;
    }

    float binomial(float pp, int n) {
        const float p = pp <= 0.5 ? pp : static_cast<float>(1.0 - pp);
        const float am = n * p;
        float bnl;
        if (n < 25) {
            bnl = 0.0f;
            for (int j = 1; j <= n; ++j)
                if (rng.uniform() < p) bnl += 1.0f;
        } else if (am < 1.0) {
            const float g = std::exp(-am);
            float t = 1.0f;
            int j;
            for (j = 0; j <= n; ++j) {
                t = static_cast<float>(t * rng.uniform());
                if (t < g) break;
            }
            bnl = static_cast<float>(j <= n ? j : n);
        } else {
            const float en = static_cast<float>(n);
            const float lnGammaN1 = static_cast<float>(lnGammaLanczos(en + 1.0));
            const float pc = static_cast<float>(1.0 - p);
            const float logP = std::log(p);
            const float logPc = std::log(pc);
            const float sq = static_cast<float>(std::sqrt(2.0 * am * pc));
            float em;
            float t;
            do {
                float y;
                do {
                    y = static_cast<float>(std::tan(kPi * rng.uniform()));
                    em = sq * y + am;
                } while (em < 0.0 || em >= (en + 1.0));
                em = std::floor(em);
                t = static_cast<float>(
                    1.2 * sq * (1.0 + y * y) *
                    std::exp(lnGammaN1 - lnFact(em) - lnFact(en - em) + em * logP + (en - em) * logPc));
            } while (rng.uniform() > t);
            bnl = em;
        }
        if (p != pp) bnl = n - bnl;
        return bnl;
    }
};

void seedQuietly(Rng& rng, long seed) {
    std::ostringstream quiet;
    auto* old = std::cout.rdbuf(quiet.rdbuf());
    rng.seedMain(seed);
    std::cout.rdbuf(old);
}

std::uint32_t bitsOf(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

TEST(DeviateTables, TheTableHoldsTheFunctionsOwnValues) {
    const double* table = lnFactorialTable();
    for (int k : {0, 1, 2, 11, 12, 1000, 32767, lnFactorialTableSize - 1})
        EXPECT_EQ(table[k], lnGammaLanczos(k + 1.0)) << k;
    for (float k : {0.0f, 65535.0f, 65536.0f, 65537.0f, 1e9f})
        EXPECT_EQ(lnFactorial(table, k), lnGammaLanczos(k + 1.0)) << k;
}

// Means and sizes change at every call, as in the simulation: more distinct
// Poisson means than the set-up table has places (so places are taken over),
// each branch of both deviates, and arguments on both sides of the table's
// end (means and trial counts near 65,536 and 131,072).
TEST(DeviateTables, LongRunsDrawTheSameAsThePlainDeviates) {
    const std::vector<float> means = {0.0f,   0.3f,    3.5f,     11.99f,   12.0f,    12.5f,    40.0f,
                                      250.0f, 1000.5f, 32767.0f, 65400.0f, 65536.0f, 65700.0f, 1.0e6f};
    struct Trial {
        float p;
        int n;
    };
    const std::vector<Trial> trials = {{0.3f, 10},     {0.8f, 24},     {0.01f, 25},   {0.03f, 30},
                                       {0.4f, 100},    {0.7f, 300},    {0.5f, 32767}, {0.09f, 72000},
                                       {0.5f, 131000}, {0.93f, 72000}, {0.2f, 1000}};
    Rng tabled;
    Rng plainRng;
    seedQuietly(tabled, -777);
    seedQuietly(plainRng, -777);
    PlainDeviates plain{plainRng};
    for (int i = 0; i < 200000; ++i) {
        // Whole means from 0 to 2,999 in a shuffled order, alternating with
        // the listed ones.
        const float whole = static_cast<float>((i * 7919) % 3000);
        const float listed = means[static_cast<std::size_t>(i) % means.size()];
        for (float lambda : {whole, listed, whole + 0.25f}) {
            const float a = tabled.poissonDeviate(lambda);
            const float b = plain.poisson(lambda);
            ASSERT_EQ(bitsOf(a), bitsOf(b)) << "draw " << i << ", Poisson mean " << lambda;
        }
        const Trial& trial = trials[static_cast<std::size_t>(i) % trials.size()];
        for (int n : {trial.n, 25 + (i * 31) % 400}) {
            const float p = n == trial.n ? trial.p : 0.001f * static_cast<float>((i * 13) % 999 + 1);
            const float a = tabled.binomialDeviate(p, n);
            const float b = plain.binomial(p, n);
            ASSERT_EQ(bitsOf(a), bitsOf(b)) << "draw " << i << ", binomial " << p << ", " << n;
        }
    }
    EXPECT_EQ(tabled.uniform(), plainRng.uniform());  // the streams are still in step
    // Both sides of the table's end were reached.
    EXPECT_GT(plain.beyond, 1000);
    EXPECT_GT(plain.within, 1000000);
}

// The starting state's constants (mean -1, g = 0) answer a mean of -1 until
// another mean is asked for; from then on -1 gets its own constants.
TEST(DeviateTables, TheStartingStateAnswersMinusOneUntilAnotherMean) {
    Rng rng;
    seedQuietly(rng, -99);
    EXPECT_GT(rng.poissonDeviate(-1.0f), 5.0f);  // the product must reach 0
    EXPECT_GT(rng.poissonDeviate(-1.0f), 5.0f);
    rng.poissonDeviate(3.0f);
    EXPECT_EQ(rng.poissonDeviate(-1.0f), 0.0f);  // e^1 > any uniform
}

}  // namespace

// The simulator's randomness: one object that owns the main subtractive
// lagged uniform generator, the caches of the deviates built on it (Poisson,
// binomial, geometric, gamma, beta), and the small second generator that
// deals DNA sites to gamma rate categories. A program call has exactly one;
// every stage that draws takes it by reference.
//
// Every run is reproducible draw for draw from its seed, so each deviate
// consumes its uniforms in a fixed order and keeps the arithmetic precision of
// its classic published form (single precision for Poisson and binomial).
// Changing the order of draws, or the precision of an intermediate, changes
// every later result of a run.
#pragma once

#include <array>
#include <cstddef>
#include <limits>

namespace fluviagen {

class Rng {
public:
    Rng() = default;

    // Knuth's subtractive generator (modulus 1e9, seed constant 161803398).
    // A negative `idum` (or the first call ever) seeds the lag table from
    // |idum| and sets `idum` to 1; a positive `idum` only continues the one
    // stream. The value is j * 1e-9 computed in extended precision. A value
    // of 1 or more cannot come from a sound table; it is reported as " **
    // strange uniform:" and still returned.
    double uniform(long& idum);
    // The same stream through the object's positive seed variable: what every
    // part of the simulator other than the seeding uses. Inline, as the
    // backward walk and the mutation step draw once per lineage and step.
    double uniform() { return main_.initialised && main_.sharedSeed >= 0 ? step() : uniform(main_.sharedSeed); }

    // Seeds the main generator once per program call.
    // -161803398 <= seed < 0: seeds with that value (the value drawn while
    //           seeding is dropped, so the first value used is the second of
    //           the stream) and prints "Random generator initialized with seed
    //           = <seed>".
    // any other seed: takes -(rand() mod 161803398) after srand(time(0))
    //           instead, prints "\tRandom generator initialized with lidum =
    //           <value>" and seeds with it.
    void seedMain(long seed);

    // Poisson deviate of mean `lambda` (returned as a float count). Below 12
    // the product-of-uniforms method, from 12 on the Lorentzian rejection
    // method.
    float poissonDeviate(float lambda);
    // Binomial deviate: number of successes in `n` trials of probability `p`
    // (returned as a float count). Direct count below 25 trials, waiting
    // times for a mean below 1, rejection otherwise; p > 0.5 is drawn as n
    // minus the count for 1 - p.
    float binomialDeviate(float p, int n);
    // Number of failures before the first success when a success has
    // probability 1 - p: P(k) = p^k (1 - p). 0 when p < 1e-10 or p == 1 (no
    // draw then).
    int geometricDeviate(double p);
    // Gamma deviate of shape a (scale 1). a <= 0 is a fatal SimulationError.
    double gammaDeviate(double a);
    // Gamma deviate of shape a and rate b, i.e. gammaDeviate(a) / b.
    double gammaDeviate(double a, double b);
    // Gamma deviate of integer shape n (sum of n exponential waiting times).
    // n <= 0 is a fatal SimulationError.
    double integerGammaDeviate(int n);
    // Beta deviate in (0, 1). Non-positive shapes are a fatal SimulationError.
    double betaDeviate(double a, double b);

    // Uniform in [0, 1) from the second generator (Wichmann and Hill,
    // algorithm AS 183). It starts from a fixed state and is never reseeded,
    // so the assignment of sites to rate categories draws the same sequence
    // in every program call; the main stream is untouched by it.
    double uniform2();
    // Gamma deviate of shape s and scale 1 on the second generator:
    // switching method below 1, Best's method above 1, exponential at 1.
    // s <= 0 prints "rqv gamma..\n" and gives 0.
    double gammaDeviate2(double s);

    // True when this generator drew a number (of either stream) since it was
    // in the state of `earlier`.
    bool drawnSince(const Rng& earlier) const;

    // Test hook: sets the lag table so that the next 55 calls of uniform return
    // next[i] * 1e-9 (each next[i] in 0 .. 999999999), in order; the stream
    // then goes on by the generator's own recurrence. Lets a test drive the
    // rare branches of the deviates and of the coalescent (a partner search
    // that keeps drawing the same lineage) with draws it chose.
    void setNextRan3Values(const std::array<long, 55>& next);

private:
    // The main generator and its deviates' caches. The caches only spare
    // recomputing constants when a deviate is called again with the same
    // parameter; they never change a result.
    struct Main {
        std::array<long, 56> lagTable{};  // entries 1..55 are used
        int idxA = 0;
        int idxB = 0;
        bool initialised = false;
        long sharedSeed = 1;  // positive: callers only continue the stream

        // Poisson: the set-ups of recent means, sqrt(2 lambda), ln lambda and
        // the normalising term g (e^-lambda below 12), in a small table
        // indexed by a hash of the mean's bits. The grown size and the
        // emigrant count of a segment alternate as means, so a single cached
        // mean would be recomputed at almost every call.
        struct PoissonSetup {
            float mean = std::numeric_limits<float>::quiet_NaN();  // NaN: empty
            float sq = 0.0f;
            float logMean = 0.0f;
            float g = 0.0f;
        };
        static constexpr int poissonSetupBits = 10;
        std::array<PoissonSetup, std::size_t{1} << poissonSetupBits> poissonSetups{};
        // Until a Poisson mean other than -1 is asked for, a mean of -1 finds
        // the never computed constants of the starting state (g = 0).
        bool poissonUntouched = true;

        // Binomial: last n with ln Gamma(n + 1), last probability q with
        // 1 - q, ln q and ln(1 - q).
        int binomialN = -1;
        float binomialEn = 0.0f;
        float binomialLnGammaN1 = 0.0f;
        float binomialP = -1.0f;
        float binomialPc = 0.0f;
        float binomialLogP = 0.0f;
        float binomialLogPc = 0.0f;
    };

    // The second generator and the caches of gammaDeviate2.
    struct Second {
        int x = 11;
        int y = 23;
        int z = 137;
        // Shape below 1 (switching method): last shape and its constants.
        double smallShape = 10.0;
        double smallA = 0.0;
        double smallP = 0.0;
        double smallUf = 0.0;
        double smallD = 0.0;
        // Shape above 1 (Best's method): last shape with s - 1 and
        // sqrt(3s - 0.75).
        double largeShape = 0.0;
        double largeB = 0.0;
        double largeH = 0.0;
    };

    void seedLagTable(long seed);
    // One step of the recurrence on a seeded table, and its value. The
    // scaling is done in x87 extended precision and then rounded once; a
    // plain double product differs in the last bit for many values.
    double step() {
        if (++main_.idxA == 56) main_.idxA = 1;
        if (++main_.idxB == 56) main_.idxB = 1;
        long& entry = main_.lagTable[static_cast<std::size_t>(main_.idxA)];
        long j = entry - main_.lagTable[static_cast<std::size_t>(main_.idxB)];
        if (j < 0) j += 1000000000L;
        entry = j;
        const double value = static_cast<double>(static_cast<long double>(j) * 1e-9L);
        if (value >= 1.0) reportStrange(value);
        return value;
    }
    // " ** strange ran3:" and the value: a sound table never gives 1 or more.
    static void reportStrange(double value);
    // The Poisson constants for this mean (see Main::poissonSetups).
    const Main::PoissonSetup& poissonSetup(float lambda);
    double gammaSmallShape(double s);
    double gammaLargeShape(double s);

    Main main_;
    Second second_;
};

// A non-positive seed from the local clock:
// -(hundredths of the current second) - (seconds since 1970 mod 10000000).
long clockSeed();

// ln Gamma(x) for x > 0, Lanczos series (relative error below 2e-10).
double lnGammaLanczos(double x);

// static_cast<float>(std::tan(x)) for 0 <= x < 3.2, the Lorentzian deviate of
// the Poisson and binomial rejection methods, mostly without calling tan: a
// short series decides whenever it leaves no doubt about the float.
float tanAsFloat(double x);

// lnGammaLanczos(k + 1.0) for a whole number k >= 0 given as a float: from a
// table of the function's own results for k below lnFactorialTableSize (filled
// once per process, at run time, by the very function), computed above it.
// The identical double either way.
inline constexpr int lnFactorialTableSize = 1 << 16;
const double* lnFactorialTable();
inline double lnFactorial(const double* table, float k) {
    return k < static_cast<float>(lnFactorialTableSize) ? table[static_cast<int>(k)] : lnGammaLanczos(k + 1.0);
}

}  // namespace fluviagen

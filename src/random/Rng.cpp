#include "random/Rng.h"

#include "base/Exception.h"
#include "random/GammaMath.h"

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <limits>
#include <vector>

namespace fluviagen {

// The uniform is scaled in x87 extended precision (see uniform); a platform
// whose long double is plain double would give other streams.
static_assert(std::numeric_limits<long double>::digits == 64,
              "ran3 needs the 80-bit x87 long double (64-bit mantissa)");

namespace {

constexpr long kModulus = 1000000000L;      // MBIG of the subtractive generator
constexpr long kSeedConstant = 161803398L;  // MSEED
constexpr double kPi = 3.141592654;         // the rejection methods' own value of pi
constexpr double kEuler = 2.7182818284590452354;

// An invalid deviate parameter leaves the model no sensible value to go on
// with: its message goes to standard output with the model's other
// messages, and the program call ends.
[[noreturn]] void invalidParameter(const char* message) {
    std::cout << message << std::flush;
    throw SimulationError(Text("A random deviate was asked for with an invalid parameter (see above)!"), levelFatal);
}

// (161803398 - |seed|) mod 1e9 with the sign of a C remainder, computed
// without overflow for every long (|LONG_MIN| does not fit a long).
long seedStart(long seed) {
    const unsigned long magnitude =
        seed < 0 ? 0UL - static_cast<unsigned long>(seed) : static_cast<unsigned long>(seed);
    const unsigned long constant = static_cast<unsigned long>(kSeedConstant);
    if (magnitude <= constant) return static_cast<long>((constant - magnitude) % kModulus);
    return -static_cast<long>((magnitude - constant) % kModulus);
}

}  // namespace

void Rng::seedLagTable(long seed) {
    auto& ma = main_.lagTable;
    long j = seedStart(seed);
    ma[55] = j;
    long k = 1;
    for (int i = 1; i <= 54; ++i) {
        const int m = (21 * i) % 55;
        ma[m] = k;
        k = j - k;
        if (k < 0) k += kModulus;
        j = ma[m];
    }
    for (int pass = 1; pass <= 4; ++pass) {
        for (int i = 1; i <= 55; ++i) {
            ma[i] -= ma[1 + (i + 30) % 55];
            if (ma[i] < 0) ma[i] += kModulus;
        }
    }
    main_.idxA = 0;
    main_.idxB = 31;
}

double Rng::uniform(long& idum) {
    if (idum < 0 || !main_.initialised) {
        main_.initialised = true;
        seedLagTable(idum);
        idum = 1;
    }
    return step();
}

void Rng::reportStrange(double value) { std::cout << " ** strange ran3:" << value << std::endl; }

void Rng::seedMain(long seed) {
    if (seed < 0 && seed >= -kSeedConstant) {
        long copy = seed;
        uniform(copy);  // seeds the table; this first value is not used
        std::cout << "Random generator initialized with seed = " << seed << std::endl;
        return;
    }
    // No usable seed: take one from the C library generator seeded by the
    // time. Its range is kept within the generator's valid seeds: a seed
    // beyond 161803398 in magnitude leaves negative entries in the lag table,
    // and the stream then leaves [0, 1).
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    long lidum = -static_cast<long>(std::rand() % kSeedConstant);
    std::cout << "\tRandom generator initialized with lidum = " << lidum << std::endl;
    uniform(lidum);
}

long clockSeed() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const long long millis = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const long hundredths = static_cast<long>(((millis % 1000) + 1000) % 1000 / 10);
    const long seconds = static_cast<long>(system_clock::to_time_t(now) % 10000000);
    return -hundredths - seconds;
}

float tanAsFloat(double x) {
    // Reduced to |r| <= pi/4 around k pi/2 (k = 0, 1, 2; the multiple of
    // pi/2 in two parts, the first difference exact, so that r keeps its
    // relative precision near the pole), and tan r from tan(r / 4) by
    // doubling the angle twice: the series of tan(a) / a in w = a^2 to w^7 is
    // within 3e-15 for |a| <= pi/16. The region is chosen without branches
    // (the angles fall in them at random) and the series is summed in
    // pairs, so that the few steps on the way to the deviate do not wait on
    // each other.
    constexpr double quarterPi = 0.78539816339744830962;
    constexpr double threeQuartersPi = 2.35619449019234492885;
    constexpr double halfPiHigh = 1.57079632679489655800e+00;  // the double nearest pi/2
    constexpr double halfPiLow = 6.12323399573676603587e-17;   // pi/2 minus that double
    const double k = static_cast<double>((x >= quarterPi) + (x >= threeQuartersPi));
    const double r = (x - k * halfPiHigh) - k * halfPiLow;
    const double a = 0.25 * r;
    const double w = a * a;
    const double w2 = w * w;
    const double low = (1.0 / 3.0 + w * (2.0 / 15.0)) + w2 * (17.0 / 315.0 + w * (62.0 / 2835.0));
    const double high = (1382.0 / 155925.0 + w * (21844.0 / 6081075.0)) + w2 * (929569.0 / 638512875.0);
    const double t = a + a * w * (low + (w2 * w2) * high);
    const double t2 = t * t;
    const double numerator = 4.0 * t * (1.0 - t2);
    const double denominator = (1.0 - 6.0 * t2) + t2 * t2;
    const bool cotangent = k == 1.0;
    const double y = (cotangent ? -denominator : numerator) / (cotangent ? numerator : denominator);
    // The library's tan lies within an ulp of tan x, this value within 1e-14
    // of it: when both ends of a band of 2^-36 around y round to the same
    // float, so does the library's value. Otherwise (about one angle in
    // 3,000, and whatever is not finite) the library decides.
    const double margin = std::fabs(y) * 0x1p-36;
    const float below = static_cast<float>(y - margin);
    if (below == static_cast<float>(y + margin)) return below;
    return static_cast<float>(std::tan(x));
}

const Rng::Main::PoissonSetup& Rng::poissonSetup(float lambda) {
    Main& s = main_;
    std::uint32_t bits;
    std::memcpy(&bits, &lambda, sizeof bits);
    Main::PoissonSetup& setup = s.poissonSetups[(bits * 2654435761u) >> (32 - Main::poissonSetupBits)];
    if (setup.mean == lambda) return setup;  // never for NaN: a NaN mean is set up on every draw
    if (s.poissonUntouched) {
        if (lambda == -1.0f) {
            static const Main::PoissonSetup startingState{-1.0f, 0.0f, 0.0f, 0.0f};
            return startingState;
        }
        s.poissonUntouched = false;
    }
    setup.mean = lambda;
    if (lambda < 12.0) {
        setup.g = std::exp(-lambda);  // float exp
    } else {
        setup.sq = static_cast<float>(std::sqrt(2.0 * lambda));
        setup.logMean = std::log(lambda);  // float log
        setup.g = static_cast<float>(lambda * setup.logMean - lnGammaLanczos(lambda + 1.0));
    }
    return setup;
}

// Poisson and binomial keep the single precision of their classic form:
// every named quantity is a float, double literals promote as in C, and the
// result is stored back to float. Results depend on this to the last bit.
float Rng::poissonDeviate(float lambda) {
    const Main::PoissonSetup& s = poissonSetup(lambda);
    float em;
    if (lambda < 12.0) {
        const float g = s.g;
        em = -1.0f;
        float t = 1.0f;
        do {
            em += 1.0f;
            t = static_cast<float>(t * uniform());
        } while (t > g);
        return em;
    }
    const float sq = s.sq;
    const float logMean = s.logMean;
    const float g = s.g;
    const double* lnFactorials = lnFactorialTable();
    float t;
    do {
        float y;
        do {
            y = tanAsFloat(kPi * uniform());
            em = sq * y + lambda;
        } while (em < 0.0);
        em = std::floor(em);
        t = static_cast<float>(0.9 * (1.0 + y * y) * std::exp(em * logMean - lnFactorial(lnFactorials, em) - g));
    } while (uniform() > t);
    return em;
}

float Rng::binomialDeviate(float pp, int n) {
    Main& s = main_;
    const float p = pp <= 0.5 ? pp : static_cast<float>(1.0 - pp);
    const float am = n * p;
    float bnl;
    if (n < 25) {
        bnl = 0.0f;
        for (int j = 1; j <= n; ++j)
            if (uniform() < p) bnl += 1.0f;
    } else if (am < 1.0) {
        const float g = std::exp(-am);  // float exp
        float t = 1.0f;
        int j;
        for (j = 0; j <= n; ++j) {
            t = static_cast<float>(t * uniform());
            if (t < g) break;
        }
        bnl = static_cast<float>(j <= n ? j : n);
    } else {
        const double* lnFactorials = lnFactorialTable();
        if (n != s.binomialN) {
            s.binomialEn = static_cast<float>(n);
            s.binomialLnGammaN1 = static_cast<float>(lnFactorial(lnFactorials, s.binomialEn));
            s.binomialN = n;
        }
        if (p != s.binomialP) {
            s.binomialPc = static_cast<float>(1.0 - p);
            s.binomialLogP = std::log(p);              // float log
            s.binomialLogPc = std::log(s.binomialPc);  // float log
            s.binomialP = p;
        }
        const float en = s.binomialEn;
        const float sq = static_cast<float>(std::sqrt(2.0 * am * s.binomialPc));
        float em;
        float t;
        do {
            float y;
            do {
                y = tanAsFloat(kPi * uniform());
                em = sq * y + am;
            } while (em < 0.0 || em >= (en + 1.0));
            em = std::floor(em);
            t = static_cast<float>(1.2 * sq * (1.0 + y * y) *
                                   std::exp(s.binomialLnGammaN1 - lnFactorial(lnFactorials, em) -
                                            lnFactorial(lnFactorials, en - em) + em * s.binomialLogP +
                                            (en - em) * s.binomialLogPc));
        } while (uniform() > t);
        bnl = em;
    }
    if (p != pp) bnl = n - bnl;
    return bnl;
}

int Rng::geometricDeviate(double p) {
    if (p < 1e-10 || p == 1.0) return 0;
    const double k = std::floor(std::log(uniform()) / std::log(p));
    // A uniform of exactly 0 gives an infinite count; keep the conversion defined.
    if (!(k < static_cast<double>(INT_MAX))) return INT_MAX;
    if (k < static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(k);
}

double Rng::integerGammaDeviate(int n) {
    if (n <= 0) invalidParameter("\nError: arg of igamma_dev was <1\n");
    if (n <= 5) {
        double x = 1.0;
        for (int j = 1; j <= n; ++j) x *= uniform();
        return -std::log(x);
    }
    double x;
    for (;;) {
        double g1;
        double g2;
        do {
            g1 = 2.0 * uniform() - 1.0;
            g2 = 2.0 * uniform() - 1.0;
        } while (g1 * g1 + g2 * g2 > 1.0);
        const double y = g2 / g1;
        const double am = n - 1;
        const double s = std::sqrt(2.0 * am + 1.0);
        x = s * y + am;
        if (x <= 0.0) continue;
        const double e = (1.0 + y * y) * std::exp(am * std::log(x / am) - s * y);
        if (uniform() <= e) break;
    }
    return x;
}

double Rng::gammaDeviate(double a) {
    if (a <= 0.0) invalidParameter("\ngamma_dev: parameter must be positive\n");
    const int n = static_cast<int>(std::floor(a));
    const double f = a - n;
    double r = 0.0;
    if (n > 0) {
        r = integerGammaDeviate(n);
        if (f == 0.0) return r;
    }
    // Fractional shape: Ahrens and Dieter's GS method, a mixture of a power
    // law near 0 and an exponential tail.
    const double b = (kEuler + f) / kEuler;
    double x;
    for (;;) {
        const double p = b * uniform();
        if (p > 1.0) {
            x = -std::log((b - p) / f);
            if (uniform() <= std::pow(x, f - 1.0)) break;
        } else {
            x = std::pow(p, 1.0 / f);
            if (uniform() <= std::exp(-x)) break;
        }
    }
    return x + r;
}

double Rng::gammaDeviate(double a, double b) {
    if (b <= 0.0) invalidParameter("\ngamma_dev: parameter must be positive\n");
    return gammaDeviate(a) / b;
}

double Rng::betaDeviate(double a, double b) {
    if (a <= 0.0 || b <= 0.0) invalidParameter("Error: bad shape or range for a beta variate - Exiting\n\n");
    if (a >= 1.0 || b >= 1.0) {
        const double x = gammaDeviate(a);
        const double y = gammaDeviate(b);
        return x / (x + y);
    }
    // Both shapes below 1: Johnk's rejection method.
    double x;
    double y;
    do {
        x = std::pow(uniform(), 1.0 / a);
        y = std::pow(uniform(), 1.0 / b);
    } while (x + y > 1.0);
    return x / (x + y);
}

double lnGammaLanczos(double x) {
    static constexpr double cof[6] = {76.18009172947146,  -86.50532032941677,    24.01409824083091,
                                      -1.231739572450155, 0.1208650973866179e-2, -0.5395239384953e-5};
    double tmp = x + 5.5;
    tmp -= (x + 0.5) * std::log(tmp);
    double ser = 1.000000000190015;
    for (int j = 1; j <= 6; ++j) ser += cof[j - 1] / (x + j);
    return -tmp + std::log(2.5066282746310005 * ser / x);
}

const double* lnFactorialTable() {
    // Filled when first needed rather than computed by the compiler: the
    // logarithm the function calls is the C library's, chosen for the
    // processor when the program starts.
    static const std::vector<double> table = [] {
        std::vector<double> values(static_cast<std::size_t>(lnFactorialTableSize));
        for (int k = 0; k < lnFactorialTableSize; ++k)
            values[static_cast<std::size_t>(k)] = lnGammaLanczos(static_cast<double>(k) + 1.0);
        return values;
    }();
    return table.data();
}

void Rng::setNextRan3Values(const std::array<long, 55>& next) {
    // Draw n (1-based) subtracts entry n + 31 (wrapped to 1 .. 31 from draw 25
    // on, by then already replaced by draw n - 24) from entry n. Solving for
    // the starting entries: first 25 .. 55 from the values alone, then 1 .. 24.
    auto& ma = main_.lagTable;
    const auto value = [&next](int n) {
        return ((next[static_cast<std::size_t>(n - 1)] % kModulus) + kModulus) % kModulus;
    };
    for (int n = 25; n <= 55; ++n) ma[static_cast<std::size_t>(n)] = (value(n) + value(n - 24)) % kModulus;
    for (int n = 1; n <= 24; ++n)
        ma[static_cast<std::size_t>(n)] = (value(n) + ma[static_cast<std::size_t>(n + 31)]) % kModulus;
    main_.idxA = 0;
    main_.idxB = 31;
    main_.initialised = true;
    main_.sharedSeed = 1;
}

bool Rng::drawnSince(const Rng& earlier) const {
    return main_.idxA != earlier.main_.idxA || main_.idxB != earlier.main_.idxB ||
           main_.lagTable != earlier.main_.lagTable || main_.initialised != earlier.main_.initialised ||
           second_.x != earlier.second_.x || second_.y != earlier.second_.y || second_.z != earlier.second_.z;
}

}  // namespace fluviagen

// Every angle the Poisson and binomial rejection methods can ask the tangent
// of: 3.141592654 times each value j * 1e-9 (j = 0 .. 999,999,999) the
// uniform generator can return. Checks that tanAsFloat gives the float of the
// library's tan for each of them, and counts the angles the library decided.
// Not a timing: run once on a machine whose figures are reported
// (bench/README.md); takes about a minute per 10^9 angles.
//
//   build-bench/check_tan_angles [first last]
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "random/Rng.h"

using namespace fluviagen;

int main(int argc, char** argv) {
    long first = 0;
    long last = 999999999L;
    if (argc == 3) {
        first = std::atol(argv[1]);
        last = std::atol(argv[2]);
    }
    long differing = 0;
    long decidedByLibrary = 0;
    for (long j = first; j <= last; ++j) {
        const double u = static_cast<double>(static_cast<long double>(j) * 1e-9L);  // as the generator scales
        const double x = 3.141592654 * u;
        const float expected = static_cast<float>(std::tan(x));
        const double y = std::tan(x);
        const double margin = std::fabs(y) * 0x1p-36;
        if (static_cast<float>(y - margin) != static_cast<float>(y + margin)) ++decidedByLibrary;
        if (tanAsFloat(x) != expected) {
            if (++differing <= 10) std::printf("differs: j = %ld, x = %.17g\n", j, x);
        }
    }
    std::printf("angles %ld .. %ld: %ld differ; about %ld near a float boundary\n", first, last, differing,
                decidedByLibrary);
    return differing == 0 ? 0 : 1;
}

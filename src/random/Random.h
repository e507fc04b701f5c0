// The simulator's main source of randomness: one subtractive lagged uniform
// generator shared by the whole process, and the deviates built on it
// (Poisson, binomial, geometric, gamma, beta).
//
// Every run is reproducible draw for draw from its seed, so each deviate
// consumes its uniforms in a fixed order and keeps the arithmetic precision of
// its classic published form (single precision for Poisson and binomial).
// Changing the order of draws, or the precision of an intermediate, changes
// every later result of a run.
#pragma once

#include <array>

// Knuth's subtractive generator (modulus 1e9, seed constant 161803398).
// A negative `idum` (or the first call ever) seeds the lag table from |idum|
// and sets `idum` to 1; a positive `idum` only continues the one shared
// stream. The value is j * 1e-9 computed in extended precision. A value of 1
// or more cannot come from a sound table; it is reported as " ** strange
// ran3:" and still returned.
double ran3(long& idum);

// The same stream through the process-wide positive seed variable: what every
// part of the simulator other than the seeding uses.
double ran3();

// Seeds the main generator once per program run.
// -161803398 <= seed < 0: seeds with that value (the value drawn while
//           seeding is dropped, so the first value used is the second of the
//           stream) and prints "Random generator initialized with seed = <seed>".
// any other seed: takes -(rand() mod 161803398) after srand(time(0)) instead,
//           prints "\tRandom generator initialized with lidum = <value>" and
//           seeds with it.
void initialize_ran3(long seed);

// A non-positive seed from the local clock:
// -(hundredths of the current second) - (seconds since 1970 mod 10000000).
long clockSeed();

// Poisson deviate of mean `lambda` (returned as a float count). Below 12 the
// product-of-uniforms method, from 12 on the Lorentzian rejection method.
float poissonDeviate(float lambda);

// Binomial deviate: number of successes in `n` trials of probability `p`
// (returned as a float count). Direct count below 25 trials, waiting times
// for a mean below 1, rejection otherwise; p > 0.5 is drawn as n minus the
// count for 1 - p.
float binomialDeviate(float p, int n);

// Number of failures before the first success when a success has probability
// 1 - p: P(k) = p^k (1 - p). 0 when p < 1e-10 or p == 1 (no draw then).
int geometricDeviate(double p);

// Gamma deviate of shape a (scale 1). a <= 0 ends the program with exit code 1.
double gamma_dev(double a);

// Gamma deviate of shape a and rate b, i.e. gamma_dev(a) / b.
double gamma_dev(double a, double b);

// Gamma deviate of integer shape n (sum of n exponential waiting times).
// n <= 0 ends the program with exit code 1.
double igamma_dev(int n);

// Beta deviate in (0, 1). Non-positive shapes end the program with exit code 1.
double betaDeviate(double a, double b);

// ln Gamma(x) for x > 0, Lanczos series (relative error below 2e-10).
double lnGammaLanczos(double x);

// Test hook: puts the main generator back to "never seeded", the shared seed
// variable to 1, the Poisson and binomial caches to their starting values,
// and the second generator (see GammaMath.h) to its fixed starting state.
void resetRandomState();

// Test hook: sets the lag table so that the next 55 calls of ran3 return
// next[i] * 1e-9 (each next[i] in 0 .. 999999999), in order; the stream then
// goes on by the generator's own recurrence. Lets a test drive the rare
// branches of the deviates and of the coalescent (a partner search that keeps
// drawing the same lineage) with draws it chose.
void setNextRan3Values(const std::array<long, 55>& next);

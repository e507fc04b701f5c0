// Gamma-distributed rate heterogeneity among sites, drawn on the second
// generator of the Rng (Rng.h), whose stream leaves the main one untouched.
//
// The numerical routines are the classic published algorithms for discrete
// gamma categories: percentage points of the chi-square and normal
// distributions and the incomplete gamma ratio.
#pragma once

namespace fluviagen {

class Rng;

// ln Gamma(x) for x > 0 by Stirling's series, shifting small x up to 7 first.
double lnGammaStirling(double x);

// Incomplete gamma ratio P(alpha, x) (algorithm AS 32), given
// lnGammaAlpha = ln Gamma(alpha). 0 for x = 0; -1 for x < 0 or alpha <= 0.
double incompleteGamma(double x, double alpha, double lnGammaAlpha);

// Standard normal percentage point (algorithm AS 70); -9999 when p or 1 - p
// is below 1e-20 (for both tails).
double normalQuantile(double p);

// Percentage point of the chi-square distribution with v degrees of freedom
// (algorithm AS 91); -1 when p is outside [0.000002, 0.999998], v <= 0, or
// the incomplete gamma ratio fails.
double chiSquareQuantile(double p, double v);

// K equally probable categories of a gamma distribution with shape a and
// rate b: catFreq[i] = 1/K and catRate[i] the mean of category i (median = 0)
// or its median rescaled to mean a/b (median != 0). Both arrays hold K values.
void discreteGammaRates(double* catFreq, double* catRate, double a, double b, int K, int median);

// n relative site rates with mean 1 from a gamma of shape a: all 1 when a = 0;
// with K > 1 categories, sites are dealt to the discrete-gamma categories by
// one multinomial draw and filled category by category; otherwise each rate
// is an independent gamma deviate / a. With cdf set, the rates are turned
// into their normalised cumulative sum.
void drawSiteRates(Rng& rng, double* rates, double a, int K, int n, int cdf);

// n draws from the multinomial with ncat categories, counts into nobs. With
// `space` (ncat doubles) given, prob holds the probabilities and their
// cumulative sum is built in `space`; with space null, prob already holds the
// cumulative probabilities. A total off 1 by more than 1e-5 prints
// "sum P!=1 in MultiNomial\n"; draws beyond the last cumulative value go to
// the last category.
void multinomialDeviate(Rng& rng, int n, int ncat, const double* prob, int* nobs, double* space);

}  // namespace fluviagen

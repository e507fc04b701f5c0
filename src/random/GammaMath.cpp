#include "random/GammaMath.h"

#include "random/Rng.h"

#include <cmath>
#include <iostream>
#include <vector>

namespace fluviagen {

// Switching method for shape s < 1 (power law below a = 1 - s, exponential
// tail above). Returns 0 when the uniform falls in the region too small to
// represent.
double Rng::gammaSmallShape(double s) {
    Second& g = second_;
    constexpr double small = 1e-37;
    if (s != g.smallShape) {
        g.smallA = 1.0 - s;
        g.smallP = g.smallA / (g.smallA + s * std::exp(-g.smallA));
        g.smallUf = g.smallP * std::pow(small / g.smallA, s);
        g.smallD = g.smallA * std::log(g.smallA);
        g.smallShape = s;
    }
    const double a = g.smallA;
    const double p = g.smallP;
    double x;
    for (;;) {
        double r = uniform2();
        double w;
        if (r > p) {
            x = a - std::log((1.0 - r) / (1.0 - p));
            w = a * std::log(x) - g.smallD;
        } else if (r > g.smallUf) {
            x = a * std::pow(r / p, 1.0 / s);
            w = x;
        } else {
            return 0.0;
        }
        r = uniform2();
        if (1.0 - r <= w && r > 0.0)
            if (r * (w + 1.0) >= 1.0 || -std::log(r) <= w) continue;
        break;
    }
    return x;
}

// Best's (1978) t-distribution method for shape s > 1.
double Rng::gammaLargeShape(double s) {
    Second& g = second_;
    if (s != g.largeShape) {
        g.largeB = s - 1.0;
        g.largeH = std::sqrt(3.0 * s - 0.75);
        g.largeShape = s;
    }
    const double b = g.largeB;
    double x;
    for (;;) {
        double r = uniform2();
        const double gg = r - r * r;
        const double f = (r - 0.5) * g.largeH / std::sqrt(gg);
        x = b + f;
        if (x <= 0.0) continue;
        r = uniform2();
        const double d = 64.0 * r * r * gg * gg * gg;
        if (d * x < x - 2.0 * f * f || std::log(d) < 2.0 * (b * std::log(x / b) - f)) break;
    }
    return x;
}

double Rng::uniform2() {
    Second& g = second_;
    g.x = 171 * (g.x % 177) - 2 * (g.x / 177);
    if (g.x < 0) g.x += 30269;
    g.y = 172 * (g.y % 176) - 35 * (g.y / 176);
    if (g.y < 0) g.y += 30307;
    g.z = 170 * (g.z % 178) - 63 * (g.z / 178);
    if (g.z < 0) g.z += 30323;
    const double r = g.x / 30269.0 + g.y / 30307.0 + g.z / 30323.0;
    return r - static_cast<int>(r);
}

double Rng::gammaDeviate2(double s) {
    if (s <= 0.0) {
        std::cout << "rqv gamma..\n";
        return 0.0;
    }
    if (s < 1.0) return gammaSmallShape(s);
    if (s > 1.0) return gammaLargeShape(s);
    return -std::log(uniform2());
}

double lnGammaStirling(double x) {
    double f = 0.0;
    if (x < 7.0) {
        // Gamma(x) = Gamma(x + m) / (x (x + 1) ... (x + m - 1)): move x to the
        // first value >= 7, where the series is accurate.
        f = 1.0;
        double z = x;
        while (z < 7.0) {
            f *= z;
            z += 1.0;
        }
        x = z;
        f = -std::log(f);
    }
    const double z = 1.0 / (x * x);
    return f + (x - 0.5) * std::log(x) - x + 0.918938533204673 +
           (((-0.000595238095238 * z + 0.000793650793651) * z - 0.002777777777778) * z + 0.083333333333333) / x;
}

double incompleteGamma(double x, double alpha, double lnGammaAlpha) {
    constexpr double accurate = 1e-8;
    constexpr double overflow = 1e30;
    if (x == 0.0) return 0.0;
    if (x < 0.0 || alpha <= 0.0) return -1.0;

    const double factor = std::exp(alpha * std::log(x) - x - lnGammaAlpha);
    if (x <= 1.0 || x < alpha) {
        // Series expansion.
        double gin = 1.0;
        double term = 1.0;
        double rn = alpha;
        do {
            rn += 1.0;
            term = term * x / rn;
            gin += term;
        } while (term > accurate);
        return gin * factor / alpha;
    }

    // Continued fraction, with its numerators and denominators rescaled
    // whenever they grow past the overflow bound.
    double a = 1.0 - alpha;
    double b = a + x + 1.0;
    double term = 0.0;
    double pn[6] = {1.0, x, x + 1.0, x * b, 0.0, 0.0};
    double gin = pn[2] / pn[3];
    for (;;) {
        a += 1.0;
        b += 2.0;
        term += 1.0;
        const double an = a * term;
        for (int i = 0; i < 2; ++i) pn[i + 4] = b * pn[i + 2] - an * pn[i];
        if (pn[5] != 0.0) {
            const double rn = pn[4] / pn[5];
            const double dif = std::fabs(gin - rn);
            if (dif <= accurate && dif <= accurate * rn) break;
            gin = rn;
        }
        for (int i = 0; i < 4; ++i) pn[i] = pn[i + 2];
        if (std::fabs(pn[4]) >= overflow)
            for (int i = 0; i < 4; ++i) pn[i] /= overflow;
    }
    return 1.0 - factor * gin;
}

double normalQuantile(double p) {
    constexpr double a0 = -0.322232431088, a1 = -1.0, a2 = -0.342242088547, a3 = -0.0204231210245,
                     a4 = -0.453642210148e-4;
    constexpr double b0 = 0.099348462606, b1 = 0.588581570495, b2 = 0.531103462366, b3 = 0.10353775285,
                     b4 = 0.38560700634e-2;
    const double q = p < 0.5 ? p : 1.0 - p;
    if (q < 1e-20) return -9999.0;
    const double y = std::sqrt(std::log(1.0 / (q * q)));
    const double z =
        y + ((((a4 * y + a3) * y + a2) * y + a1) * y + a0) / ((((b4 * y + b3) * y + b2) * y + b1) * y + b0);
    return p < 0.5 ? -z : z;
}

double chiSquareQuantile(double p, double v) {
    constexpr double e = 0.5e-6;
    constexpr double aa = 0.6931471806;  // ln 2 as published with the algorithm
    if (p < 0.000002 || p > 0.999998 || v <= 0.0) return -1.0;

    const double g = lnGammaStirling(v / 2.0);
    const double xx = v / 2.0;
    const double c = xx - 1.0;
    double ch;
    if (v < -1.24 * std::log(p)) {
        // Starting approximation for small chi-square values.
        ch = std::pow(p * xx * std::exp(g + xx * aa), 1.0 / xx);
        if (ch - e < 0.0) return ch;
    } else if (v <= 0.32) {
        // Starting approximation for v up to 0.32, refined by Newton steps.
        ch = 0.4;
        const double a = std::log(1.0 - p);
        double q;
        do {
            q = ch;
            const double p1 = 1.0 + ch * (4.67 + ch);
            const double p2 = ch * (6.73 + ch * (6.66 + ch));
            const double t = -0.5 + (4.67 + 2.0 * ch) / p1 - (6.73 + ch * (13.32 + 3.0 * ch)) / p2;
            ch -= (1.0 - std::exp(a + g + 0.5 * ch + c * aa) * p2 / p1) / t;
        } while (std::fabs(q / ch - 1.0) > 0.01);
    } else {
        // Wilson and Hilferty's approximation, or the one for p tending to 1.
        const double x = normalQuantile(p);
        const double p1 = 0.222222 / v;
        ch = v * std::pow(x * std::sqrt(p1) + 1.0 - p1, 3.0);
        if (ch > 2.2 * v + 6.0) ch = -2.0 * (std::log(1.0 - p) - c * std::log(0.5 * ch) + g);
    }

    // Seven-term Taylor series correction until the relative change is small.
    double q;
    do {
        q = ch;
        const double p1 = 0.5 * ch;
        double t = incompleteGamma(p1, xx, g);
        if (t < 0.0) {
            std::cout << "\nerr IncompleteGamma\n";
            return -1.0;
        }
        const double p2 = p - t;
        t = p2 * std::exp(xx * aa + g + p1 - c * std::log(ch));
        const double b = t / ch;
        const double a = 0.5 * t - b * c;
        const double s1 = (210.0 + a * (140.0 + a * (105.0 + a * (84.0 + a * (70.0 + 60.0 * a))))) / 420.0;
        const double s2 = (420.0 + a * (735.0 + a * (966.0 + a * (1141.0 + 1278.0 * a)))) / 2520.0;
        const double s3 = (210.0 + a * (462.0 + a * (707.0 + 932.0 * a))) / 2520.0;
        const double s4 = (252.0 + a * (672.0 + 1182.0 * a) + c * (294.0 + a * (889.0 + 1740.0 * a))) / 5040.0;
        const double s5 = (84.0 + 264.0 * a + c * (175.0 + 606.0 * a)) / 2520.0;
        const double s6 = (120.0 + c * (346.0 + 127.0 * c)) / 5040.0;
        ch += t * (1.0 + 0.5 * t * s1 - b * c * (s1 - b * (s2 - b * (s3 - b * (s4 - b * (s5 - b * s6))))));
    } while (std::fabs(q / ch - 1.0) > e);
    return ch;
}

void discreteGammaRates(double* catFreq, double* catRate, double a, double b, int K, int median) {
    if (K <= 0) return;
    const double factor = K * a / b;
    if (median != 0) {
        double total = 0.0;
        for (int i = 0; i < K; ++i) {
            catRate[i] = chiSquareQuantile((2.0 * i + 1.0) / (2.0 * K), 2.0 * a) / (2.0 * b);
            total += catRate[i];
        }
        for (int i = 0; i < K; ++i) catRate[i] *= factor / total;
    } else if (K == 1) {
        // One category holds the whole distribution: its mean is a / b.
        catRate[0] = factor;
    } else {
        // Category boundaries, then the share of the mean below each boundary
        // (P(a + 1, b x) is the fraction of E[X] carried by values below x).
        const double lnGammaA1 = lnGammaStirling(a + 1.0);
        for (int i = 0; i < K - 1; ++i) catFreq[i] = chiSquareQuantile((i + 1.0) / K, 2.0 * a) / (2.0 * b);
        for (int i = 0; i < K - 1; ++i) catFreq[i] = incompleteGamma(catFreq[i] * b, a + 1.0, lnGammaA1);
        catRate[0] = catFreq[0] * factor;
        catRate[K - 1] = (1.0 - catFreq[K - 2]) * factor;
        for (int i = 1; i < K - 1; ++i) catRate[i] = (catFreq[i] - catFreq[i - 1]) * factor;
    }
    for (int i = 0; i < K; ++i) catFreq[i] = 1.0 / K;
}

void drawSiteRates(Rng& rng, double* rates, double a, int K, int n, int cdf) {
    if (n <= 0) return;
    if (a == 0.0) {
        for (int h = 0; h < n; ++h) rates[h] = 1.0;
    } else if (K > 1) {
        std::vector<double> catFreq(K), catRate(K), space(K);
        std::vector<int> counts(K);
        discreteGammaRates(catFreq.data(), catRate.data(), a, a, K, 0);
        multinomialDeviate(rng, n, K, catFreq.data(), counts.data(), space.data());
        int h = 0;
        for (int i = 0; i < K; ++i)
            for (int j = 0; j < counts[i]; ++j) rates[h++] = catRate[i];
    } else {
        for (int h = 0; h < n; ++h) rates[h] = rng.gammaDeviate2(a) / a;
    }
    if (cdf != 0) {
        for (int h = 1; h < n; ++h) rates[h] += rates[h - 1];
        const double total = rates[n - 1];
        for (int h = 0; h < n; ++h) rates[h] /= total;
    }
}

void multinomialDeviate(Rng& rng, int n, int ncat, const double* prob, int* nobs, double* space) {
    if (ncat <= 0) return;
    for (int i = 0; i < ncat; ++i) nobs[i] = 0;
    const double* pcdf = prob;
    if (space != nullptr) {
        for (int i = 0; i < ncat; ++i) space[i] = prob[i];
        for (int i = 1; i < ncat; ++i) space[i] += space[i - 1];
        pcdf = space;
    }
    if (std::fabs(pcdf[ncat - 1] - 1.0) > 0.00001) std::cout << "sum P!=1 in MultiNomial\n";
    for (int i = 0; i < n; ++i) {
        const double r = rng.uniform2();
        int j = 0;
        while (j < ncat && !(r < pcdf[j])) ++j;
        ++nobs[j < ncat ? j : ncat - 1];
    }
}

}  // namespace fluviagen

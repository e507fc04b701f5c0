#include "mutation/GammaRates.h"

#include "random/GammaMath.h"
#include "random/Rng.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <new>

namespace fluviagen {

namespace {

// Size of the sample whose order statistics stand in for the gamma quantiles.
constexpr int kQuantileSample = 1000000;

void reportBuildFailure() {
    std::cout << "\nGammaRates::build(const int n, const double& a): unable to allocate memory\n" << std::flush;
}

}  // namespace

GammaRates::GammaRates(int n, double a, int categories, Rng& rng) {
    if (build(n, a, categories, rng) == 0)
        std::cout << "\nGammaRates(const int n, const double& a): Unable to build gamma deviate vector\n" << std::flush;
}

int GammaRates::build(int n, double a, int categories, Rng& rng) {
    rates_.clear();
    rates_.shrink_to_fit();
    return fill(n, a, categories, rng);
}

int GammaRates::rebuild(int n, double a, int categories, Rng& rng) {
    if (n == size()) return fill(n, a, categories, rng);
    return build(n, a, categories, rng);
}

int GammaRates::fill(int n, double a, int categories, Rng& rng) {
    shape_ = a;
    categories_ = categories;
    if (n < 0) n = 0;
    try {
        rates_.resize(static_cast<std::size_t>(n));
        if (n == 0) return 1;
        if (a > 0.0 && categories != 0) {
            drawSiteRates(rng, rates_.data(), a, categories, n, 0);
            std::sort(rates_.begin(), rates_.end());
        } else if (a > 0.0) {
            std::vector<double> deviates(kQuantileSample);
            for (double& d : deviates) d = rng.gammaDeviate(a);
            std::sort(deviates.begin(), deviates.end());
            // n order statistics at equal spacing, each in the middle of its
            // block of the sorted sample: the quantiles (2i + 1) / 2n.
            const int spacing = kQuantileSample / n;
            for (int i = 0; i < n; ++i)
                rates_[static_cast<std::size_t>(i)] = deviates[static_cast<std::size_t>(spacing / 2 + i * spacing)];
        } else {
            std::fill(rates_.begin(), rates_.end(), 1.0);
        }
    } catch (const std::bad_alloc&) {
        rates_.clear();
        rates_.shrink_to_fit();
        reportBuildFailure();
        return 0;
    }
    double sum = 0.0;
    for (double r : rates_) sum += r;
    for (double& r : rates_) r /= sum;
    return 1;
}

int GammaRates::chooseSite(double u) const { return chooseRateSite(rates_, u); }

int chooseRateSite(const std::vector<double>& rates, double u) {
    if (rates.empty()) return -1;
    double sum = 0.0;
    int site = static_cast<int>(rates.size()) - 1;
    for (; site > 0; --site) {
        sum += rates[static_cast<std::size_t>(site)];
        if (sum > u) return site;
    }
    return 0;
}

}  // namespace fluviagen

// Rate heterogeneity among the linked sites of a DNA locus.
//
// Real sequences do not mutate at the same rate everywhere: a few sites are
// hot, many are nearly invariable. The model gives every site a relative rate
// drawn from a gamma distribution of mean 1 and shape a (small a = strong
// heterogeneity) and normalises the rates to sum 1, so that they can be read
// as the probability that a mutation falls on each site.
#pragma once

#include <vector>

namespace fluviagen {

class Rng;

// Per-site relative rates, normalised to sum 1, with the shape and the number
// of categories they were built with.
class GammaRates {
public:
    GammaRates() = default;

    // One-time set-up: builds the rates for n sites. A failed build prints
    // "\nGammaRates(const int n, const double& a): Unable to build gamma
    // deviate vector\n" and leaves the object empty.
    GammaRates(int n, double a, int categories, Rng& rng);

    // Fills the rates of n sites for shape a:
    //  - a > 0, categories != 0: discrete gamma (shape a, rate a) on the second
    //    generator, sites dealt to the categories by a multinomial draw (one
    //    category, or a negative count, gives continuous deviates there);
    //  - a > 0, categories == 0: the n equally spaced order statistics of
    //    1,000,000 gamma deviates of the main generator, a smooth
    //    approximation of the gamma quantiles;
    //  - a <= 0 (also not a number): every site the same rate.
    // The rates are sorted ascending and divided by their sum. Returns 1, or
    // 0 after "\nGammaRates::build(const int n, const double& a): unable to
    // allocate memory\n" with the object left empty. n <= 0 gives no sites.
    int build(int n, double a, int categories, Rng& rng);

    // As build; with the same number of sites the rates are refilled in
    // place with the new shape.
    int rebuild(int n, double a, int categories, Rng& rng);

    int size() const { return static_cast<int>(rates_.size()); }
    double shape() const { return shape_; }
    int categories() const { return categories_; }
    double operator[](int i) const { return rates_[static_cast<std::size_t>(i)]; }
    const std::vector<double>& rates() const { return rates_; }

    // The site of a mutation for the uniform deviate u (see chooseRateSite).
    int chooseSite(double u) const;

private:
    int fill(int n, double a, int categories, Rng& rng);

    std::vector<double> rates_;
    double shape_ = 0.0;
    int categories_ = 0;
};

// Picks a site with probability equal to its rate: adds the rates from the
// last site backwards until the running sum exceeds u and returns the site
// whose rate made it exceed. When rounding keeps the sum at or below u (a
// total just under 1), the last site visited, site 0, is chosen. An empty
// vector gives -1.
int chooseRateSite(const std::vector<double>& rates, double u);

}  // namespace fluviagen

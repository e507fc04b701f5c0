#include "output/stats/NeiDistance.h"

#include <cmath>

#include "output/stats/Diversity.h"

namespace fluviagen {

void NeiIdentity::addLocus(std::span<const int> x, std::span<const int> y) {
    const double nx = geneCount(x);
    const double ny = geneCount(y);
    if (nx == 0 || ny == 0 || x.size() != y.size()) return;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double px = x[i] / nx, py = y[i] / ny;
        jx_ += px * px;
        jy_ += py * py;
        jxy_ += px * py;
    }
    ++loci_;
}

std::optional<double> NeiIdentity::distance() const {
    // The averages over loci cancel in the ratio.
    if (loci_ == 0 || !(jxy_ > 0)) return std::nullopt;
    const double identity = jxy_ / std::sqrt(jx_ * jy_);
    // Identical samples give I = 1 up to rounding: D is 0, never below.
    return identity >= 1 ? 0.0 : -std::log(identity);
}

}  // namespace fluviagen

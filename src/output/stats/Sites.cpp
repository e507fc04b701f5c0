#include "output/stats/Sites.h"

#include <cmath>

namespace fluviagen {

std::optional<double> tajimasD(int n, int S, double pi) {
    if (n < 4 || S <= 0) return std::nullopt;
    double a1 = 0, a2 = 0;
    for (int i = 1; i < n; ++i) {
        a1 += 1.0 / i;
        a2 += 1.0 / (static_cast<double>(i) * i);
    }
    const double nn = n;
    const double b1 = (nn + 1) / (3 * (nn - 1));
    const double b2 = 2 * (nn * nn + nn + 3) / (9 * nn * (nn - 1));
    const double c1 = b1 - 1 / a1;
    const double c2 = b2 - (nn + 2) / (a1 * nn) + a2 / (a1 * a1);
    const double e1 = c1 / a1;
    const double e2 = c2 / (a1 * a1 + a2);
    const double variance = e1 * S + e2 * S * (S - 1.0);
    if (!(variance > 0)) return std::nullopt;
    return (pi - S / a1) / std::sqrt(variance);
}

std::optional<double> betweenDifference(std::span<const int> a, std::span<const int> b) {
    if (a.size() != b.size()) return std::nullopt;
    long long na = 0, nb = 0, same = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        na += a[i];
        nb += b[i];
        same += static_cast<long long>(a[i]) * b[i];
    }
    if (na == 0 || nb == 0) return std::nullopt;
    return 1.0 - static_cast<double>(same) / (static_cast<double>(na) * static_cast<double>(nb));
}

}  // namespace fluviagen

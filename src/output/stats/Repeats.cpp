#include "output/stats/Repeats.h"

#include <algorithm>
#include <vector>

namespace fluviagen {

RepeatSummary repeatSummary(std::span<const int> repeats) {
    RepeatSummary summary;
    const std::size_t n = repeats.size();
    if (n == 0) return summary;
    double sum = 0;
    for (int x : repeats) sum += x;
    const double mean = sum / static_cast<double>(n);
    summary.mean = mean;
    if (n < 2) return summary;
    double squares = 0;
    for (int x : repeats) squares += (x - mean) * (x - mean);
    summary.variance = squares / static_cast<double>(n - 1);
    std::vector<int> sorted(repeats.begin(), repeats.end());
    std::sort(sorted.begin(), sorted.end());
    const auto alleles = std::unique(sorted.begin(), sorted.end()) - sorted.begin();
    const double range = static_cast<double>(sorted[static_cast<std::size_t>(alleles) - 1]) - sorted[0];
    summary.garzaWilliamson = static_cast<double>(alleles) / (range + 1);
    return summary;
}

}  // namespace fluviagen

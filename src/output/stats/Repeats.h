// Microsatellite statistics of one sample at one locus, from the repeat
// numbers of its genes (counted from the repeat number of the locus's most
// recent common ancestor, as the mutation model keeps them).
#pragma once

#include <optional>
#include <span>

namespace fluviagen {

struct RepeatSummary {
    std::optional<double> mean;      // mean repeat number; needs 1 gene
    std::optional<double> variance;  // unbiased (n - 1) variance; needs 2 genes
    // Garza & Williamson's (2001) M = k / (r + 1): k alleles spread over a
    // range of r repeats. A bottleneck loses alleles faster than it narrows
    // the range, so M falls after one. Needs 2 genes.
    std::optional<double> garzaWilliamson;
};

RepeatSummary repeatSummary(std::span<const int> repeats);

}  // namespace fluviagen

#include "output/stats/Diversity.h"

namespace fluviagen {

int geneCount(std::span<const int> counts) {
    int n = 0;
    for (int c : counts) n += c;
    return n;
}

int distinctAlleles(std::span<const int> counts) {
    int k = 0;
    for (int c : counts) k += c > 0 ? 1 : 0;
    return k;
}

std::optional<double> geneDiversity(std::span<const int> counts) {
    const int n = geneCount(counts);
    if (n < 2) return std::nullopt;
    // Counted over pairs of gene copies: exact for every n, no rounding of
    // frequencies.
    double same = 0;
    for (int c : counts) same += static_cast<double>(c) * (c - 1);
    return 1.0 - same / (static_cast<double>(n) * (n - 1));
}

std::optional<double> rarefiedRichness(std::span<const int> counts, int g) {
    const int n = geneCount(counts);
    if (g < 2 || n < g) return std::nullopt;
    double richness = 0;
    for (int c : counts) {
        if (c == 0) continue;
        // C(n - c, g) / C(n, g) = prod_{j < g} (n - c - j) / (n - j): the chance
        // that g draws all miss the allele.
        double miss = 1;
        for (int j = 0; j < g && miss > 0; ++j) miss = n - c - j > 0 ? miss * (n - c - j) / (n - j) : 0.0;
        richness += 1 - miss;
    }
    return richness;
}

std::optional<double> observedHeterozygosity(std::span<const int> allelesOfGenes) {
    const std::size_t individuals = allelesOfGenes.size() / 2;
    if (individuals == 0) return std::nullopt;
    std::size_t heterozygous = 0;
    for (std::size_t j = 0; j < individuals; ++j)
        heterozygous += allelesOfGenes[2 * j] != allelesOfGenes[2 * j + 1] ? 1 : 0;
    return static_cast<double>(heterozygous) / static_cast<double>(individuals);
}

}  // namespace fluviagen

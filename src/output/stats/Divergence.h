// Sequence divergence between two samples (DNA, SNP, RFLP), from the same
// quantities as Hudson's FST:
//   dxy = the mean number of differences between a gene of one sample and a
//         gene of the other, summed over sites (Nei 1987);
//   da  = dxy - (pi_x + pi_y) / 2, the net divergence: what is left of dxy
//         once the polymorphism each sample carries on its own is taken off,
//         so it grows with the time since the two samples exchanged genes.
// Hudson's FST = da / dxy. Unlike Nei's distance between haplotypes,
// neither becomes infinite when the samples share no haplotype, which every
// long sequence soon makes the rule.
#pragma once

#include <optional>

namespace fluviagen {

struct Divergence {
    std::optional<double> dxy;  // needs a gene in each sample
    std::optional<double> da;   // needs pi of both: 2 genes in each sample
};

// between: the sum over sites of betweenDifference (Sites.h) of the pair;
// genesX, genesY the genes of each sample; piX, piY their pi (none below 2
// genes).
Divergence sequenceDivergence(double between, int genesX, int genesY, const std::optional<double>& piX,
                              const std::optional<double>& piY);

}  // namespace fluviagen

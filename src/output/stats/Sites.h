// Site statistics of sequence-like data (DNA, SNP, RFLP): segregating sites
// S, the mean number of pairwise differences pi, Tajima's D, and the mean
// number of differences between the genes of two samples.
#pragma once

#include <optional>
#include <span>

namespace fluviagen {

// Tajima's D of a sample of n genes with S segregating sites and mean pairwise
// difference pi: the standardised difference between pi and Watterson's
// S / a1, both estimates of theta = 2 N mu under neutrality at equilibrium.
// Negative after an expansion (excess of rare variants), positive after a
// bottleneck or under balancing selection. Undefined without a segregating
// site, and taken as undefined for fewer than 4 genes (the variance term
// vanishes at n = 2).
std::optional<double> tajimasD(int n, int S, double pi);

// The chance that a gene copy of sample a and one of sample b differ at a
// site, from the counts of the site's states in each (one labelling of the
// states for both): 1 - sum p_a,i p_b,i. Needs a gene in each.
std::optional<double> betweenDifference(std::span<const int> a, std::span<const int> b);

}  // namespace fluviagen

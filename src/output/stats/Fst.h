// Fixation indices: Hudson's estimator for sequence-like data and Weir &
// Cockerham's theta for allelic data, both summed over loci as ratios of
// sums (the multilocus estimators, not means of per-locus ratios).
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace fluviagen {

// Hudson, Slatkin & Maddison (1992): FST = 1 - Hw / Hb, with Hw the mean
// number of differences between two genes of one sample (the mean of the
// samples' pi) and Hb that between genes of two different samples. Undefined
// when no two genes differ anywhere (Hb = 0).
std::optional<double> hudsonFst(double withinMean, double between);

// Numerator and denominator of theta, summed over the alleles of every locus.
struct ThetaSums {
    double among = 0;  // variance component among samples
    double total = 0;  // among + within (+ between individuals, diploid)

    std::optional<double> theta() const;
};

// One locus of gene copies drawn from r samples (the analysis of variance of
// allele indicators with two levels; Weir 1996): for each allele,
//   MSP = sum n_i (p_i - p)^2 / (r - 1),  MSG = sum n_i p_i (1 - p_i) / (N - r),
//   n_c = (N - sum n_i^2 / N) / (r - 1),
// among = (MSP - MSG) / n_c and within = MSG. counts[i] are the allele counts
// of sample i, one labelling for all. Adds nothing with fewer than 2 samples
// or no sample of 2 genes.
void addHaploidLocus(ThetaSums& sums, const std::vector<std::span<const int>>& counts);

// One locus of diploid individuals (Weir & Cockerham 1984, a, b and c):
// counts[i] the allele counts among the 2 n_i gene copies of sample i and
// heterozygotes[i] per allele the individuals heterozygous for it. Adds
// nothing with fewer than 2 samples or a mean of 1 individual or less.
void addDiploidLocus(ThetaSums& sums, const std::vector<std::span<const int>>& counts,
                     const std::vector<std::span<const int>>& heterozygotes, std::span<const int> individuals);

}  // namespace fluviagen

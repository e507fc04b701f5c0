// Diversity of one sample at one locus, from its allele counts (one entry per
// allele of the locus, zeros allowed): the number of genes and of alleles,
// Nei's unbiased gene diversity, allelic richness rarefied to a common number
// of genes, and the observed heterozygosity of diploid individuals.
#pragma once

#include <optional>
#include <span>

namespace fluviagen {

int geneCount(std::span<const int> counts);
int distinctAlleles(std::span<const int> counts);

// He = n / (n - 1) * (1 - sum p_i^2): the chance that two distinct gene copies
// drawn from the sample differ. Needs 2 genes. At a single site it is also the
// site's share of pi.
std::optional<double> geneDiversity(std::span<const int> counts);

// The expected number of alleles among g genes drawn without replacement:
// sum_i [1 - C(n - n_i, g) / C(n, g)]. Samples of different sizes compare only
// after this rarefaction. Needs 2 <= g <= n.
std::optional<double> rarefiedRichness(std::span<const int> counts, int g);

// The share of individuals (gene copies 2j and 2j + 1 of the sample) whose two
// copies carry different alleles. Needs one individual.
std::optional<double> observedHeterozygosity(std::span<const int> allelesOfGenes);

}  // namespace fluviagen

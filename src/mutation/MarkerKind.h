// What a locus and an allele are for the statistics of a data type: each data
// type says which kind its genes are, so a new one never falls silently under
// the statistics of another.
#pragma once

namespace fluviagen {

enum class MarkerKind {
    sequence,  // DNA, SNP, RFLP: haplotypes, S, pi, Tajima's D, Hudson's FST
    allelic,   // STANDARD: alleles per site, Weir & Cockerham's theta
    repeats,   // MICROSAT: as allelic, and repeat-number statistics
};

}  // namespace fluviagen

// Every summary statistic of one genetic simulation: per used sample, for all
// of its genes together, and per pair of used samples. The marker decides
// what a locus and an allele are (see Alleles.h) and which families apply.
#pragma once

#include <optional>
#include <vector>

#include "mutation/MarkerKind.h"
#include "output/stats/Alleles.h"

namespace fluviagen {

struct ReplicateOptions {
    MarkerKind kind = MarkerKind::sequence;
    int independentLoci = 1;  // K: the haplotype loci of sequence-like data
    bool genotypic = false;   // gene copies 2j, 2j + 1 of a sample form an individual
    int rarefaction = 0;      // genes of the allelic richness (below 2: none)
};

// A statistic absent from the optional is undefined for the sample (too few
// genes, no locus, not of this marker).
struct SampleStatistics {
    int genes = 0;
    std::optional<double> alleles;  // distinct alleles or haplotypes, mean over loci
    std::optional<double> he;       // Nei's unbiased gene diversity, mean over loci
    std::optional<double> ho;       // observed heterozygosity (genotypic), mean over loci
    std::optional<double> ar;       // allelic richness rarefied, mean over loci
    std::optional<int> segsites;    // S, all loci
    std::optional<double> pi;       // mean pairwise differences, all loci
    std::optional<double> tajd;     // Tajima's D of S and pi
    std::optional<double> repMean;  // mean repeat number, mean over loci
    std::optional<double> repVar;   // variance of the repeat number, mean over loci
    std::optional<double> gw;       // Garza-Williamson M, mean over loci
};

struct ReplicateStatistics {
    std::vector<SampleStatistics> samples;  // per sample of the matrix
    SampleStatistics all;                   // the genes of every sample as one
    // [i][j], i != j: Hudson's FST (sequence) or Weir & Cockerham's theta, and
    // Nei's distance.
    std::vector<std::vector<std::optional<double>>> fst;
    std::vector<std::vector<std::optional<double>>> nei;
    // [i][j], i != j: dxy and da (sequence-like data only; Divergence.h).
    std::vector<std::vector<std::optional<double>>> dxy;
    std::vector<std::vector<std::optional<double>>> da;
    std::optional<double> globalFst;  // over the samples of 2 genes or more
    // The two terms of the global Hudson's FST (= globalDa / globalDxy): dxy
    // averaged over the pairs of samples of 2 genes or more, and that minus
    // the mean pi of those samples.
    std::optional<double> globalDxy;
    std::optional<double> globalDa;
};

ReplicateStatistics computeReplicate(const GeneMatrix& genes, const ReplicateOptions& options);

}  // namespace fluviagen

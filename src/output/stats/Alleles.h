// The genes of one genetic simulation as the summary statistics read them:
// rows of site states, sample after sample, and the alleles of a locus.
//
// Every statistic works on allele counts per sample. What an allele is depends
// on the marker: for sequence-like data (DNA, SNP, RFLP) a locus is one
// independent locus and its alleles are the distinct haplotypes of its linked
// sites, while each site also counts on its own for the site statistics (S,
// pi, Hudson's FST); for allelic data (MICROSAT, STANDARD) every site is a
// locus of its own whose alleles are its states.
#pragma once

#include <span>
#include <vector>

namespace fluviagen {

// The gene copies of the used samples, sample after sample.
struct GeneMatrix {
    std::vector<std::span<const int>> rows;  // one row of site states per gene copy
    std::vector<int> first;                  // per sample its first row, then rows.size()

    int samples() const { return first.empty() ? 0 : static_cast<int>(first.size()) - 1; }
    int genes(int sample) const {
        return first[static_cast<std::size_t>(sample) + 1] - first[static_cast<std::size_t>(sample)];
    }
    int columns() const;  // the sites of the longest row
};

// One locus: the allele of every gene copy (ids 0 .. alleles - 1) and the
// counts of each allele per sample.
struct Locus {
    std::vector<int> allele;  // per row of the matrix
    int alleles = 0;
    std::vector<int> counts;  // [sample * alleles + allele]

    std::span<const int> countsOf(int sample) const {
        return std::span<const int>(counts).subspan(
            static_cast<std::size_t>(sample) * static_cast<std::size_t>(alleles), static_cast<std::size_t>(alleles));
    }
    // The counts of all samples together.
    std::vector<int> pooledCounts() const;
};

// The state of a row at a column (0, the ancestral state, beyond its end).
inline int stateAt(std::span<const int> row, int column) {
    return static_cast<std::size_t>(column) < row.size() ? row[static_cast<std::size_t>(column)] : 0;
}

// The columns in which some gene copy differs from the first: only these can
// make a site segregate or two haplotypes differ.
std::vector<int> polymorphicColumns(const GeneMatrix& genes);

// The alleles of one column (each state an allele).
Locus columnLocus(const GeneMatrix& genes, int column);

// The haplotypes over the given columns (each distinct combination of their
// states an allele).
Locus haplotypeLocus(const GeneMatrix& genes, std::span<const int> columns);

}  // namespace fluviagen

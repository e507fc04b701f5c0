// The sampled genes of one genetic simulation as the genotype files (VCF,
// GENEPOP, FASTA) see them, decoded in one place: the genes in leaf order
// with their names, the individuals they form, and the states of one site
// across all genes at a time.
//
// A site is one column of the project file: with several independent loci,
// site x is linked site x mod L of independent locus x / L. In genotypic
// output two consecutive genes of a sample form one diploid individual (an
// odd last gene forms one whose second copy is missing); otherwise every gene
// is a haploid individual.
#pragma once

#include <climits>
#include <span>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "output/GeneticWriter.h"

namespace fluviagen {

// The state of a gene whose row holds no entry for a site.
constexpr int kMissingState = INT_MIN;

// "<output set>_<e>-<s><extension>" in the output folder, numbered like the
// project file of the same genetic simulation.
Text genotypeFileName(const GeneticPhaseView& phase, int simulation, const char* extension);

// A sample name as the genotype files write it: one word, since blanks end a
// name in FASTA and VCF and a comma ends one in GENEPOP.
std::string genotypeName(const Text& name);

class GenotypeSites {
public:
    struct Gene {
        int sample = 0;  // sample deme (0-based, in deme order)
        int copy = 0;    // gene copy within the sample (0-based)
        std::span<const int> states;
    };
    struct Individual {
        int sample = 0;
        int number = 0;   // 1-based within the sample
        int first = 0;    // gene index
        int second = -1;  // gene index of the second copy; -1 when haploid or missing
    };

    GenotypeSites(const GeneticPhaseView& phase, const GenotypeView& view);

    int geneCount() const { return static_cast<int>(genes_.size()); }
    int siteCount() const { return siteCount_; }
    int linkedLoci() const { return linkedLoci_; }
    bool diploid() const { return diploid_; }
    const Gene& gene(int g) const { return genes_[static_cast<std::size_t>(g)]; }
    const std::vector<Individual>& individuals() const { return individuals_; }
    // "<sample>_<k>": the k-th gene copy, or the k-th individual.
    std::string geneName(int g) const;
    std::string individualName(const Individual& individual) const;

    // False for a site no mutation hit in the genealogy: every gene has the
    // root's state there, so it cannot be polymorphic.
    bool hit(int site) const {
        return static_cast<std::size_t>(site) >= hits_.size() || hits_[static_cast<std::size_t>(site)] != 0;
    }

    int state(int g, int site) const {
        const auto& states = genes_[static_cast<std::size_t>(g)].states;
        return static_cast<std::size_t>(site) < states.size() ? states[static_cast<std::size_t>(site)] : kMissingState;
    }

    // Decodes one site: the state of every gene in gene order, and the
    // distinct states found (missing ones left out) in ascending order.
    void decode(int site);
    const std::vector<int>& states() const { return states_; }
    const std::vector<int>& alleles() const { return alleles_; }
    bool polymorphic() const { return alleles_.size() > 1; }

private:
    int siteCount_ = 0;
    int linkedLoci_ = 0;
    bool diploid_ = false;
    std::vector<std::string> sampleNames_;
    std::vector<Gene> genes_;
    std::vector<Individual> individuals_;
    std::span<const int> hits_;
    std::vector<int> states_;
    std::vector<int> alleles_;
};

}  // namespace fluviagen

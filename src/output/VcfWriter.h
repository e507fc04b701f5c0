// VCF 4.2 files of SNP and DNA data, one per genetic simulation beside its
// project file ("<output set>_<e>-<s>.vcf.gz"), compressed with bgzip and
// indexed (".tbi"), so that variant tools read them as they read sequencing
// data. (Loci of more than 2^29 sites, beyond what a tabix index addresses,
// get no index; the standard error says so.)
//
// Only polymorphic sites (two or more states among the sampled genes) are
// records. Each independent locus is one contig ("locus<k>", its linked
// sites at positions 1 .. L). DNA: REF is the state of the site at the root
// of the genealogy, ALT the other states found, in ACGT order. SNP sites have
// states 0 and 1 and no bases: 0 is written A and 1 T, and every record
// carries the INFO flag PLACEHOLDER that says so. Genotypes are haploid, or
// phased diploid in genotypic output.
//
// Version 4.2, not 4.3: the files use nothing 4.3 added, and many readers
// still in use (vcftools, older PLINK and GATK releases) stop at 4.2.
//
// Doubled haploids: many readers (vcftools among them) take diploid calls
// only and skip haploid ones. For them a haploid gene g can be written as
// the homozygous diploid call g/g (a missing gene ./.), and a header line
// ("##ploidy=...") says so: frequencies and FST are those of the genes,
// but every individual is homozygous, so heterozygosity, inbreeding and
// Hardy-Weinberg statistics read from such a file mean nothing. Calls of
// genotypic output are diploid already and stay as they are.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output/GeneticWriter.h"
#include "output/HeldFiles.h"

struct bcf_hdr_t;

namespace fluviagen {

class VcfWriter : public GeneticWriter {
public:
    // asked: the command line asked for these files by name (a data type
    // they cannot hold is then said on the standard error). doubleHaploids:
    // haploid genes are written as homozygous diploid calls.
    explicit VcfWriter(bool asked = false, bool doubleHaploids = false)
        : asked_(asked), doubleHaploids_(doubleHaploids) {}

    void open(const GeneticPhaseView& phase) override;
    // The header is the same for every genetic simulation of the phase.
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genealogy(const GeneticPhaseView& phase, const GenealogyView& view) override;
    void genotypes(const GeneticPhaseView& phase, const GenotypeView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    enum class Kind { None, Snp, Dna };
    bool asked_;
    bool doubleHaploids_;
    Kind kind_ = Kind::None;
    struct HeaderDestroyer {
        void operator()(bcf_hdr_t* header) const;
    };
    std::unique_ptr<bcf_hdr_t, HeaderDestroyer> header_;
    std::string headerText_;
    std::vector<std::string> contigs_;
    std::vector<int> rootStates_;  // per site: the state at the root of its genealogy
    HeldFiles files_;
};

}  // namespace fluviagen

// GENEPOP files of MICROSAT, STANDARD, SNP and RFLP data, one per genetic
// simulation beside its project file ("<output set>_<e>-<s>.gen"), for the
// population-genetics packages that read them.
//
// Each site of the project file is one GENEPOP locus, "L<k>_<j>" for linked
// site j of independent locus k. Each sample with genes is one "Pop" block,
// its individuals "<sample>_<k>": haploid genes, or in genotypic output
// diploid individuals of two consecutive genes. Alleles are 3-digit codes:
//   MICROSAT        100 + the repeat number above the smallest allele of the
//                   locus in this file (the smallest allele is 100, one repeat
//                   more 101), so codes compare within a file only;
//   SNP, RFLP       100 + the state: 100 the ancestral state 0, 101 state 1;
//   STANDARD        100 + the number of mutations since the root (100 ancestral);
// 000 is a missing gene. A locus whose codes would pass 999 cannot be written:
// the file of that genetic simulation is then not written, and the standard
// error says which locus and why.
//
// In genotypic output a sample of an odd number of genes ends with an
// individual of one gene, written with a missing partner ("102000"). That
// is correct GENEPOP, but readers that take 000 for an allele of its own
// (adegenet) then count the individual heterozygous at every locus, so the
// standard error names such samples once per entire simulation.
#pragma once

#include <string>
#include <vector>

#include "output/GeneticWriter.h"
#include "output/HeldFiles.h"

namespace fluviagen {

// The codes of one locus: one per state (0 for a missing one), or, when the
// locus cannot be coded, no codes and the reason.
struct GenepopLocus {
    std::vector<int> codes;
    std::string problem;
};
// dataType: the data type's name; states: the locus's state in every gene.
GenepopLocus genepopCodes(const std::string& dataType, const std::vector<int>& states);

class GenepopWriter : public GeneticWriter {
public:
    // asked: the command line asked for these files by name.
    explicit GenepopWriter(bool asked = false) : asked_(asked) {}

    void open(const GeneticPhaseView& phase) override;
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genotypes(const GeneticPhaseView& phase, const GenotypeView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    bool asked_;
    bool active_ = false;
    HeldFiles files_;
};

}  // namespace fluviagen

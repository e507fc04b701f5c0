// FASTA files of DNA data, one per genetic simulation beside its project
// file ("<output set>_<e>-<s>.fasta"), for alignment and phylogenetics
// tools: one sequence per sampled gene, named "<sample>_<k>" for the k-th
// gene of the sample (in genotypic output genes 2i-1 and 2i are the two
// copies of individual i), in the order of the project file. With several
// independent loci the sequence runs through them all, locus k at columns
// (k-1)L+1 .. kL, as in the project file's rows. Lines hold 60 bases; a
// site a gene lacks is N.
#pragma once

#include "output/GeneticWriter.h"
#include "output/HeldFiles.h"

namespace fluviagen {

class FastaWriter : public GeneticWriter {
public:
    // asked: the command line asked for these files by name.
    explicit FastaWriter(bool asked = false) : asked_(asked) {}

    void open(const GeneticPhaseView& phase) override;
    void genotypes(const GeneticPhaseView& phase, const GenotypeView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    bool asked_;
    bool active_ = false;
    HeldFiles files_;
};

}  // namespace fluviagen

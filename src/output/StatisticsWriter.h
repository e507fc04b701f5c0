// "_stats.tsv" and "_pairs.tsv": summary statistics of every genetic
// simulation of every accepted entire simulation, one row per sample of the
// sample file (and one for all genes) and one per pair of samples (and one
// for all samples), tab-separated with a header row and NA where a value is
// undefined. The rows of an entire simulation go to the ".part" files and
// take the tables' names only when it is accepted; the first accepted one of
// a program call replaces the tables of an earlier call, the later ones
// append to them.
#pragma once

#include <optional>
#include <vector>

#include "output/GeneticWriter.h"
#include "output/OutputFiles.h"
#include "output/stats/Replicate.h"

namespace fluviagen {

class StatisticsWriter : public GeneticWriter {
public:
    static const std::string statsHeader;  // from common/ExchangeTables.h
    static const char* const pairsHeader;

    void open(const GeneticPhaseView& phase) override;
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genealogy(const GeneticPhaseView& phase, const GenealogyView& view) override;
    void genotypes(const GeneticPhaseView& phase, const GenotypeView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    ReplicateOptions options_;
    std::vector<int> firstLeaf_;  // per used sample its first leaf, then the leaf count
    // Per pair of file samples: km along the river and in a straight line.
    std::vector<std::vector<std::optional<double>>> riverKm_;
    std::vector<std::vector<std::optional<double>>> lineKm_;
    // MRCA ages of the current genetic simulation summed over its loci: per
    // used sample, then the root; with the number of loci that gave each.
    std::vector<double> ageSums_;
    std::vector<int> ageLoci_;
    OutputFile stats_;
    OutputFile pairs_;
};

}  // namespace fluviagen

// Project files of the Tessaly population-genetics package (".arp"): the
// simulated samples of one genetic simulation with the conditions that made
// them, read by the usual population-genetics analysis tools.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "output/GeneticWriter.h"
#include "output/OutputFiles.h"

namespace fluviagen {

class DataType;
class OutputRegistry;

// What one project file shows. The writer only reads genealogy results; the
// driver gathers them here.
struct ProjectFileData {
    struct Deme {
        Text name;
        int sampleSize = 0;                       // gene copies
        std::vector<std::span<const int>> genes;  // one row of site states per gene copy
    };

    int entireIndex = 0;      // 0-based index e of the entire simulation
    int entireCount = 0;      // E
    int simulationIndex = 1;  // s, 1-based
    int simulationCount = 0;  // G
    int independentLoci = 1;  // K
    int linkedLoci = 0;       // L
    float mutationRate = 0;
    float gammaA = 0;
    const DataType* dataType = nullptr;  // describes the data and writes its states
    bool genotypic = false;
    std::vector<Deme> demes;    // every deme of the collection, also those of sample size 0
    std::span<const int> hits;  // mutation hits per site (all K x L columns with several loci)
};

// "GeneticOutput/<run>_<e+1>-<s>.arp" with both numbers zero padded to the
// widths of E and G.
Text projectFileName(const Text& outputText, int entireIndex, int entireCount, int simulationIndex,
                     int simulationCount);

// Writes the whole file to a stream (the console lines are the caller's).
void writeProjectFile(std::ostream& os, const ProjectFileData& data);

// Opens path, prints the console lines and writes the file; the result is
// always 1. A file that cannot be opened or written ends the program call (a
// fatal SimulationError).
int writeProjectFile(const Text& path, const ProjectFileData& data, OutputRegistry& registry);

// The project files of every genetic simulation, and the ".arb" list that
// names them (appended to across program calls).
class ProjectFileWriter : public GeneticWriter {
public:
    void open(const GeneticPhaseView& phase) override;
    void genotypes(const GeneticPhaseView& phase, const GenotypeView& view) override;
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override;

private:
    OutputFile list_;
    std::string listPath_;
    std::vector<std::string> lines_;  // added to the list by this entire simulation
    OutputRegistry* registry_ = nullptr;
};

}  // namespace fluviagen

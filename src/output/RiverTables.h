// The demography of an entire simulation as tables, for the map program and
// for anyone who wants to plot the colonisation of the river:
//
//   "<set>_segments.csv"      one row per segment of the drainage in use
//   "<set>_colonisation.csv"  one row per forward generation (0 .. G)
//   "<set>_mapinfo.csv"       key,value: what the map program needs besides
//
// With several entire simulations "<set>" is followed by "_<e>" (zero padded
// like the project files). The rows are complete only once the genetic phase
// has counted its coalescences, so everything is written when the entire
// simulation is accepted (finish()); a failed one leaves no file.
#pragma once

#include <functional>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "output/GeneticWriter.h"

namespace fluviagen {

class ColonisationRecord;
class PopulationVector;
class Drainage;

struct RiverTablesInput {
    const Drainage* drainage = nullptr;                       // the drainage in use
    const ColonisationRecord* record = nullptr;               // filled by the forward run
    const std::vector<std::int32_t>* coalescences = nullptr;  // per segment index, over the genealogies
    const PopulationVector* sources = nullptr;
    const PopulationVector* samples = nullptr;
    std::int32_t capacity = 0;      // settings line 7
    bool coalescenceImage = false;  // settings line 32
    bool treesWritten = false;      // "_true.trees" holds this simulation's genealogies
};

// The header rows of the two tables (from common/ExchangeTables.h, where
// every column is declared).
extern const std::string segmentsHeader;
extern const std::string colonisationHeader;

// The text of the tables (the files' whole contents).
void writeSegmentsTable(std::ostream& os, const RiverTablesInput& input);
void writeColonisationTable(std::ostream& os, const ColonisationRecord& record);

// "<set>" or "<set>_<e>": the start of the tables' file names.
std::string riverTablesBase(const std::string& outputName, int entireIndex, int entireCount);

// Writes the tables when the genetic phase finishes, from the input as it
// stands then: the populations are read during the phase, after the writers
// are made.
class RiverTablesWriter : public GeneticWriter {
public:
    explicit RiverTablesWriter(std::function<RiverTablesInput()> input) : input_(std::move(input)) {}
    void open(const GeneticPhaseView&) override {}
    void finish(const GeneticPhaseView& phase) override;
    void abandon() override {}

private:
    std::function<RiverTablesInput()> input_;
};

}  // namespace fluviagen

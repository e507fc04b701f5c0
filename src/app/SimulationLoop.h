// The simulation loop of a program call: it owns what lives for the whole call (the
// settings, the random generator, the drainage, the demographic database, the
// populations, the demes) and wires the stages of one entire simulation:
//
//   buildDrainage      drainage from its readers (resampled when asked)
//   buildHistory       the demographic database for that drainage
//   demographicPhase   the forward demography, stored generation by generation
//   geneticPhase       genealogies, mutations and the output files
//
// Entire simulations are repeated until the requested number has succeeded.
// Nothing below app/ knows this loop; every stage takes what it reads and
// draws from as arguments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "app/RunRecord.h"
#include "base/Utilities.h"
#include "demography/State.h"
#include "output/OutputFiles.h"
#include "settings/Settings.h"

namespace fluviagen {

class Drainage;
class StateDB;
class PopulationVector;
class DemeCollection;
class Rng;
class DataType;
class ProgressLine;
struct CommandLine;
class ColonisationRecord;

class SimulationLoop {
public:
    // A loop for settings already read; it draws from `rng`, which must
    // outlive it. Runs nothing yet.
    SimulationLoop(const Settings& settings, Rng& rng);
    ~SimulationLoop();
    SimulationLoop(const SimulationLoop&) = delete;
    SimulationLoop& operator=(const SimulationLoop&) = delete;

    // Repeats entire simulations until settings.numDemographicSimulations of
    // them have succeeded, then prints the closing lines. A fatal failure is
    // thrown on; 1000 failures in a row end the loop with a fatal error.
    void runSimulations();

    // The stages of one entire simulation.
    void buildDrainage();
    void buildHistory();
    void demographicPhase();
    void geneticPhase();

    // Source populations and samples, read from their files on first use.
    PopulationVector& sourcePopulations();
    // The samples are checked as they are read (app/InputChecks.h).
    PopulationVector& samplePopulations();

    Settings settings;
    std::unique_ptr<Drainage> drainage;      // the drainage in use
    std::unique_ptr<Drainage> fullDrainage;  // the drainage as read, once resampled
    std::unique_ptr<StateDB> database;       // the demographic history
    SegmentStates states;                    // the current state of every segment
    std::unique_ptr<PopulationVector> samples;
    std::unique_ptr<PopulationVector> sources;
    bool databaseReady = false;  // database just built or cleared: no reset needed
    std::unique_ptr<DemeCollection> demes;
    std::unique_ptr<DataType> dataType;  // made on first use, kept for the whole call
    OutputRegistry outputs;              // every output file of the call, its ".part" files and the warnings given
    std::int32_t entireIndex = 0;        // entire simulations started so far
    RunRecord record;                    // what the run record of the call tells
    ProgressLine* progress = nullptr;    // the progress line, when the call has one
    // The colonisation of the current entire simulation, when its tables are
    // written (app/MapProgram.h).
    std::unique_ptr<ColonisationRecord> colonisation;

private:
    void notePlacement(const PopulationVector& set);

    Rng& rng_;
    bool placementNoted = false;     // the placement rule has been said
    bool resampledIdsNoted = false;  // the resampled numbering has been said
};

// The name every output file of a call begins with, below "GeneticOutput/":
// "<settings>_<samples>_<TYPE>", from the file names without their extension.
std::string outputSetName(const Settings& settings, const DataType& dataType);

// Reads the settings file (with the command line's values in place of those
// on their lines), seeds the generator and runs every entire simulation of a
// program call, then the map program when the maps are wanted
// (app/MapProgram.h). The call holds the lock of its output set (another
// call writing the same files stops at once) and ends with 128 + the signal
// on SIGINT, SIGTERM or SIGHUP without leaving ".part" files or records
// (app/Interruption.h). A call that has opened an output writes the run
// record "<output folder><name>_run.json" at its end, also when it fails,
// and on success the completion record "<output folder><name>.complete"; a
// call refused before leaves both of an earlier call as they were (see
// app/ProgramCall.cpp). Once the settings are read it ends, also when it
// fails, with one line on standard error that names the output folder and
// the files written. Throws a fatal SimulationError when the call cannot run or
// its outputs cannot be written; a file name holding a control character
// is refused before it is used.
void runProgram(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations,
                const CommandLine& options, const std::vector<std::string>& words);
void runProgram(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations);

}  // namespace fluviagen

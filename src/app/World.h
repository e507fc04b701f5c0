// The one object of a program call. Its construction runs the whole program:
// it reads the settings, then repeats entire simulations (one forward
// demography followed by its genetic simulations) until the requested number
// of them has succeeded.
#pragma once

#include <cstdint>
#include <memory>

#include "settings/Settings.h"
#include "base/Utilities.h"

class TSegmentVector;
class StateDB;
class PopulationVector;
class TDemeCollection;

class World {
public:
    // Runs every entire simulation; returns when the loop is over.
    World(const my_string& programPath, const my_string& settingsPath, std::int32_t numberOfSimulations);
    // A world that runs nothing: for tests, benchmarks and tools that drive
    // the phases themselves.
    explicit World(const TSettings& settings);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The phases of one entire simulation.
    void BuildWorld();
    void BuildDB();
    void SimulateDemography();
    void SimulateGeneticData();

    // Source populations and samples, read from their files on first use.
    PopulationVector& sourcePopulations();
    PopulationVector& samplePopulations();

    std::unique_ptr<TSegmentVector> drainage;      // the drainage in use
    std::unique_ptr<TSegmentVector> fullDrainage;  // the drainage as read, once resampled
    std::unique_ptr<StateDB> database;             // the demographic history
    std::unique_ptr<PopulationVector> samples;
    std::unique_ptr<PopulationVector> sources;
    TSettings settings;
    bool databaseReady = false;  // database just built or cleared: no reset needed
    std::unique_ptr<TDemeCollection> demes;
    my_string outputText;        // "GeneticOutput/" + the run's output name
    std::int32_t runIndex = 0;   // entire simulations started so far

private:
    void runSimulations(const my_string& programPath, const my_string& settingsPath, std::int32_t numberOfSimulations);
};

// The seed of the main generator for a program call: the clock seed, or the
// negative of FLUVIAGEN_SEED when that variable is set (reproducible runs and
// distinct seeds for replicate jobs). Throws a fatal TException when the
// variable holds anything but a whole number from 1 to 161803398 (or its
// negative).
long programSeed();

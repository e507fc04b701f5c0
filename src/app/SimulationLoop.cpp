#include "app/SimulationLoop.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <string>

#include "app/InputChecks.h"
#include "app/Progress.h"
#include "app/MapProgram.h"
#include "base/Exception.h"
#include "coalescent/Deme.h"
#include "demography/Colonisation.h"
#include "demography/Demography.h"
#include "demography/MigrationModel.h"
#include "demography/StateDB.h"
#include "drainage/Dynamic.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "drainage/readers/DrainageFiles.h"
#include "drainage/readers/PopulationFile.h"
#include "mutation/DataType.h"
#include "random/Rng.h"
#include "common/SettingLines.h"

namespace fluviagen {

namespace {

// A failure that recurs in every entire simulation (an input error raised only at the
// error level, say) must not make the loop retry for ever.
constexpr int maxFailuresInARow = 1000;

// The entire simulation failed before its first random draw: what it ran
// into is not chance, so every repetition would end the same way.
std::string repeatedFailureText(const SimulationError& e) {
    return "The entire simulation failed before any random number was drawn (" + e.message().str() +
           "): every repetition would fail in the same way!";
}

// The last `count` failures in a row, and the reason given most often.
std::string givingUpText(const std::vector<EntireSimulation>& entire, int count) {
    std::map<std::string, int> reasons;
    const std::size_t first = entire.size() > static_cast<std::size_t>(count) ? entire.size() - count : 0;
    for (std::size_t i = first; i < entire.size(); ++i) ++reasons[entire[i].reason];
    std::string text = "Giving up: " + std::to_string(count) + " entire simulations in a row did not succeed!";
    const auto most = std::max_element(reasons.begin(), reasons.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (most != reasons.end())
        text += " The most frequent reason (" + std::to_string(most->second) + " times): " + most->first;
    return text;
}

}  // namespace

SimulationLoop::SimulationLoop(const Settings& settings_, Rng& rng)
    : settings(settings_), demes(std::make_unique<DemeCollection>()), rng_(rng) {}

SimulationLoop::~SimulationLoop() {
    // The populations go first: each clears its segment's reference to it,
    // so the segments must still exist; so do the demes, which clear the
    // segments' references to them.
    sources.reset();
    samples.reset();
    if (demes) demes->clear();
    database.reset();
    drainage.reset();
    fullDrainage.reset();
    demes.reset();
}

std::string outputSetName(const Settings& settings, const DataType& dataType) {
    const auto stem = [](const Text& path) { return fileNameOf(path).before('.').str(); };
    return stem(settings.settingsPath) + "_" + stem(settings.sampleFile) + "_" + dataType.name();
}

void SimulationLoop::runSimulations() {
    std::int32_t successCount = 0;
    int failuresInARow = 0;
    bool reachChecked = false;
    entireIndex = 0;
    while (successCount < settings.numDemographicSimulations) {
        const Stopwatch runStart;
        const Rng atStart = rng_;
        outputs.beginEntire(entireIndex + 1);
        EntireSimulationRecord& entire = record.entireSimulations.emplace_back();
        entire.e = entireIndex + 1;
        std::cout << "\n\n***************************************************************"
                  << "\n***** " << entireIndex + 1 << ". run ***********************************************";
        try {
            if (entireIndex == 0) {
                const WallClock setup;
                buildDrainage();
                buildHistory();
                record.setupSeconds = setup.seconds();
            }
            const WallClock demography;
            demographicPhase();
            entire.demographySeconds = demography.seconds();
            std::cout << std::flush;
            const WallClock genetic;
            geneticPhase();
            entire.geneticSeconds = genetic.seconds();
            ++successCount;
            failuresInARow = 0;
            outputs.acceptEntire();
            std::cout << "\n***** " << entireIndex + 1 << ".(" << successCount << ") run finished "
                      << "SUCCESSFULLY (Duration: " << runStart << ") *****";
        } catch (const SimulationError& e) {
            outputs.failEntire(e.message().str());
            std::cout << "\nERROR OF CURRENT SIMULATION: " << e.message() << "\n***** " << entireIndex + 1 << ".("
                      << successCount << ") run finished "
                      << "UN-SUCCESSFULLY (Duration: " << runStart << ") *****";
            if (e.isFatal()) throw;
            if (!reachChecked && samples && sources && drainage) {
                reachChecked = true;
                checkSamplesReachable(*drainage, fullDrainage.get(), *sources, *samples, settings);
            }
            // A failure reached without a single random draw comes back
            // identically in every repetition.
            // Before the rule of a failure without a draw: it names the cause.
            if (failuresInARow == 0 && samples) checkSamplesHoldGenes(*samples, settings);
            if (!rng_.drawnSince(atStart)) throw SimulationError(shortened(repeatedFailureText(e)), levelFatal);
            ++failuresInARow;
        } catch (...) {
            outputs.failEntire("not handled");
            std::cout << "\nERROR OF CURRENT SIMULATION: not handled"
                      << "\n***** " << entireIndex + 1 << ".(" << successCount << ") run finished "
                      << "UN-SUCCESSFULLY (Duration: " << runStart << ") *****";
            ++failuresInARow;
        }
        std::cout << "\n***************************************************************\n" << std::flush;
        ++entireIndex;
        if (failuresInARow >= maxFailuresInARow)
            throw SimulationError(shortened(givingUpText(outputs.entireSimulations(), maxFailuresInARow)), levelFatal);
    }
    // The names of the failed attempts' project files join the list now that
    // the call has succeeded.
    outputs.completeLists();
    std::cout << "\n\n************************************************************\n"
              << successCount << " of " << entireIndex << " Simulations succeeded!"
              << "\n************************************************************"
              << "\n************************************************************\n\n";
}

void SimulationLoop::buildDrainage() {
    std::cout << "\nBuild World ..." << std::endl;
    const Stopwatch timer;
    try {
        if (!drainage) {
            // A drainage is kept only once it has been read completely.
            const EnvironmentFiles environment{settings.inputPath(settings.dynamicEnvironmentFile),
                                               settings.dataFolder};
            drainage = readDrainage(settings.inputPath(settings.nodeFile), settings.inputPath(settings.segmentFile),
                                    settings.dynamicEnvironment ? &environment : nullptr, &record.inputs);
            if (drainage->size() == 0) {
                drainage.reset();
                throw SimulationError(Text("The drainage contains no segments!"), levelFatal);
            }
        }
        if (settings.segmentLength != 0) {
            // Whatever refers to the segments as read is rebuilt or reread on
            // next use, against the new segments.
            if (demes) demes->clear();
            database.reset();
            samples.reset();
            sources.reset();
            databaseReady = false;
            auto resampled = resampleToFixedLength(*drainage, settings.segmentLength);
            fullDrainage = std::move(drainage);
            drainage = std::move(resampled);
        }
        std::cout << "Build world done (Duration: " << timer << "; Segments: " << drainage->size();
        if (settings.segmentLength != 0) std::cout << "; " << settings.segmentLength << " meter";
        std::cout << ")" << std::endl;
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("BuildWorld() did not work!"), levelError);
    }
}

namespace {

std::unique_ptr<PopulationVector> readPopulationSet(Drainage* drainage, const Text& path, bool isSampleFile,
                                                    PlacementRule rule, InputLog& inputs) {
    if (drainage == nullptr)
        throw SimulationError(Text("The populations of '") + path + "' cannot be placed: no drainage is built!",
                              levelFatal);
    auto set = std::make_unique<PopulationVector>(drainage);
    // A set that fails is destroyed here, which clears the segments'
    // references to its populations.
    if (readPopulations(*set, path, isSampleFile, rule, &inputs) == 0) {
        const Text problem = set->problem.empty() ? Text(isSampleFile ? "Sample file '" : "Population file '") + path +
                                                        "' holds no population!"
                                                  : set->problem;
        throw SimulationError(problem, levelFatal);
    }
    return set;
}

}  // namespace

// What a user must know about where populations stand, once per call on
// standard error: the rule that placed points, and that segment ids refer to
// the resampled drainage, whose numbering is not the segment file's.
void SimulationLoop::notePlacement(const PopulationVector& set) {
    if (set.coordinateMode && !placementNoted) {
        placementNoted = true;
        std::cerr << (settings.placement == PlacementRule::ratio
                          ? "Placement of populations given by coordinates: ratio (the segment of the smallest "
                            "half-segment ratio; the default, nearest, takes the segment nearest to the point)"
                          : "Placement of populations given by coordinates: nearest (the segment at the smallest "
                            "distance from the point; --placement ratio for the half-segment ratio rule)")
                  << std::endl;
    }
    if (!set.coordinateMode && settings.segmentLength != 0 && !resampledIdsNoted) {
        resampledIdsNoted = true;
        std::cerr << "Note: populations given by segment id stand on the drainage resampled to "
                  << settings.segmentLength << " m segments (settings line " << lineOf(Setting::segmentLength)
                  << "): their ids are those of the "
                  << "resampled drainage, not those of the segment file '" << settings.segmentFile << "'." << std::endl;
    }
}

PopulationVector& SimulationLoop::sourcePopulations() {
    if (!sources) {
        sources = readPopulationSet(drainage.get(), settings.inputPath(settings.popSourceFile), false,
                                    settings.placement, record.inputs);
        notePlacement(*sources);
    }
    return *sources;
}

PopulationVector& SimulationLoop::samplePopulations() {
    if (!samples) {
        const Text path = settings.inputPath(settings.sampleFile);
        auto set = readPopulationSet(drainage.get(), path, true, settings.placement, record.inputs);
        notePlacement(*set);
        checkGeneticMemory(*set, settings, path);
        checkBackwardGenerations(*set, settings, path);
        samples = std::move(set);
    }
    return *samples;
}

void SimulationLoop::buildHistory() {
    try {
        if (!drainage)
            throw SimulationError(Text("BuildDB(): there is no drainage to build the database for!"), levelFatal);
        const std::int32_t G = settings.numGenerations;
        std::cout << "\nCreate DB for " << drainage->size() << " segments and " << G << " generations ... "
                  << std::flush;
        const Stopwatch timer;
        if (database && (database->count != drainage->size() || database->generations != G)) database.reset();
        if (database)
            database->clear();
        else
            database = buildDatabase(*drainage, G);
        databaseReady = true;
        std::cout << "done. (Duration: " << timer << ")" << std::endl;
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("BuildDB() did not work!"), levelError);
    }
}

void SimulationLoop::demographicPhase() {
    // Whatever a failed simulation leaves in the states and the database must
    // be cleared before the next one starts.
    const bool fresh = databaseReady;
    databaseReady = false;
    try {
        if (!drainage) throw SimulationError(Text("setTime(): no segments are created!"), levelFatal);
        checkDemographyReady(*drainage, database.get(), settings.numGenerations);
        if (riverTablesWanted(settings) && !colonisation) colonisation = std::make_unique<ColonisationRecord>();
        // The progress line watches the generations too, and hands each on
        // to the colonisation record.
        GenerationObserver* observer = colonisation.get();
        ProgressObserver watched(progress, settings.numGenerations, observer);
        if (progress != nullptr) observer = &watched;
        simulateDemography(
            {*drainage, fullDrainage.get()}, states,
            [this]() -> const PopulationVector& { return sourcePopulations(); }, settings, *database, fresh, rng_,
            observer);
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("SimulateDemography() did not work!"), levelError);
    }
}

}  // namespace fluviagen

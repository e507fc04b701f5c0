#include "app/World.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "random/Random.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/SegmentVector.h"
#include "coalescent/Deme.h"
#include "base/Exception.h"

namespace {

// A failure that recurs in every run (an input error raised only at the
// error level, say) must not make the loop retry for ever.
constexpr int maxFailuresInARow = 1000;

}  // namespace

World::World(const my_string& programPath, const my_string& settingsPath, std::int32_t numberOfSimulations)
    : demes(std::make_unique<TDemeCollection>()) {
    initialize_ran3(programSeed());
    runSimulations(programPath, settingsPath, numberOfSimulations);
}

World::World(const TSettings& settings_) : settings(settings_), demes(std::make_unique<TDemeCollection>()) {}

World::~World() {
    // The populations go first: each clears its segment's reference to it,
    // so the segments must still exist.
    sources.reset();
    samples.reset();
    database.reset();
    drainage.reset();
    fullDrainage.reset();
    demes.reset();
}

void World::runSimulations(const my_string& programPath, const my_string& settingsPath,
                           std::int32_t numberOfSimulations) {
    settings.readSettings(programPath, settingsPath, numberOfSimulations);
    std::int32_t successCount = 0;
    int failuresInARow = 0;
    runIndex = 0;
    while (successCount < settings.numDemographicSimulations) {
        const myTimer runStart;
        std::cout << "\n\n***************************************************************"
                  << "\n***** " << runIndex + 1 << ". run ***********************************************";
        try {
            if (runIndex == 0) {
                BuildWorld();
                BuildDB();
            }
            SimulateDemography();
            SimulateGeneticData();
            ++successCount;
            failuresInARow = 0;
            std::cout << "\n***** " << runIndex + 1 << ".(" << successCount << ") run finished "
                      << "SUCCESSFULLY (Duration: " << runStart << ") *****";
        } catch (const TException& e) {
            std::cout << "\nERROR OF CURRENT SIMULATION: " << e.message() << "\n***** " << runIndex + 1 << ".("
                      << successCount << ") run finished "
                      << "UN-SUCCESSFULLY (Duration: " << runStart << ") *****";
            if (e.isFatal()) throw;
            ++failuresInARow;
        } catch (...) {
            std::cout << "\nERROR OF CURRENT SIMULATION: not handled"
                      << "\n***** " << runIndex + 1 << ".(" << successCount << ") run finished "
                      << "UN-SUCCESSFULLY (Duration: " << runStart << ") *****";
            ++failuresInARow;
        }
        std::cout << "\n***************************************************************\n";
        ++runIndex;
        if (failuresInARow >= maxFailuresInARow)
            throw TException(my_string("Giving up: 1000 entire simulations in a row did not succeed!"), levelFatal);
    }
    std::cout << "\n\n************************************************************\n"
              << successCount << " of " << runIndex << " Simulations succeeded!"
              << "\n************************************************************"
              << "\n************************************************************\n\n";
}

long programSeed() {
    const char* text = std::getenv("FLUVIAGEN_SEED");
    if (text == nullptr) return clockSeed();
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    const bool whole = end != text && *end == '\0' && errno == 0;
    const long long magnitude = value < 0 ? -value : value;
    if (!whole || magnitude < 1 || magnitude > 161803398)
        throw TException(my_string("The environment variable FLUVIAGEN_SEED must hold a whole number from 1 to "
                                   "161803398 (or its negative), not '") +
                             my_string(std::string(text).substr(0, 100)) + "'!",
                         levelFatal);
    return -static_cast<long>(magnitude);
}

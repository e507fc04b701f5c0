#include "demography/Demography.h"

#include <iostream>

#include "drainage/Dynamic.h"
#include "demography/Colonisation.h"
#include "demography/MigrationModel.h"
#include "demography/StartingConditions.h"
#include "demography/StateDB.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "settings/Settings.h"

namespace fluviagen {

void checkDemographyReady(const Drainage& drainage, const StateDB* db, std::int32_t numGenerations) {
    if (drainage.size() == 0) throw SimulationError(Text("setTime(): no segments are created!"), levelFatal);
    bool fits = db != nullptr && db->count == drainage.size() && db->generations == numGenerations &&
                db->histories.size() == drainage.segments.size();
    if (fits)
        for (const auto& [id, segment] : drainage.segments)
            if (segment->index < 0 || segment->index >= db->count ||
                db->history(segment->index).immigrants.size() != segment->neighbours.size()) {
                fits = false;
                break;
            }
    if (!fits)
        throw SimulationError(Text("SimulateDemography(): there is no demographic database for this drainage and ") +
                                  numGenerations + " generations (BuildDB must run first)!",
                              levelFatal);
}

namespace {

template <typename Step>
void asIterateCells(Step&& step) {
    try {
        step();
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("IterateCells() did not work!"), levelError);
    }
}

}  // namespace

void iterateCells(Drainage& drainage, SegmentStates& states, StateDB* database, const Settings& settings,
                  std::int32_t t, Rng& rng) {
    asIterateCells([&] {
        MigrationPlan plan(drainage, states, database, settings, rng, false);
        plan.iterate(settings.demographicModel, t);
        plan.finish();
    });
}

void simulateDemography(const DemographyDrainages& drainages, SegmentStates& states, const SourcePopulations& sources,
                        const Settings& settings, StateDB& database, bool freshDatabase, Rng& rng,
                        GenerationObserver* observer) {
    Drainage& drainage = drainages.inUse;
    checkDemographyReady(drainage, &database, settings.numGenerations);
    setStartingConditions(drainage, states, database, sources, settings, freshDatabase);
    if (observer != nullptr) observer->start(states);
    std::cout << "\n\nDemography simulation over " << settings.numGenerations << " generations ..." << std::flush;
    const Stopwatch timer;
    const DynamicMaps* environment = nullptr;
    if (settings.dynamicEnvironment) {
        const Drainage& asRead = drainages.asRead != nullptr ? *drainages.asRead : drainage;
        environment = asRead.dynamicEnvironment.get();
    }
    std::size_t mapCursor = 0;
    MigrationPlan plan(drainage, states, &database, settings, rng, true);
    for (std::int32_t t = 1; t <= settings.numGenerations; ++t) {
        bool mapped = false;
        if (environment != nullptr)
            while (mapCursor < environment->maps.size() && environment->maps[mapCursor].generation <= t) {
                applyMap(drainages.asRead != nullptr ? *drainages.asRead : drainage,
                         drainages.asRead != nullptr ? &drainage : nullptr, environment->maps[mapCursor++]);
                mapped = true;
            }
        if (mapped) plan.refreshAccessible();
        asIterateCells([&] { plan.iterate(settings.demographicModel, t); });
        if (observer != nullptr) observer->generation(t, plan);
    }
    plan.finish();
    if (observer != nullptr) observer->end(states);
    std::cout << "\nDemography simulation done (Duration: " << timer << ")" << std::endl;
}

}  // namespace fluviagen

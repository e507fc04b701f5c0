#include "demography/Demography.h"

#include <iostream>

#include "demography/Dynamic.h"
#include "demography/Generation.h"
#include "demography/MigrationModel.h"
#include "demography/StartingConditions.h"
#include "demography/StateDB.h"
#include "drainage/SegmentVector.h"
#include "base/Exception.h"
#include "app/World.h"

std::int32_t currentGeneration = 0;

void setTime(const TSegmentVector& drainage, std::int32_t t) {
    if (drainage.size() == 0) throw TException(my_string("setTime(): no segments are created!"), levelFatal);
    currentGeneration = t;
}

void checkDemographyReady(const World& world) {
    if (!world.drainage || world.drainage->size() == 0)
        throw TException(my_string("setTime(): no segments are created!"), levelFatal);
    const StateDB* db = world.database.get();
    bool fits = db != nullptr && db->count == world.drainage->size() &&
                db->generations == world.settings.numGenerations &&
                db->histories.size() == world.drainage->segments.size();
    if (fits)
        for (const auto& [id, segment] : world.drainage->segments)
            if (segment->history == nullptr || segment->history->segment != segment.get() ||
                !segment->history->complete ||
                segment->history->immigrants.size() != segment->neighbours.size()) {
                fits = false;
                break;
            }
    if (!fits)
        throw TException(my_string("SimulateDemography(): there is no demographic database for this drainage and ") +
                             world.settings.numGenerations + " generations (BuildDB must run first)!",
                         levelFatal);
}

namespace {

template <typename Step>
void asIterateCells(Step&& step) {
    try {
        step();
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("IterateCells() did not work!"), levelError);
    }
}

}  // namespace

void IterateCells(World& world) {
    asIterateCells([&] {
        MigrationPlan plan(*world.drainage, world.settings, false);
        plan.iterate(world.settings.demographicModel);
        plan.finish();
    });
}

void World::SimulateDemography() {
    try {
        checkDemographyReady(*this);
        setStartingConditions(*this);
        std::cout << "\n\nDemography simulation over " << settings.numGenerations << " generations ..." << std::flush;
        const myTimer timer;
        const TDynamicVector* environment = nullptr;
        if (settings.dynamicEnvironment) {
            const TSegmentVector& asRead = fullDrainage ? *fullDrainage : *drainage;
            environment = asRead.dynamicEnvironment.get();
        }
        std::size_t mapCursor = 0;
        setTime(*drainage, 0);
        MigrationPlan plan(*drainage, settings, true);
        while (currentGeneration < settings.numGenerations) {
            advanceGeneration();
            bool mapped = false;
            if (environment != nullptr)
                while (mapCursor < environment->maps.size() &&
                       environment->maps[mapCursor].generation <= currentGeneration) {
                    applyMap(*this, environment->maps[mapCursor++]);
                    mapped = true;
                }
            if (mapped) plan.refreshAccessible();
            asIterateCells([&] { plan.iterate(settings.demographicModel); });
        }
        plan.finish();
        std::cout << "\nDemography simulation done (Duration: " << timer << ")" << std::endl;
        databaseReady = false;
    } catch (const TException&) {
        // Whatever the failed simulation left in the states and the database
        // must be cleared before the next one starts.
        databaseReady = false;
        throw;
    } catch (...) {
        databaseReady = false;
        throw TException(my_string("SimulateDemography() did not work!"), levelError);
    }
}

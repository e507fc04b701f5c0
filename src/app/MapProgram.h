// The demography tables and the separate map program. The tables (output
// group csv) are cheap and written by default; the maps and the GeoPackage
// (groups maps, gpkg) come from the program fluviagen-map, which loads cairo
// and GDAL: by default only for a call with one entire simulation, where a
// picture is wanted, not for thousands of replicates.
//
// The maps belong to the call that draws them: the maps an earlier call drew
// of the same output set are removed first, the map program runs as a child
// of the call (interrupted with it), and what it drew is listed only when it
// succeeded; a map program that fails leaves no map of the set behind.
#pragma once

#include <string>
#include <vector>

#include "app/RunRecord.h"

namespace fluviagen {

class Settings;
class OutputRegistry;
class InterruptWatcher;

// Whether the tables are written: asked for, or needed by the maps.
bool riverTablesWanted(const Settings& settings);
bool mapProgramWanted(const Settings& settings);

// The map program to run: the environment variable FLUVIAGEN_MAP when it is
// set and not empty (a path, or a name looked up in PATH), else
// fluviagen-map beside this program's executable.
std::string mapProgramPath();

// Every file the map program may write for the output set `set` in folder
// (the folder ending in '/'): the figures of the set and of each numbered
// entire simulation, the ages figure and the GeoPackage, with the names of
// their unfinished forms. True for a name of the folder that is one.
bool isMapFileOf(const std::string& set, const std::string& fileName);

// Draws the maps of the output set `set` in folder from the tables the call
// completed (listed in outputs): removes the earlier maps of the set, runs
// the map program through the watcher with its output on standard error,
// and on success adds the files it drew to the call's outputs. On failure
// it says so on standard error and removes whatever the program left.
MapsRecord drawMaps(const Settings& settings, const std::string& folder, const std::string& set,
                    OutputRegistry& outputs, InterruptWatcher& watcher);

}  // namespace fluviagen

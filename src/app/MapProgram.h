// The demography tables and the separate map program. The tables (output
// group csv) are cheap and written by default; the maps and the GeoPackage
// (groups maps, gpkg) come from the program fluviagen-map, which loads cairo
// and GDAL: by default only for a call with one entire simulation, where a
// picture is wanted, not for thousands of replicates.
#pragma once

#include <string>

class TSettings;

// Whether the tables are written: asked for, or needed by the maps.
bool riverTablesWanted(const TSettings& settings);
bool mapProgramWanted(const TSettings& settings);

// Runs fluviagen-map (found beside this program's executable) on the output
// set, with its output on standard error, or says on standard error how to
// run it when it is not there. Returns its exit status (127 when missing).
int runMapProgram(const TSettings& settings, const std::string& outputSet);

// The map program's run: finds the demography tables an argument names and
// draws, per entire simulation, the colonisation map, the coalescence map
// (when settings line 32 asked for it), the colonisation curve, and per output
// set the distribution of genealogy ages and the GeoPackage.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct MapOptions {
    bool images = true;
    bool geoPackage = true;
};

// Draws what `argument` names; every file written is named on `out`.
// Returns the file paths written. Throws MapError on bad input.
std::vector<std::string> drawOutputSet(const std::string& argument, const MapOptions& options, std::ostream& out);

// The command line: [--no-images] [--no-gpkg] <output folder or set>.
// Returns the exit status (0 done, 1 failed, 2 wrong usage).
int mapMain(int argc, char** argv);

// The map program's run: finds the demography tables an argument names and
// draws, per entire simulation, the colonisation map, the coalescence map
// (when settings line 32 asked for it), the colonisation curve, and per output
// set the distribution of genealogy ages and the GeoPackage.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace common {
class SignalCleanup;
}

namespace map {

struct MapOptions {
    bool images = true;
    bool geoPackage = true;
};

// Draws what `argument` names. Every input table is read and checked first
// (a missing optional one is named on `notes`); every output is then drawn
// into a private staging folder inside the tables' folder and put in place
// only when all are complete, so a failure or a signal (through `cleanup`)
// leaves the folder as it was. Every file written is named on `out`.
// Returns the file paths written. Throws a common::InputError (MapError
// among them) on bad input, MapError or common::OutputError for a file that
// cannot be written.
std::vector<std::string> drawOutputSet(const std::string& argument, const MapOptions& options, std::ostream& out,
                                       std::ostream& notes, common::SignalCleanup* cleanup = nullptr);

// The command line: [--no-images] [--no-gpkg] [--help] [--version]
// <output folder | output set | *_segments.csv>. Returns the exit status:
// common::exitSuccess when everything asked for was written,
// common::exitFailure on bad usage (named on standard error), unusable
// input or an output not written.
int mapMain(int argc, char** argv);

}  // namespace map

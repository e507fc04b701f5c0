// fluviagen-map: maps, figures and the GeoPackage of fluviagen's demography
// tables (see map/MapRun.h).
#include "map/MapRun.h"

int main(int argc, char** argv) { return map::mapMain(argc, argv); }

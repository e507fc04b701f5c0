// The colours of the map program, shared by the figures and by the QGIS
// styles of the GeoPackage, so that a layer opened in QGIS looks like the
// PNG map of the same run.
#pragma once

namespace map {

struct Colour {
    double r, g, b;
};

// A perceptually even ramp from dark blue over green to yellow, sampled at
// eight points; x from 0 to 1. The colonisation map shows early segments
// yellow (x = 1) and late ones dark blue (x = 0).
Colour ramp(double x);
// Gene diversity: white over orange to dark red, x from 0 to 1.
Colour diversityRamp(double x);
// The samples' gene diversity over the range shown: the ramp without its
// white end, which marks a sample never reached.
Colour sampleDiversityRamp(double x);

// Segments never occupied (or without coalescence).
constexpr Colour unoccupied{0.80, 0.80, 0.80};
// Segments closed by the dynamic maps at the end of the run.
constexpr Colour closedReach{0.55, 0.0, 0.05};

}  // namespace map

// The charts of the map program: the colonisation curve of an entire
// simulation (occupied segments, individuals and migrants per generation)
// and the distribution of the ages of the genealogies of an output set.
#pragma once

#include <string>
#include <vector>

#include "map/Canvas.h"
#include "map/MapData.h"

namespace map {

// Each draws the chart into the file `name` of the staging folder (see
// render).
void drawColonisationCurve(const std::vector<CurveRow>& curve, const std::string& title, common::StagingFolder& staging,
                           const std::string& name, ImageFormat format);
void drawAgeDistribution(const std::vector<double>& ages, const std::string& title, common::StagingFolder& staging,
                         const std::string& name, ImageFormat format);

}  // namespace map

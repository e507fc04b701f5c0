// The charts of the map program: the colonisation curve of an entire
// simulation (occupied segments, individuals and migrants per generation)
// and the distribution of the ages of the genealogies of an output set.
#pragma once

#include <string>
#include <vector>

#include "map/Canvas.h"
#include "map/MapData.h"

// Each creates the file at `path` (refusing one that exists) and draws the
// chart.
void drawColonisationCurve(const std::vector<CurveRow>& curve, const std::string& title, const std::string& path,
                           ImageFormat format);
void drawAgeDistribution(const std::vector<double>& ages, const std::string& title, const std::string& path,
                         ImageFormat format);

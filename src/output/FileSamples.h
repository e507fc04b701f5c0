// The samples of the sample file beside the sample demes of an entire
// simulation: outputs that keep one row per sample of the file (used or not)
// match the two here.
#pragma once

#include <vector>

#include "output/GeneticWriter.h"

namespace fluviagen {

class PopulationVector;

// Every sample of the file in file order, each with the position of its
// sample deme in `used` (-1 when it has none). A deme stands on its sample's
// segment under its sample's name; when two samples reached one segment the
// later one holds the deme.
std::vector<FileSampleView> fileSampleViews(const PopulationVector& file, const std::vector<SampleView>& used);

}  // namespace fluviagen

#include "output/FileSamples.h"

#include <algorithm>

#include "drainage/Population.h"
#include "drainage/Segment.h"

namespace fluviagen {

std::vector<FileSampleView> fileSampleViews(const PopulationVector& file, const std::vector<SampleView>& used) {
    std::vector<FileSampleView> views;
    const int records = std::min(file.count, static_cast<int>(file.populations.size()));
    for (int r = 0; r < records; ++r) {
        const PopulationSource& sample = *file.populations[static_cast<std::size_t>(r)];
        views.push_back({sample.name, sample.size, sample.segment, -1});
    }
    for (std::size_t d = 0; d < used.size(); ++d) {
        for (int r = records - 1; r >= 0; --r) {
            FileSampleView& view = views[static_cast<std::size_t>(r)];
            if (view.segment != nullptr && view.segment->index == used[d].segmentIndex && view.name == used[d].name) {
                view.used = static_cast<int>(d);
                break;
            }
        }
    }
    return views;
}

}  // namespace fluviagen

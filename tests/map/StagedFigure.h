// Draws a figure of the map program as the program does: into a staging
// folder inside the test's folder, then put in place.
#pragma once

#include <functional>
#include <string>

#include "common/StagingFolder.h"
#include "support/TestFiles.h"

// Returns the final path of the figure `name`.
inline std::string drawnFigure(const testing_support::TempFolder& folder, const std::string& name,
                               const std::function<void(common::StagingFolder&, const std::string&)>& draw) {
    common::StagingFolder staging(folder.path().string(), "test");
    draw(staging, name);
    staging.commit();
    return folder.folder() + name;
}

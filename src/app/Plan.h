// The plan of a program call: what `fluviagen --plan` prints instead of
// running. The settings are resolved exactly as a run resolves them (blank
// lines, comments, --set, the count parameter), the drainage is read and
// resampled as the run will use it, and the samples are read and placed; no
// entire simulation runs and no file is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "settings/Settings.h"

namespace fluviagen {

struct CommandLine;

struct CallPlan {
    std::string settingsFile;            // absolute
    std::vector<SettingValue> settings;  // every line that holds a value, as resolved, in line order
    std::int64_t segments = 0;
    std::uint64_t historyBytes = 0;       // the history table as StateDB maps it
    std::uint64_t peakBytesEstimate = 0;  // see planText
    std::vector<std::string> outputs;     // the output groups switched on
};

// Resolves the call; throws a fatal SimulationError where the run would refuse
// it. The console lines a run would print on standard output are not
// printed: the caller's standard output carries the plan alone.
CallPlan planCall(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations,
                  const CommandLine& options);

// The plan as one JSON object and a line end.
std::string planText(const CallPlan& plan);

}  // namespace fluviagen

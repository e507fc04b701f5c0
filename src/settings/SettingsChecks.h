// The checks of the settings once read: values that can be read but give no
// meaningful run are refused before any work, and values outside the range
// of their line that the model still defines an outcome for are pointed out.
#pragma once

#include "settings/Settings.h"

namespace fluviagen {

// Throws a fatal SimulationError for the first value of `settings` (as read by
// parseSettingsInto) that cannot give a meaningful run: naming the --set
// option when `overrides` gave the value, else the file and the physical
// line, after the console line "Settings file, line N (field): reason!".
// Then says on standard error, for every value of the file outside the range
// of its line, what the run will do with it.
void checkSettingValues(const Settings& settings, const SettingOverrides& overrides);

}  // namespace fluviagen

// The parsing of the settings' values: each line of the key table
// (common/SettingLines.h) read by the line reader (settings/SettingsReader.h)
// into its field of Settings, with the limits of the field's own type
// (a capacity in 16 bits, a data type code in 8).
#pragma once

#include <iosfwd>

#include "settings/Settings.h"

namespace fluviagen {

// Reads the 41 lines into the settings, each value with the physical line it
// stands on (Settings::values), the values of `overrides` in place of those
// on their lines. Throws a fatal SimulationError on the first line that cannot be
// read or whose value cannot be held.
void parseSettingsInto(Settings& s, std::istream& is, const SettingOverrides& overrides);

}  // namespace fluviagen

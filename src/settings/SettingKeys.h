// The lines of the settings file by number and by a short name, so that one
// value can be given on the command line (--set 38=0.05, --set
// migration_colonised=0.05) instead of by editing its line. The lines
// themselves are the table of common/SettingLines.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/SettingLines.h"

namespace fluviagen {

using SettingKey = SettingLine;

// The key of a line that holds a value, or of a short name; none for
// anything else (the heading, the end marker, an unknown name).
const SettingKey* findSettingKey(int line);
const SettingKey* findSettingKey(std::string_view lineOrName);
// The entry of a line by its enumerator.
inline const SettingKey& settingKey(Setting s) { return settingLine(s); }

// Why a value cannot stand on its line ("'0,5' holds a comma: ...", "'0' is
// outside ..."), judged by the rules of the settings file for the line's
// kind and by the values a run can use; none when it can. Rules that depend
// on other lines are applied when the file is read.
std::optional<std::string> settingValueProblem(const SettingKey& key, std::string_view value);

// The number of a whole or decimal line's value as its type reads it; none
// for other kinds and for a value that is no readable number.
std::optional<double> settingNumber(const SettingKey& key, std::string_view value);

// Whether a number read for a whole or decimal line lies in the values a
// run can use (always true for other kinds).
bool inUsableRange(const SettingKey& key, double value);

// The table of --list-settings: a tab-separated header and one row per
// line, or a JSON array of objects with the same keys.
std::string settingsTableText(bool json);

}  // namespace fluviagen

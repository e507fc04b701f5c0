// The lines of the settings file by number and by a short name, so that one
// value can be given on the command line (--set 38=0.05, --set
// migration_colonised=0.05) instead of by editing its line. The table is the
// one place that knows which line holds which value and of what kind.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class SettingKind { fileName, whole, decimal, flag };

struct SettingKey {
    int line;                // 1 .. 40 (6 is the heading line and holds no value)
    std::string_view name;   // the short name of --set
    SettingKind kind;
    std::string_view field;  // what messages call the value
};

// Every line that holds a value, in line order.
std::span<const SettingKey> settingKeys();
// The key of a line, or of a short name; none for anything else.
const SettingKey* findSettingKey(int line);
const SettingKey* findSettingKey(std::string_view lineOrName);

// Why a value cannot stand on its line ("'0,5' holds a comma: ..."), judged
// by the rules of the settings file for the line's kind; none when it can.
// Rules that depend on other lines are applied when the file is read.
std::optional<std::string> settingValueProblem(const SettingKey& key, std::string_view value);

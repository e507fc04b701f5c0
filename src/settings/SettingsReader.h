// The line reader of the settings file: it reads the lines one after another
// in the order of the key table (common/SettingLines.h), passes over blank
// lines before a value, cuts comments, and counts the physical lines consumed,
// so that a value that cannot be used is reported with the line the user has
// to fix. A value given on the command line (--set) replaces the one on its
// line: the line is still read, and the value is judged by the same rules,
// with messages that name the option.
//
// What the reader reports on failure is part of the program's interface: the
// console line "Settings file, line N (field): reason!" followed by the fatal
// "Number of lines in setting file is incorrect!", or, for a value of the
// command line, a fatal "--set OPTION (field): reason!".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "common/SettingLines.h"
#include "settings/Settings.h"

namespace fluviagen {

class SimulationError;

class SettingsReader {
public:
    SettingsReader(std::istream& is, const SettingOverrides& overrides, std::vector<SettingValue>& record)
        : is_(is), overrides_(overrides), record_(record) {}

    // A text line: the whole line, cut at its first "//", every blank removed.
    Text text(Setting key);
    // The line after the last value, cut at "//", blanks removed.
    Text endMarker();
    // A line read whole and not looked at (the heading).
    void skipLine(const char* field);

    // A value line: its first word is the value (blank lines before it are
    // passed over), the rest of the line is a comment. The whole word must be
    // the number: "0,5" or "1e3x" are refused, not read as 0 or 1. T is
    // std::int32_t or float.
    template <typename T>
    T value(Setting key);
    // A switch: a value line holding 0 or 1.
    bool flag(Setting key);

    // Reports the line being read (or a given one) and gives up.
    [[noreturn]] void fail(const char* field, const char* reason, int line = 0);
    // A value read from its line (or given with --set) that its own line's
    // rules refuse after it has been read.
    [[noreturn]] void failValue(Setting key, const char* reason);

    int line() const { return line_; }  // physical lines consumed so far

private:
    static const char* fieldOf(Setting key);
    void checkNumbering(const std::string& line, Setting key, int fileLine);
    const SettingOverride* overrideOf(Setting key) const;
    void remember(Setting key, int fileLine, std::string value, const SettingOverride* given);
    [[noreturn]] void refuseGiven(const SettingOverride& given, const char* field, const std::string& reason);
    Text valueLine(const char* field);
    void explain(const char* field, const std::string& reason, int line);
    [[noreturn]] void refuse(const char* field, const std::string& reason, int line);
    void skipBlankLines();

    std::istream& is_;
    const SettingOverrides& overrides_;
    std::vector<SettingValue>& record_;
    bool numberingReported_ = false;
    int line_ = 0;  // physical lines consumed so far
};

// A refusal of a value given with --set: it passes the file reader's
// catch-all, which would otherwise blame the file.
bool isGivenValueRefusal(const SimulationError& e);

}  // namespace fluviagen

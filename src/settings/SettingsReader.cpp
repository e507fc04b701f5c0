#include "settings/SettingsReader.h"

#include <cctype>
#include <cstdint>
#include <iostream>
#include <string_view>

#include "base/Exception.h"
#include "base/InputFile.h"
#include "base/NumberText.h"

namespace fluviagen {

Text SettingsReader::text(Setting key) {
    const char* field = fieldOf(key);
    Text line;
    const bool whole = readLine(line, is_);
    ++line_;
    // The rest of a longer line is not read: it could be a name cut short.
    if (!whole) fail(field, "the line is longer than 9999 characters", line_);
    checkNumbering(line.str(), key, line_);
    if (const SettingOverride* given = overrideOf(key)) {
        remember(key, line_, given->value, given);
        return Text(given->value);
    }
    line = line.beforeComment();
    line.removeBlanks();
    remember(key, line_, line.str(), nullptr);
    return line;
}

Text SettingsReader::endMarker() {
    Text line;
    const bool whole = readLine(line, is_);
    ++line_;
    if (!whole) fail("end marker", "the line is longer than 9999 characters", line_);
    line = line.beforeComment();
    line.removeBlanks();
    return line;
}

void SettingsReader::skipLine(const char* field) {
    Text line;
    if (!readLine(line, is_)) refuse(field, "the line is longer than 9999 characters", line_ + 1);
    ++line_;
}

template <typename T>
T SettingsReader::value(Setting key) {
    const char* field = fieldOf(key);
    const Text line = valueLine(field);
    checkNumbering(line.str(), key, line_ + 1);
    const SettingOverride* given = overrideOf(key);
    const std::string_view word = given ? std::string_view(given->value) : valueWord(line.str());
    T v{};
    if (const NumberProblem problem = readNumber(word, v); problem != NumberProblem::none) {
        if (given) refuseGiven(*given, field, "is not a readable value of its type");
        if (problem != NumberProblem::notANumber)
            explain(field, numberProblemText(problem, word, rangeText<T>()), line_ + 1);
        fail(field, "is not a readable value of its type");
    }
    ++line_;
    remember(key, line_, std::string(word), given);
    return v;
}

template std::int32_t SettingsReader::value<std::int32_t>(Setting key);
template float SettingsReader::value<float>(Setting key);

bool SettingsReader::flag(Setting key) {
    const char* field = fieldOf(key);
    const Text line = valueLine(field);
    checkNumbering(line.str(), key, line_ + 1);
    const SettingOverride* given = overrideOf(key);
    std::int32_t v = -1;
    const std::string_view word = given ? std::string_view(given->value) : valueWord(line.str());
    const NumberProblem problem = readNumber(word, v);
    if (problem != NumberProblem::none || (v != 0 && v != 1)) {
        if (given) refuseGiven(*given, field, "must be 0 or 1");
        if (problem != NumberProblem::none && problem != NumberProblem::notANumber)
            explain(field, numberProblemText(problem, word, "0 ... 1"), line_ + 1);
        fail(field, "must be 0 or 1");
    }
    ++line_;
    remember(key, line_, std::string(word), given);
    return v == 1;
}

void SettingsReader::fail(const char* field, const char* reason, int line) {
    std::cout << "\nSettings file, line " << (line > 0 ? line : line_ + 1) << " (" << field << "): " << reason << "!";
    throw SimulationError(Text("Number of lines in setting file is incorrect!"), levelFatal);
}

void SettingsReader::failValue(Setting key, const char* reason) {
    if (const SettingOverride* given = overrideOf(key)) refuseGiven(*given, fieldOf(key), reason);
    fail(fieldOf(key), reason, line_);
}

const char* SettingsReader::fieldOf(Setting key) { return settingLine(key).field.data(); }

// Settings files number their lines in the comment ("0.5  // 12 growth
// rate"). A line deleted or added above shifts every value after it onto
// the wrong line, and the value error that follows names a line the user
// did not touch: the first comment whose number is not the line it
// stands for is pointed out, once.
void SettingsReader::checkNumbering(const std::string& line, Setting key, int fileLine) {
    if (numberingReported_) return;
    const auto comment = line.find("//");
    if (comment == std::string::npos) return;
    std::size_t at = line.find_first_not_of(" \t", comment + 2);
    if (at == std::string::npos || line[at] < '0' || line[at] > '9') return;
    const std::size_t end = line.find_first_not_of("0123456789", at);
    if (end - at > 2 || (end != std::string::npos && line[end] != ' ' && line[end] != '\t')) return;
    const int number = std::stoi(line.substr(at, end - at));
    if (number == lineOf(key)) return;
    numberingReported_ = true;
    std::cerr << "Settings file, line " << fileLine << ": its comment numbers it " << number
              << ", but it is read as line " << lineOf(key) << " (" << fieldOf(key)
              << "): a line may be missing or added above it, which moves every value after it!" << std::endl;
}

const SettingOverride* SettingsReader::overrideOf(Setting key) const {
    const auto it = overrides_.find(lineOf(key));
    return it == overrides_.end() ? nullptr : &it->second;
}

void SettingsReader::remember(Setting key, int fileLine, std::string value, const SettingOverride* given) {
    record_.push_back({lineOf(key), fileLine, std::move(value), given ? given->option : std::string()});
}

// A value of the command line that its line's rules refuse: the option
// is named, on standard error, since the file is not at fault.
void SettingsReader::refuseGiven(const SettingOverride& given, const char* field, const std::string& reason) {
    throw SimulationError(Text(shortened("--set " + given.option + " (" + field + "): " + reason + "!")), levelFatal);
}

// The next line that is not blank, read whole (the line count stays at
// the line before it).
Text SettingsReader::valueLine(const char* field) {
    skipBlankLines();
    if (is_.peek() == std::char_traits<char>::eof()) fail(field, "the file ends before this value");
    Text line;
    if (!readLine(line, is_)) refuse(field, "the line is longer than 9999 characters", line_ + 1);
    return line;
}

// What the console line of fail() cannot say, on standard error.
void SettingsReader::explain(const char* field, const std::string& reason, int line) {
    std::cerr << "Settings file, line " << line << " (" << field << "): " << reason << "!" << std::endl;
}

// Gives up with the reason on standard error only.
void SettingsReader::refuse(const char* field, const std::string& reason, int line) {
    explain(field, reason, line);
    throw SimulationError(Text("Number of lines in setting file is incorrect!"), levelFatal);
}

void SettingsReader::skipBlankLines() {
    for (int c = is_.peek(); is_.good() && std::isspace(c); c = is_.peek()) {
        if (is_.get() == '\n') ++line_;
    }
}

bool isGivenValueRefusal(const SimulationError& e) { return e.message().str().rfind("--set ", 0) == 0; }

}  // namespace fluviagen

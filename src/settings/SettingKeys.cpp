#include "settings/SettingKeys.h"

#include <algorithm>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "base/NumberText.h"

namespace fluviagen {

const SettingKey* findSettingKey(int line) {
    if (line < 1 || line > settingLineCount) return nullptr;
    const SettingKey& key = settingLines[static_cast<std::size_t>(line - 1)];
    return key.holdsValue() ? &key : nullptr;
}

const SettingKey* findSettingKey(std::string_view text) {
    std::int32_t line = 0;
    if (!text.empty() && text.front() >= '0' && text.front() <= '9' &&
        text.find_first_not_of("0123456789") == std::string_view::npos && readNumber(text, line) == NumberProblem::none)
        return findSettingKey(line);
    const auto it = std::find_if(settingLines.begin(), settingLines.end(),
                                 [&](const SettingKey& k) { return k.holdsValue() && k.name == text; });
    return it == settingLines.end() ? nullptr : &*it;
}

std::optional<double> settingNumber(const SettingKey& key, std::string_view value) {
    if (key.kind == SettingKind::whole) {
        std::int32_t number = 0;
        if (readNumber(value, number) == NumberProblem::none) return number;
    } else if (key.kind == SettingKind::decimal) {
        float number = 0;
        if (readNumber(value, number) == NumberProblem::none) return number;
    }
    return std::nullopt;
}

bool inUsableRange(const SettingKey& key, double value) {
    if (!key.numeric()) return true;
    const bool aboveLeast = key.leastExcluded ? value > key.least : value >= key.least;
    const bool belowMost = key.mostExcluded ? value < key.most : value <= key.most;
    return aboveLeast && belowMost;
}

namespace {

// "'<word>' <what>", built by appending (g++ 12 warns falsely about
// overlapping copies in "'" + std::string).
std::string quoted(std::string_view word, std::string_view what) {
    std::string text(1, '\'');
    text.append(printableWord(word)).append("' ").append(what);
    return text;
}

}  // namespace

std::optional<std::string> settingValueProblem(const SettingKey& key, std::string_view value) {
    const auto problem = [&](auto number, std::string_view range) -> std::optional<std::string> {
        const NumberProblem p = readNumber(value, number);
        if (p == NumberProblem::notANumber) return quoted(value, "is not a number");
        if (p != NumberProblem::none) return numberProblemText(p, value, range);
        if (!inUsableRange(key, static_cast<double>(number)))
            return quoted(value, std::string("is outside the values a run can use (").append(key.range).append(")"));
        return std::nullopt;
    };
    switch (key.kind) {
        case SettingKind::fileName:
            if (value.empty()) return std::string("there is no file name");
            if (value.find_first_of(" \t") != std::string_view::npos)
                return quoted(value, "holds a blank: the settings file cannot hold such a name");
            return std::nullopt;
        case SettingKind::whole:
            return problem(std::int32_t{}, rangeText<std::int32_t>());
        case SettingKind::decimal:
            return problem(float{}, rangeText<float>());
        case SettingKind::flag:
            if (value == "0" || value == "1") return std::nullopt;
            return quoted(value, "must be 0 or 1");
        case SettingKind::heading:
        case SettingKind::endMarker:
            return std::string("the line holds no value");
    }
    return std::nullopt;
}

std::string settingsTableText(bool json) {
    if (json) {
        nlohmann::ordered_json rows = nlohmann::ordered_json::array();
        for (const SettingKey& key : settingLines)
            rows.push_back({{"line", key.line()},
                            {"name", std::string(key.name)},
                            {"kind", std::string(kindName(key.kind))},
                            {"range", std::string(key.range)},
                            {"default", std::string(key.defaultValue)},
                            {"meaning", std::string(key.meaning)}});
        return rows.dump(1) + "\n";
    }
    std::string text = "line\tname\tkind\trange\tdefault\tmeaning\n";
    for (const SettingKey& key : settingLines) {
        text.append(std::to_string(key.line())).append("\t").append(key.name).append("\t");
        text.append(kindName(key.kind)).append("\t").append(key.range).append("\t");
        text.append(key.defaultValue).append("\t").append(key.meaning).append("\n");
    }
    return text;
}

}  // namespace fluviagen

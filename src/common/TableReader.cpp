#include "common/TableReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

#include "common/Error.h"

namespace common {

namespace {

std::string where(const std::string& path, int line) { return "'" + path + "', line " + std::to_string(line); }

// Splits one record; a quoted field may hold separators and doubled quotes.
std::vector<std::string> splitRecord(const std::string& text, char separator, const std::string& path, int line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == separator) {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += c;
        }
    }
    if (quoted) throw InputError(where(path, line) + ": a quoted field is not closed");
    fields.push_back(std::move(field));
    return fields;
}

}  // namespace

template <typename T>
std::optional<T> strictNumber(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(value)) return std::nullopt;
    return value;
}

template <typename T>
T numberField(std::string_view text, const std::string& place, std::string_view name) {
    const std::optional<T> value = strictNumber<T>(text);
    if (!value)
        throw InputError(place + ": column " + std::string(name) + " holds '" + std::string(text.substr(0, 40)) +
                         "', not a number");
    return *value;
}

template std::optional<int> strictNumber<int>(std::string_view);
template std::optional<long> strictNumber<long>(std::string_view);
template std::optional<double> strictNumber<double>(std::string_view);
template int numberField<int>(std::string_view, const std::string&, std::string_view);
template long numberField<long>(std::string_view, const std::string&, std::string_view);
template double numberField<double>(std::string_view, const std::string&, std::string_view);

std::string Table::where(std::size_t row) const { return common::where(path, lines[row]); }

std::optional<std::size_t> Table::findColumn(std::string_view name) const {
    const auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end()) return std::nullopt;
    return static_cast<std::size_t>(it - header.begin());
}

std::size_t Table::column(std::string_view name) const {
    const auto found = findColumn(name);
    if (!found) throw InputError("'" + path + "': the header has no column '" + std::string(name) + "'");
    return *found;
}

Table readTable(const std::string& path, char separator) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError("'" + path + "' cannot be read");
    Table table;
    table.path = path;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (line == 1) {
            table.header = splitRecord(text, separator, path, line);
            continue;
        }
        if (text.empty()) continue;
        auto fields = splitRecord(text, separator, path, line);
        if (fields.size() != table.header.size())
            throw InputError(where(path, line) + ": " + std::to_string(fields.size()) +
                             " fields where the header has " + std::to_string(table.header.size()));
        table.rows.push_back(std::move(fields));
        table.lines.push_back(line);
    }
    if (in.bad()) throw InputError("'" + path + "' cannot be read to its end");
    if (line == 0) throw InputError("'" + path + "' is empty: a header row was expected");
    return table;
}

std::vector<std::optional<std::size_t>> declaredColumns(const Table& table, const TableDeclaration& declaration) {
    std::vector<std::optional<std::size_t>> columns;
    for (std::size_t k = 0; k < declaration.columns.size(); ++k)
        columns.push_back(k < declaration.requiredColumns ? table.column(declaration.columns[k].name)
                                                          : table.findColumn(declaration.columns[k].name));
    return columns;
}

}  // namespace common

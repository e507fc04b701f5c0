#include "common/ExchangeTables.h"

namespace common {

std::string TableDeclaration::headerLine() const {
    std::string line;
    for (const FieldDeclaration& column : columns) {
        if (!line.empty()) line += separator;
        line += column.name;
    }
    return line + '\n';
}

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace common

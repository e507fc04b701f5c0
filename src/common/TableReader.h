// The reader of the separated tables the programs exchange (comma- or
// tab-separated, a header row, then one row per line). CSV quotes are
// understood: a field that begins with '"' runs to the next lone '"' and may
// hold separators and doubled quotes. Blank lines after the header and a
// line end of "\r\n" are taken as they come. Every message names the file,
// and the line where there is one; every error is a common::InputError.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ExchangeTables.h"

namespace common {

// The number a whole field holds: a whole number in the decimal digits
// from_chars reads (an optional '-', no '+', no blanks, no exponent), or a
// finite decimal number for double; nothing when the text is anything else
// or out of the type's range. These tables are written by programs, so no
// other spelling is taken.
template <typename T>
std::optional<T> strictNumber(std::string_view text);

// The value of a number field at `place` ("'file', line 4"); throws
// InputError "<place>: column <name> holds '<text>', not a number".
template <typename T>
T numberField(std::string_view text, const std::string& place, std::string_view name);

struct Table {
    std::string path;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // each as wide as the header
    std::vector<int> lines;                      // the file line of every row

    // "'<path>', line <n>" of a row, for messages.
    std::string where(std::size_t row) const;
    // The column of a name; throws InputError naming the file when the
    // header has none.
    std::size_t column(std::string_view name) const;
    std::optional<std::size_t> findColumn(std::string_view name) const;

    // The field of a row, read as a number (the message names the column
    // by its header name).
    template <typename T>
    T number(std::size_t row, std::size_t column) const {
        return numberField<T>(rows[row][column], where(row), header[column]);
    }
    // Empty: nothing.
    template <typename T>
    std::optional<T> optionalNumber(std::size_t row, std::size_t column) const {
        if (rows[row][column].empty()) return std::nullopt;
        return number<T>(row, column);
    }
};

// Reads a whole table; throws InputError when the file cannot be read, is
// empty, holds an unclosed quote or a row whose field count differs from the
// header's.
Table readTable(const std::string& path, char separator = ',');

// The file column of each declared column, in declaration order: the
// columns may stand in any order in the file. A missing required column is
// an InputError; a missing later one is std::nullopt.
std::vector<std::optional<std::size_t>> declaredColumns(const Table& table, const TableDeclaration& declaration);

}  // namespace common

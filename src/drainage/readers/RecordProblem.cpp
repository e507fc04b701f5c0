#include "drainage/readers/RecordProblem.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <istream>
#include <iterator>

RecordProblem locateFailedValue(std::istream& in, const my_string& path) {
    in.clear();
    const std::streamoff position = in.tellg();
    RecordProblem problem;
    if (position < 0) return problem;
    // Only on the way to an error message: reading the file again is fine.
    std::ifstream again(path.c_str(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t start = std::min(static_cast<std::size_t>(position), text.size());
    // A number out of range has been consumed: go back to its first character.
    while (start > 0 && !blank(text[start - 1])) --start;
    while (start < text.size() && blank(text[start])) ++start;
    std::size_t end = start;
    while (end < text.size() && !blank(text[end])) ++end;
    for (std::size_t i = start; i < end && i < start + 40; ++i)
        problem.word += std::isprint(static_cast<unsigned char>(text[i])) ? text[i] : '?';
    if (end - start > 40) problem.word += "...";
    problem.line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(start), '\n'));
    return problem;
}

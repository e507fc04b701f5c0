#include "base/NumberText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "base/Utilities.h"

namespace fluviagen {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The number at the start of a word, in the syntax the stream extraction
// took: a sign, digits with at most one point (at least one digit), then an
// exponent when digits follow the 'e'.
struct Scanned {
    std::size_t length = 0;  // 0: the word does not begin with a number
    bool negative = false;
    std::string_view whole;     // digits before the point
    std::string_view fraction;  // digits after it
    bool hasPoint = false;
    bool hasExponent = false;
    long long exponent = 0;  // capped far beyond any value a field can take
};

Scanned scan(std::string_view w) {
    Scanned s;
    std::size_t i = 0;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) s.negative = w[i++] == '-';
    const std::size_t wholeStart = i;
    while (i < w.size() && isDigit(w[i])) ++i;
    s.whole = w.substr(wholeStart, i - wholeStart);
    if (i < w.size() && w[i] == '.') {
        std::size_t end = i + 1;
        while (end < w.size() && isDigit(w[end])) ++end;
        s.fraction = w.substr(i + 1, end - i - 1);
        s.hasPoint = true;
        i = end;
    }
    if (s.whole.empty() && s.fraction.empty()) return Scanned{};
    s.length = i;
    if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
        std::size_t end = i + 1;
        bool negativeExponent = false;
        if (end < w.size() && (w[end] == '+' || w[end] == '-')) negativeExponent = w[end++] == '-';
        const std::size_t digits = end;
        long long exponent = 0;
        while (end < w.size() && isDigit(w[end])) {
            exponent = std::min(exponent * 10 + (w[end] - '0'), 100000000LL);
            ++end;
        }
        if (end > digits) {
            s.hasExponent = true;
            s.exponent = negativeExponent ? -exponent : exponent;
            s.length = end;
        }
    }
    return s;
}

// Problems every field shares: the length, the start, what follows the number.
NumberProblem checkWord(std::string_view word, const Scanned& s) {
    if (word.size() > static_cast<std::size_t>(maxLineLength)) return NumberProblem::tooLong;
    if (s.length == 0) return NumberProblem::notANumber;
    if (s.length == word.size()) return NumberProblem::none;
    const std::string_view rest = word.substr(s.length);
    if (!s.hasPoint && !s.hasExponent && rest.size() > 1 && rest[0] == ',' && isDigit(rest[1]))
        return NumberProblem::decimalComma;
    return NumberProblem::trailing;
}

// A whole number from its decimal digits, exactly: the significant digits
// times a power of ten, which must not be negative.
template <typename T>
NumberProblem readWhole(std::string_view word, T& value) {
    const Scanned s = scan(word);
    if (const NumberProblem problem = checkWord(word, s); problem != NumberProblem::none) return problem;
    std::string digits = std::string(s.whole) + std::string(s.fraction);
    long long power = s.exponent - static_cast<long long>(s.fraction.size());
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        value = 0;
        return NumberProblem::none;
    }
    digits.erase(0, first);
    while (digits.back() == '0') {
        digits.pop_back();
        ++power;
    }
    if (power < 0) return NumberProblem::notWhole;
    if (static_cast<long long>(digits.size()) + power > 19) return NumberProblem::outOfRange;
    // The magnitude in 64 bits, unsigned: 19 digits and at most 10^18 do not
    // overflow it.
    unsigned long long magnitude = 0;
    for (const char c : digits) magnitude = magnitude * 10 + static_cast<unsigned long long>(c - '0');
    for (long long i = 0; i < power; ++i) {
        if (magnitude > std::numeric_limits<unsigned long long>::max() / 10) return NumberProblem::outOfRange;
        magnitude *= 10;
    }
    const auto maxMagnitude = static_cast<unsigned long long>(std::numeric_limits<T>::max());
    if (s.negative) {
        if (magnitude > maxMagnitude + 1) return NumberProblem::outOfRange;
        value = static_cast<T>(-static_cast<long long>(magnitude - 1) - 1);
    } else {
        if (magnitude > maxMagnitude) return NumberProblem::outOfRange;
        value = static_cast<T>(magnitude);
    }
    return NumberProblem::none;
}

}  // namespace

NumberProblem readNumber(std::string_view word, std::int16_t& value) { return readWhole(word, value); }
NumberProblem readNumber(std::string_view word, std::int32_t& value) { return readWhole(word, value); }
NumberProblem readNumber(std::string_view word, std::int64_t& value) { return readWhole(word, value); }

NumberProblem readNumber(std::string_view word, float& value) {
    const Scanned s = scan(word);
    if (const NumberProblem problem = checkWord(word, s); problem != NumberProblem::none) return problem;
    // strtof rounds the decimal text to float once, as reading a float from
    // a stream does; reading a double first and narrowing it would round
    // twice and could change the last bit of a value.
    const std::string text(word);
    const float v = std::strtof(text.c_str(), nullptr);
    if (std::isinf(v)) return NumberProblem::outOfRange;
    value = v;
    return NumberProblem::none;
}

std::string floatRangeText() {
    std::ostringstream text;
    text << -std::numeric_limits<float>::max() << " ... " << std::numeric_limits<float>::max();
    return text.str();
}

std::string numberProblemText(NumberProblem problem, std::string_view word, std::string_view range) {
    std::string shown(1, '\'');
    shown += printableWord(word);
    shown += '\'';
    switch (problem) {
        case NumberProblem::none:
            return shown + " is a number";
        case NumberProblem::notANumber:
            return shown + " is not a number";
        case NumberProblem::trailing: {
            const Scanned s = scan(word);
            return shown + " has '" + printableWord(word.substr(s.length)) + "' after the number " +
                   std::string(word.substr(0, s.length));
        }
        case NumberProblem::decimalComma: {
            // The comma can stand beyond the part of the word a message shows.
            std::string withPoint(word);
            withPoint[scan(word).length] = '.';
            return shown + " holds a comma: decimals are written with a point (" + printableWord(withPoint) + ")";
        }
        case NumberProblem::notWhole:
            return shown + " is not a whole number";
        case NumberProblem::outOfRange:
            return shown + " is not within " + std::string(range);
        case NumberProblem::tooLong:
            return "the word " + shown + " is longer than " + std::to_string(maxLineLength) + " characters";
    }
    return shown;
}

std::string_view valueWord(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !isBlank(line[end])) ++end;
    const std::string_view word = line.substr(start, end - start);
    return word.substr(0, word.find("//"));
}

std::string printableWord(std::string_view word, std::size_t longest) {
    std::string shown;
    for (std::size_t i = 0; i < word.size() && i < longest; ++i)
        shown += std::isprint(static_cast<unsigned char>(word[i])) ? word[i] : '?';
    if (word.size() > longest) shown += "...";
    return shown;
}

}  // namespace fluviagen

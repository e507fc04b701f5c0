// Numbers read from the words of the input files.
//
// A value is its whole word: a word with anything after its number is
// refused, never read as the number it begins with. Otherwise "0,5" would
// read as 0, "1e3" in a whole-number field as 1, "0x10" as 0 and "0.05x" as
// 0.05, each without a word to the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

namespace fluviagen {

enum class NumberProblem : std::uint8_t {
    none,
    notANumber,    // the word does not begin with a number (or is empty)
    trailing,      // characters follow the number ("0.05x", "0x10")
    decimalComma,  // a comma where the decimal point belongs ("0,5")
    notWhole,      // a whole-number field given a fraction ("2.5")
    outOfRange,    // beyond what the field's type holds
    tooLong,       // a word of more than maxLineLength characters
};

// Whole-number fields take the decimal digits of a whole number, and also a
// number written with a point or an exponent when its value is whole: "1e3"
// is 1000 and "2.5e2" is 250, but "2.5" is refused. The check is done on the
// decimal digits, so no rounding turns a fraction into a whole number.
NumberProblem readNumber(std::string_view word, std::int16_t& value);
NumberProblem readNumber(std::string_view word, std::int32_t& value);
NumberProblem readNumber(std::string_view word, std::int64_t& value);
// Decimal numbers: digits with an optional point and exponent, rounded to
// float as the stream extraction rounds them. "inf", "nan" and hexadecimal
// numbers are no numbers of the input files; values beyond the float range
// are refused, values too small for it become 0 or a denormal.
NumberProblem readNumber(std::string_view word, float& value);

// Why the word was refused, for a message ("'0,5' holds a comma: decimals are
// written with a point (0.5)"); the word is shown as printableWord shows it.
// range names the values the field takes, for outOfRange and notWhole.
std::string numberProblemText(NumberProblem problem, std::string_view word, std::string_view range);

// The values a field of type T takes, for messages: "-2147483648 ... 2147483647",
// or "-3.40282e+38 ... 3.40282e+38" for float.
std::string floatRangeText();
template <typename T>
std::string rangeText() {
    if constexpr (std::is_floating_point_v<T>)
        return floatRangeText();
    else
        return std::to_string(std::numeric_limits<T>::min()) + " ... " + std::to_string(std::numeric_limits<T>::max());
}

// The first word of a value line: blanks before it are skipped, and "//"
// ends it (the rest of the line is a comment, even without a blank before).
std::string_view valueWord(std::string_view line);

// A word as a message shows it: characters that cannot be printed become
// '?', and a word of more than `longest` characters is cut to that many and
// "...".
std::string printableWord(std::string_view word, std::size_t longest = 40);

}  // namespace fluviagen

// Numbers of the input files: a value is its whole word.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/NumberText.h"

using namespace fluviagen;

namespace {

using P = NumberProblem;

}  // namespace

TEST(NumberText, WholeNumbers) {
    const std::tuple<std::string, P, std::int32_t> cases[] = {
        {"+7", P::none, 7},
        {"-2147483648", P::none, -2147483647 - 1},
        // With a point or an exponent: taken when the value is whole.
        {"1e3", P::none, 1000},
        {"2.5e2", P::none, 250},
        {"12000e-3", P::none, 12},
        {"2.5", P::notWhole, 0},
        {"1.0000000000000000000001", P::notWhole, 0},  // no rounding makes it whole
        {"2147483648", P::outOfRange, 0},
        {"1e99999999999999", P::outOfRange, 0},
        // Once read as the number before the rest, without a word.
        {"1e3x", P::trailing, 0},
        {"0x10", P::trailing, 0},
        {"0,5", P::decimalComma, 0},
        {"", P::notANumber, 0},
        {".", P::notANumber, 0},
        {std::string(10000, '1'), P::tooLong, 0},
    };
    for (const auto& [word, problem, expected] : cases) {
        std::int32_t value = -99;
        EXPECT_EQ(readNumber(word, value), problem) << word;
        EXPECT_EQ(value, problem == P::none ? expected : -99) << word;  // untouched on a problem
    }
    std::int16_t small = 0;
    EXPECT_EQ(readNumber("-32768", small), P::none);
    EXPECT_EQ(readNumber("3.2768e4", small), P::outOfRange);
    std::int64_t big = 0;
    EXPECT_EQ(readNumber("-9223372036854775808", big), P::none);
    EXPECT_EQ(big, INT64_MIN);
    EXPECT_EQ(readNumber("9223372036854775808", big), P::outOfRange);
}

TEST(NumberText, DecimalNumbers) {
    const std::tuple<std::string, P, float> cases[] = {
        {"0.05", P::none, 0.05f},        {".5", P::none, 0.5f},     {"5.", P::none, 5.0f},
        {"2.5E-1", P::none, 0.25f},      {"1e-50", P::none, 0.0f},  {"1e39", P::outOfRange, 0},
        {"20,4597", P::decimalComma, 0}, {"1.5,5", P::trailing, 0}, {"1e+", P::trailing, 0},
        {"inf", P::notANumber, 0},       {"nan", P::notANumber, 0},
    };
    for (const auto& [word, problem, expected] : cases) {
        float value = -99;
        EXPECT_EQ(readNumber(word, value), problem) << word;
        EXPECT_EQ(value, problem == P::none ? expected : -99.0f) << word;
    }
}

TEST(NumberText, ProblemsAreExplained) {
    const std::string ints = rangeText<std::int32_t>();
    EXPECT_EQ(rangeText<std::int16_t>(), "-32768 ... 32767");
    EXPECT_EQ(rangeText<float>(), "-3.40282e+38 ... 3.40282e+38");
    const std::tuple<P, std::string, std::string> cases[] = {
        {P::trailing, "0.05x", "'0.05x' has 'x' after the number 0.05"},
        {P::decimalComma, "0,5", "'0,5' holds a comma: decimals are written with a point (0.5)"},
        // A comma beyond the 40 characters shown is found in the whole word,
        // and the suggestion shows the same 40 characters with the point.
        {P::decimalComma, std::string(44, '5') + ",5",
         "'" + std::string(40, '5') + "...' holds a comma: decimals are written with a point (" + std::string(40, '5') +
             "...)"},
        {P::notWhole, "2.5", "'2.5' is not a whole number"},
        {P::outOfRange, "2147483648", "'2147483648' is not within -2147483648 ... 2147483647"},
        {P::tooLong, std::string(10000, '\1'),
         "the word '" + std::string(40, '?') + "...' is longer than 9999 characters"},
    };
    for (const auto& [problem, word, text] : cases) EXPECT_EQ(numberProblemText(problem, word, ints), text);
    EXPECT_EQ(valueWord("  0.5   // growth rate"), "0.5");
    EXPECT_EQ(valueWord("12// no blank before the comment"), "12");
    EXPECT_EQ(valueWord("// only a comment"), "");
}

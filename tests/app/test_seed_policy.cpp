// The seed policy: --seed before FLUVIAGEN_SEED before the clock, the range
// 1 to 161803398 (either sign) and the negative seed the generator takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/SeedPolicy.h"
#include "base/Exception.h"

using namespace fluviagen;

namespace {

constexpr long largest = 161803398;

// Sets FLUVIAGEN_SEED (or unsets it for null) for the life of the object.
class SeedVariable {
public:
    explicit SeedVariable(const char* value) {
        if (const char* old = std::getenv("FLUVIAGEN_SEED")) saved_ = old;
        if (value != nullptr)
            ::setenv("FLUVIAGEN_SEED", value, 1);
        else
            ::unsetenv("FLUVIAGEN_SEED");
    }
    ~SeedVariable() {
        if (saved_)
            ::setenv("FLUVIAGEN_SEED", saved_->c_str(), 1);
        else
            ::unsetenv("FLUVIAGEN_SEED");
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST(SeedPolicy, GivenSeedThenVariableThenClock) {
    struct Row {
        std::optional<long> given;  // --seed, as the command line hands it on
        const char* variable;       // FLUVIAGEN_SEED; null: not set
        std::optional<long> seed;   // none: refused
    };
    const Row rows[] = {
        {-5, "abc", -5},  // the command line wins; the variable is not looked at
        {-5, nullptr, -5},
        {std::nullopt, "12345", -12345},
        {std::nullopt, "-77", -77},
        {std::nullopt, "1", -1},
        {std::nullopt, "161803398", -largest},
        {std::nullopt, "-161803398", -largest},
        {std::nullopt, "0", std::nullopt},
        {std::nullopt, "161803399", std::nullopt},
        {std::nullopt, "-161803399", std::nullopt},
        {std::nullopt, "12x", std::nullopt},
        {std::nullopt, "", std::nullopt},
        {std::nullopt, "99999999999999999999", std::nullopt},
    };
    for (const Row& row : rows) {
        const SeedVariable variable(row.variable);
        const std::string label = std::string(row.variable ? row.variable : "(unset)");
        if (row.seed) {
            EXPECT_EQ(programSeed(row.given), *row.seed) << label;
            continue;
        }
        try {
            programSeed(row.given);
            ADD_FAILURE() << label << " was taken";
        } catch (const SimulationError& e) {
            EXPECT_TRUE(e.isFatal()) << label;
            EXPECT_NE(e.message().str().find("FLUVIAGEN_SEED must hold a whole number from 1 to 161803398"),
                      std::string::npos)
                << e.message().str();
            EXPECT_NE(e.message().str().find("'" + std::string(row.variable) + "'"), std::string::npos)
                << e.message().str();
        }
    }
}

TEST(SeedPolicy, WithoutSeedOrVariableTheClockGivesASeedInRange) {
    const SeedVariable variable(nullptr);
    for (int i = 0; i < 100; ++i) {
        const long seed = programSeed();
        EXPECT_GE(seed, -largest);
        EXPECT_LE(seed, -1);
    }
}

TEST(SeedPolicy, SeedTextOfTheCommandLine) {
    const struct {
        const char* text;
        std::optional<long> seed;
    } rows[] = {
        {"1", -1},
        {"-1", -1},
        {"2026", -2026},
        {"161803398", -largest},
        {"-161803398", -largest},
        {"0", std::nullopt},
        {"161803399", std::nullopt},
        {"-161803399", std::nullopt},
        {"12x", std::nullopt},
        {"", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(seedFromText(row.text), row.seed) << row.text;
}

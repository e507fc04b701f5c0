// The registry of data types: every code of the settings finds its type,
// which names itself and writes its states as the project files need them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "mutation/DataType.h"
#include "settings/Settings.h"

using namespace fluviagen;

namespace {

struct Registered {
    int code;
    const char* name;
    const char* profile;
    int state;
    const char* written;
};

TEST(DataTypeRegistry, EveryCodeFindsItsTypeAndItsFormat) {
    const Registered table[] = {
        {MICROSAT, "MICROSAT", "\tDataType=MICROSAT\n\tLocusSeparator=WHITESPACE\n", -3, "49997 "},
        {RFLP, "RFLP", "\tDataType=RFLP\n\tLocusSeparator=WHITESPACE\n", 1, "1"},
        {DNA, "DNA", "\tDataType=DNA\n\tLocusSeparator=NONE\n", 3, "T"},
        {STANDARD, "STANDARD", "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n", 12, "12"},
        {SNP, "SNP", "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n", 1, "1"},
    };
    for (const Registered& r : table) {
        Settings settings;
        settings.setDataType(static_cast<std::int8_t>(r.code));
        const auto type = makeDataType(settings);
        ASSERT_NE(type, nullptr) << r.code;
        EXPECT_STREQ(type->name(), r.name);
        std::ostringstream profile;
        type->writeProfile(profile);
        EXPECT_EQ(profile.str(), r.profile) << r.name;
        std::ostringstream state;
        type->writeState(state, r.state);
        EXPECT_EQ(state.str(), r.written) << r.name;
    }
    Settings unknown;
    unknown.setDataType(7);
    EXPECT_EQ(makeDataType(unknown), nullptr);
}

}  // namespace

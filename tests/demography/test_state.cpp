#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "demography/State.h"
#include "drainage/Segment.h"

using namespace fluviagen;

namespace {

TEST(DemographyState, NegativeSumIsReportedAndZeroed) {
    Segment segment;
    segment.id = 17;
    State state;
    state.N = 3;
    state.BilanMigr = -5;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(addMigrationBalance(state, segment, 42));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nError in State::add_BilanMigr_to_N(): 0 > N= -2 at generation 42 for segment 17\n");
    EXPECT_EQ(state.N, 0);
}

TEST(DemographyState, SumsBeyondSixteenBitsSaturateWithAWarning) {
    Segment segment;
    segment.id = 9;
    State state;
    state.N = 32000;
    state.BilanMigr = 1000;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(addMigrationBalance(state, segment, 7));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(state.N, 32767);
    EXPECT_NE(out.find("WARNING"), std::string::npos);
    EXPECT_NE(out.find("segment 9 at generation 7"), std::string::npos);
    EXPECT_NE(out.find("33000"), std::string::npos);

    testing::internal::CaptureStdout();
    EXPECT_EQ(saturate16(-40000, segment, "x", 7), -32768);
    EXPECT_EQ(saturate16(1e9f, segment, "x", 7), 32767);
    EXPECT_EQ(saturate16(std::numeric_limits<float>::quiet_NaN(), segment, "x", 7), 0);
    const std::string warnings = testing::internal::GetCapturedStdout();
    EXPECT_NE(warnings.find("not a number"), std::string::npos);

    // In range: truncation toward zero and no message.
    testing::internal::CaptureStdout();
    EXPECT_EQ(saturate16(-2.9f, segment, "x", 7), -2);
    EXPECT_EQ(saturate16(32767.9f, segment, "x", 7), 32767);
    EXPECT_EQ(saturate16(std::int32_t{-32768}, segment, "x", 7), -32768);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace

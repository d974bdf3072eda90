#include "support/support_routines.h"

#include <gtest/gtest.h>

namespace zentrel::support {
namespace {

using platform::Regional_Settings;

TEST(Num_Value, ZeroEmptyAndNonNumbersGiveZero) {
    const auto german = Regional_Settings::german();
    EXPECT_EQ(Num_Value("", german), 0);
    EXPECT_EQ(Num_Value("0", german), 0);
    EXPECT_EQ(Num_Value("abc", german), 0);
    EXPECT_EQ(Num_Value("1x", german), 0);
    EXPECT_EQ(Num_Value(".", german), 0);
}

TEST(Num_Value, StoredCheckStatesReadBack) {
    const auto german = Regional_Settings::german();
    EXPECT_EQ(Num_Value("1", german), 1);
    EXPECT_EQ(Num_Value("2", german), 2);
    EXPECT_EQ(Num_Value("-1", german), -1);
}

TEST(Num_Value, APointIsReadAsTheDecimalSeparatorUnderEitherRules) {
    const auto german = Regional_Settings::german();
    EXPECT_DOUBLE_EQ(Num_Value("1.5", german), 1.5);
    EXPECT_DOUBLE_EQ(Num_Value("1,5", german), 1.5);
    EXPECT_DOUBLE_EQ(Num_Value("0.25", german), 0.25);

    Regional_Settings english;  // "." decimal, "," thousands
    EXPECT_DOUBLE_EQ(Num_Value("1.5", english), 1.5);
    EXPECT_DOUBLE_EQ(Num_Value("0.25", english), 0.25);
}

TEST(Num_Value, AValueOutOfRangeIsNoNumber) {
    EXPECT_EQ(Num_Value("1e999", Regional_Settings::german()), 0);
    EXPECT_EQ(Num_Value("-1e999", Regional_Settings()), 0);
}

}  // namespace
}  // namespace zentrel::support

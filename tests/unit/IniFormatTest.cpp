#include "IniFormat.h"

#include <gtest/gtest.h>

TEST(IniInt, ReadsDecimalWithBlanksAndSign) {
    EXPECT_EQ(IniIntOr("42", -1), 42);
    EXPECT_EQ(IniIntOr("   42", -1), 42);
    EXPECT_EQ(IniIntOr("+7", -1), 7);
    EXPECT_EQ(IniIntOr("-15", -1), -15);
    EXPECT_EQ(IniIntOr("007", -1), 7);
}

TEST(IniInt, ReadsEveryHexadecimalPrefix) {
    EXPECT_EQ(IniIntOr("0x0A", 5), 10);
    EXPECT_EQ(IniIntOr("0X0a", 5), 10);
    EXPECT_EQ(IniIntOr("$1F", 5), 31);
    EXPECT_EQ(IniIntOr("x10", 5), 16);
    EXPECT_EQ(IniIntOr("X100", 5), 256);
    EXPECT_EQ(IniIntOr("-$10", 5), -16);
    EXPECT_EQ(IniIntOr(" 0x100", 5), 256);
}

TEST(IniInt, AnythingButAWholeNumberGivesTheDefault) {
    for (const char* bad : {"", " ", "ten", "12 ", "1 2", "+", "-", "0x", "$", "12abc", "0x1G", "\t5",
                            "5\t", "1.5", "--1", "x", "0b1"}) {
        EXPECT_EQ(IniIntOr(bad, 77), 77) << "text: '" << bad << "'";
    }
}

TEST(IniInt, ThirtyTwoBitRangeIsTheLimit) {
    EXPECT_EQ(IniIntOr("2147483647", 1), 2147483647);
    EXPECT_EQ(IniIntOr("-2147483648", 1), INT32_MIN);
    EXPECT_EQ(IniIntOr("2147483648", 1), 1);
    EXPECT_EQ(IniIntOr("-2147483649", 1), 1);
    EXPECT_EQ(IniIntOr("$7FFFFFFF", 1), 2147483647);
    EXPECT_EQ(IniIntOr("$80000000", 1), 1);
    EXPECT_EQ(IniIntOr("99999999999999999999999", 1), 1);
}

TEST(IniBool, NonZeroIsOnAndAWordGivesTheDefault) {
    EXPECT_TRUE(IniBoolOr("1", false));
    EXPECT_TRUE(IniBoolOr("5", false));
    EXPECT_TRUE(IniBoolOr("-1", false));
    EXPECT_FALSE(IniBoolOr("0", true));
    EXPECT_FALSE(IniBoolOr("0x0", true));
    EXPECT_TRUE(IniBoolOr("yes", true));
    EXPECT_FALSE(IniBoolOr("true", false));
    EXPECT_TRUE(IniBoolOr("", true));
}

TEST(IniText, NumbersAndSwitchesAreWrittenPlain) {
    EXPECT_EQ(IniIntText(7), "7");
    EXPECT_EQ(IniIntText(-12), "-12");
    EXPECT_EQ(IniIntText(INT32_MIN), "-2147483648");
    EXPECT_STREQ(IniBoolText(true), "1");
    EXPECT_STREQ(IniBoolText(false), "0");
}

#include "Countdown.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Runs a whole connection: the record (if any) turns up in cycle `arrivesAt`.
std::vector<int64_t> Written(int32_t regMinutes, int64_t arrivesAt = -1, int32_t limit = 0) {
    Countdown c(regMinutes);
    std::vector<int64_t> values;
    while (c.Running()) {
        values.push_back(c.SecondsLeft());
        if (c.Elapsed() == arrivesAt) c.UserArrived(limit);
        c.CycleDone();
    }
    return values;
}

}  // namespace

TEST(Countdown, RegistrationWindowCountsDownToOne) {
    const auto v = Written(5);
    ASSERT_EQ(v.size(), 300u);
    EXPECT_EQ(v.front(), 300);
    EXPECT_EQ(v[1], 299);
    EXPECT_EQ(v.back(), 1);
}

TEST(Countdown, NoWindowMeansNoCycle) {
    EXPECT_TRUE(Written(0).empty());
    EXPECT_TRUE(Written(-2).empty());
}

TEST(Countdown, RecordReplacesTheLimitCountedFromTheStart) {
    // Found in cycle 10 with 60 minutes: that cycle still writes the window's value.
    auto v = Written(5, 10, 60);
    ASSERT_EQ(v.size(), 3600u);
    EXPECT_EQ(v[10], 290);
    EXPECT_EQ(v[11], 3589);
    EXPECT_EQ(v.back(), 1);

    v = Written(5, 99, 45);
    EXPECT_EQ(v[99], 201);
    EXPECT_EQ(v[100], 2600);
    EXPECT_EQ(v.size(), 2700u);
}

TEST(Countdown, TooSmallALimitEndsWithTheCycleThatReadIt) {
    for (int32_t limit : {0, -5, 1}) {
        const auto v = Written(5, 70, limit);
        EXPECT_EQ(v.size(), 71u) << limit;
        EXPECT_EQ(v.back(), 230);
    }
}

TEST(Countdown, HugeLimitsDoNotOverflow) {
    Countdown c(INT32_MAX);
    EXPECT_TRUE(c.Running());
    EXPECT_EQ(c.SecondsLeft(), int64_t{INT32_MAX} * 60);
    c.UserArrived(INT32_MIN);
    c.CycleDone();
    EXPECT_FALSE(c.Running());
}

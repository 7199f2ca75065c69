// The short gate soak: three hundred connections hung up at random moments,
// in this process. What a leak or a lost line looks like after that many:
// handles and threads not back where they started, memory that keeps
// growing, a log with fewer lines than the connections wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "GateSoak.h"

TEST(GateSoak, ThreeHundredConnectionsLeaveNothingBehindAndLoseNoLine) {
    GateSoakOptions options;
    options.connections = 300;
    options.sampleEvery = 100;
    options.onSample = [](const ProcessSample& s) {
        std::printf("after %d connections: %lu handles, %zu threads, %.2f MB private\n", s.connections,
                    static_cast<unsigned long>(s.handles), s.threads, s.privateBytes / 1048576.0);
    };
    const GateSoakResult r = RunGateSoak(options);
    ASSERT_EQ(r.failure, "");
    ASSERT_GE(r.samples.size(), 2u);
    const ProcessSample& start = r.samples.front();
    const ProcessSample& end = r.samples.back();

    // A count that reads 0 would let any leak through.
    ASSERT_GT(start.handles, 0u);
    // Every connection's workers are gone and their handles closed: a handle
    // or a thread left per connection would show as hundreds here.
    EXPECT_LE(end.threads, start.threads) << "threads at the start " << start.threads << ", at the end " << end.threads;
    EXPECT_LE(end.handles, start.handles + 10) << "handles at the start " << start.handles << ", at the end "
                                               << end.handles;
    // Generous: allocator and loader caches settle; a per-connection leak of a
    // worker's stack or its buffers would pass this many times over.
    EXPECT_LE(end.privateBytes, start.privateBytes + (16u << 20))
        << "private bytes at the start " << start.privateBytes << ", at the end " << end.privateBytes;

    EXPECT_EQ(r.waitsTimedOut, 0) << "a connection never reached the moment it was to hang up at";
    EXPECT_EQ(r.linesCounted, r.linesExpected);
    EXPECT_EQ(r.tornLines, 0u);
    ASSERT_EQ(r.hangupMs.size(), 300u);
    const double worst = *std::max_element(r.hangupMs.begin(), r.hangupMs.end());
    EXPECT_LT(worst, 2000.0) << "a hang-up held the service's thread for " << worst << " ms";
    for (int m = 0; m < static_cast<int>(HangupMoment::Count); ++m)
        EXPECT_GT(r.byMoment[m], 0) << "no connection hung up " << HangupMomentName(static_cast<HangupMoment>(m));
}

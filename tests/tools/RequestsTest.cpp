// The control commands' words, and the hang-up latency figures.
#include <gtest/gtest.h>

#include "Requests.h"

namespace {

Request Parsed(const std::string& line) {
    Request r;
    std::string error;
    EXPECT_TRUE(ParseRequest(SplitWords(line), r, error)) << line << ": " << error;
    return r;
}

bool Refused(const std::string& line) {
    Request r;
    std::string error;
    const bool ok = ParseRequest(SplitWords(line), r, error);
    return !ok && !error.empty();
}

}  // namespace

TEST(Requests, DialTakesByteCountsInAnyOrder) {
    Request r = Parsed("dial");
    EXPECT_EQ(r.kind, RequestKind::Dial);
    EXPECT_EQ(r.bytesRcved, 0u);
    EXPECT_EQ(r.bytesXmited, 0u);
    r = Parsed("dial --tx 2048 --rx 10240");
    EXPECT_EQ(r.bytesRcved, 10240u);
    EXPECT_EQ(r.bytesXmited, 2048u);
    r = Parsed("dial --rx 4294967295");
    EXPECT_EQ(r.bytesRcved, 4294967295u);
}

TEST(Requests, AnythingHalfUnderstoodIsRefused) {
    for (const char* line :
         {"", "dail", "dial --rx", "dial --rx -1", "dial --rx 4294967296", "dial --rx 1e3", "dial --rx 10 --rx 20",
          "dial --bytes 10", "dial 10", "hangup", "hangup 0", "hangup x", "hangup 1 2", "drop", "drop 0", "drop -1",
          "drop 1 2", "mode", "mode fast",
          "state now", "quit 1", "dial --rx 99999999999999999999"}) {
        EXPECT_TRUE(Refused(line)) << '"' << line << '"';
    }
}

TEST(Requests, TheLineSentIsReadBackAsTheSameRequest) {
    for (const char* line : {"dial --rx 7 --tx 9", "hangup 12", "drop 4294967295", "mode sync", "mode async", "state", "quit"}) {
        const Request r = Parsed(line);
        EXPECT_EQ(RequestLine(r), line);
        const Request again = Parsed(RequestLine(r));
        EXPECT_EQ(again.kind, r.kind);
        EXPECT_EQ(again.bytesRcved, r.bytesRcved);
        EXPECT_EQ(again.bytesXmited, r.bytesXmited);
        EXPECT_EQ(again.connection, r.connection);
        EXPECT_EQ(again.syncDisconnect, r.syncDisconnect);
    }
}

TEST(Requests, AnswerFirstLinesGiveTheExitCodes) {
    EXPECT_EQ(AnswerExitCode("ok"), 0);
    EXPECT_EQ(AnswerExitCode("refused"), 3);
    EXPECT_EQ(AnswerExitCode("error: no connection 4"), 1);
    EXPECT_EQ(AnswerExitCode(""), 1);
    EXPECT_EQ(AnswerExitCode("okay"), 1);
}

TEST(LatencyStats, MedianAndWorstOfTheHangups) {
    LatencyStats none;
    EXPECT_EQ(none.Count(), 0u);
    EXPECT_EQ(none.Median(), 0);
    EXPECT_EQ(none.Max(), 0);

    LatencyStats odd;
    for (double ms : {5.0, 1.0, 300.0}) odd.Add(ms);
    EXPECT_EQ(odd.Median(), 5.0);
    EXPECT_EQ(odd.Max(), 300.0);

    LatencyStats even;
    for (double ms : {4.0, 1.0, 2.0, 10.0}) even.Add(ms);
    EXPECT_EQ(even.Median(), 3.0);
    EXPECT_EQ(even.Max(), 10.0);
    // The samples keep their order of arrival.
    EXPECT_EQ(even.Samples(), (std::vector<double>{4.0, 1.0, 2.0, 10.0}));
}

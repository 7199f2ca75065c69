// The decisions on the connections, as plain values: who is let in, who
// waits for whom, whose end a hang-up is, and when the users' files may go.
#include "ConnectionTable.h"

#include <gtest/gtest.h>

namespace {

// A worker whose thread stands as the test says.
struct FakeWorker : TimedConnection {
    WorkerFacts facts;
};

WorkerFacts FactsOf(const TimedConnection& w) { return static_cast<const FakeWorker&>(w).facts; }

class Table : public ::testing::Test {
protected:
    using Verdict = ConnectionTable::Verdict;
    using Whose = ConnectionTable::Whose;
    ConnectionTable table{&FactsOf};

    static std::shared_ptr<FakeWorker> Caller(uintptr_t id) {
        auto w = std::make_shared<FakeWorker>();
        w->connection = reinterpret_cast<ConnectionHandle>(id);
        return w;
    }
    // One acceptance callback, after `waits` waits; an admitted caller's
    // thread is started and runs.
    ConnectionTable::Admission Dial(const std::shared_ptr<FakeWorker>& w, int waits = 0) {
        table.AcceptanceBegins(w);
        const ConnectionTable::Admission a = table.Admit(w, waits);
        if (a.verdict == Verdict::Admitted) w->facts.threadRunning = table.Started(w);
        table.AcceptanceEnds(w);
        return a;
    }
    ConnectionTable::Hangup HangUp(const std::shared_ptr<FakeWorker>& w) { return table.TakeHangup(w->connection, true); }
};

}  // namespace

void PrintTo(ConnectionTable::Verdict v, std::ostream* os) {
    static const char* const names[] = {"Admitted", "RefusedRunning", "RefusedHungUp", "WaitForLeaving"};
    *os << names[static_cast<int>(v)];
}

TEST_F(Table, LetsOneCallerInAtATime) {
    auto a = Caller(1), b = Caller(2);
    EXPECT_EQ(Dial(a).verdict, Verdict::Admitted);
    EXPECT_EQ(Dial(b).verdict, Verdict::RefusedRunning);
    EXPECT_TRUE(a->askService) << "a running worker whose hang-up may be lost is not asked to check";
    // a's limit ran out: its worker takes no further step, its thread is on its way out.
    a->facts.takesNoStep = true;
    const ConnectionTable::Admission waiting = Dial(b);
    EXPECT_EQ(waiting.verdict, Verdict::WaitForLeaving);
    EXPECT_EQ(waiting.leaving, a);
    EXPECT_FALSE(waiting.waitForLines);
    EXPECT_EQ(Dial(b, 1).verdict, Verdict::RefusedRunning) << "waited once, and a's thread still runs";
    a->facts.threadRunning = false;
    EXPECT_EQ(Dial(b).verdict, Verdict::Admitted);
    // a's hang-up after b's dial is still a's own end, and b keeps his files.
    const ConnectionTable::Hangup late = HangUp(a);
    EXPECT_EQ(late.whose, Whose::Owed);
    EXPECT_FALSE(table.Marked(late));
    EXPECT_FALSE(table.MayClearUserFiles(late));
}

TEST_F(Table, PlacesEachHangup) {
    auto a = Caller(1), b = Caller(2);
    ASSERT_EQ(Dial(a).verdict, Verdict::Admitted);
    const ConnectionTable::Hangup end = HangUp(a);
    EXPECT_EQ(end.whose, Whose::Timed);
    EXPECT_EQ(end.worker, a);
    EXPECT_FALSE(table.Marked(end));
    EXPECT_TRUE(table.MayClearUserFiles(end));
    // a's worker stopped, its thread ending, its hang-up's lines still to
    // come; once the thread has gone, the lines alone are waited for again.
    a->facts.takesNoStep = true;
    EXPECT_TRUE(Dial(b).waitForLines);
    a->facts.threadRunning = false;
    EXPECT_EQ(Dial(b, 1).verdict, Verdict::WaitForLeaving);
    table.HangupWritten(end);
    EXPECT_EQ(Dial(b, 2).verdict, Verdict::Admitted);
    // A duplicate of a's hang-up belongs to nobody; so does b's after his
    // worker found the connection gone.
    EXPECT_TRUE(table.Marked(HangUp(a)));
    b->foundGone = true;
    const ConnectionTable::Hangup gone = HangUp(b);
    EXPECT_EQ(gone.whose, Whose::Timed);
    EXPECT_TRUE(table.Marked(gone));
}

// Only an acceptance under way is refused for its hang-up: one that came
// before the caller's worker was started. A hang-up of a connection never
// offered here, or one that comes after the decision, refuses no later caller.
TEST_F(Table, AHangupRefusesOnlyTheAcceptanceUnderWay) {
    auto a = Caller(1), b = Caller(2), c = Caller(3);
    EXPECT_EQ(HangUp(c).whose, Whose::Nobody);
    ASSERT_EQ(Dial(a).verdict, Verdict::Admitted);
    a->facts.takesNoStep = true;
    table.AcceptanceBegins(b);
    ASSERT_EQ(table.Admit(b, 0).verdict, Verdict::WaitForLeaving);
    const ConnectionTable::Hangup early = HangUp(b);
    EXPECT_EQ(early.whose, Whose::Overtook);
    EXPECT_TRUE(table.Marked(early));
    EXPECT_FALSE(early.workerStarted);
    EXPECT_EQ(table.Admit(b, 1).verdict, Verdict::RefusedHungUp);
    table.AcceptanceEnds(b);
    // Admitted but not started yet: refused all the same.
    a->facts.threadRunning = false;
    table.AcceptanceBegins(c);
    ASSERT_EQ(table.Admit(c, 0).verdict, Verdict::Admitted);
    const ConnectionTable::Hangup beforeStart = HangUp(c);
    EXPECT_EQ(beforeStart.whose, Whose::Overtook);
    EXPECT_FALSE(table.Started(c));
    table.AcceptanceEnds(c);
    EXPECT_EQ(HangUp(b).whose, Whose::Nobody);
    table.HangupWritten(beforeStart);
    EXPECT_EQ(Dial(Caller(2)).verdict, Verdict::Admitted);
}

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

}  // namespace

void PrintTo(ConnectionTable::Verdict v, std::ostream* os) {
    static const char* const names[] = {"Admitted", "RefusedRunning", "RefusedHungUp", "WaitForLeaving"};
    *os << names[static_cast<int>(v)];
}

TEST(ConnectionTable, DecidesWhoGetsInAndWhoseEndAHangupIs) {
    using V = ConnectionTable::Verdict;
    ConnectionTable table(&FactsOf);
    auto caller = [](uintptr_t id) {
        auto w = std::make_shared<FakeWorker>();
        w->connection = reinterpret_cast<ConnectionHandle>(id);
        return w;
    };
    auto a = caller(1), b = caller(2), c = caller(3), d = caller(4);
    // An acceptance after `waits` waits, from the callback's start to its return.
    auto admit = [&](const std::shared_ptr<FakeWorker>& w, int waits = 0) {
        table.AcceptanceBegins(w);
        const ConnectionTable::Admission admission = table.Admit(w, waits);
        if (admission.verdict == V::Admitted) w->facts.threadRunning = table.Started(w);
        table.AcceptanceEnds(w);
        return admission;
    };
    auto hangUp = [&](const std::shared_ptr<FakeWorker>& w) { return table.TakeHangup(w->connection, true); };

    EXPECT_EQ(hangUp(a).whose, ConnectionTable::Whose::Nobody);  // never offered: refuses no later caller
    EXPECT_EQ(admit(a).verdict, V::Admitted);
    EXPECT_EQ(admit(b).verdict, V::RefusedRunning);
    EXPECT_TRUE(a->askService);
    a->facts.takesNoStep = true;  // a's limit ran out: its thread is on its way out, waited for once
    EXPECT_EQ(admit(b).leaving, a);
    EXPECT_EQ(admit(b, 1).verdict, V::RefusedRunning);
    a->facts.threadRunning = false;
    EXPECT_EQ(admit(b).verdict, V::Admitted);
    const ConnectionTable::Hangup owed = hangUp(a);  // after b's dial: a's own end, b keeps his files
    EXPECT_EQ(owed.whose, ConnectionTable::Whose::Owed);
    EXPECT_FALSE(table.Marked(owed) || table.MayClearUserFiles(owed));
    const ConnectionTable::Hangup end = hangUp(b);
    EXPECT_TRUE(end.worker == b && !table.Marked(end) && table.MayClearUserFiles(end));
    // c waits for b's thread and hang-up lines, then for the lines alone.
    b->facts.takesNoStep = true;
    table.AcceptanceBegins(c);
    EXPECT_TRUE(table.Admit(c, 0).waitForLines);
    b->facts.threadRunning = false;
    EXPECT_EQ(table.Admit(c, 1).verdict, V::WaitForLeaving);
    // c hangs up while his acceptance waits: marked, and c is refused.
    EXPECT_TRUE(table.Marked(hangUp(c)));
    EXPECT_EQ(table.Admit(c, 2).verdict, V::RefusedHungUp);
    table.HangupWritten(end);
    // d hangs up once admitted, before his worker starts: refused all the same.
    table.AcceptanceBegins(d);
    ASSERT_EQ(table.Admit(d, 0).verdict, V::Admitted);
    EXPECT_EQ(hangUp(d).whose, ConnectionTable::Whose::Overtook);
    EXPECT_FALSE(table.Started(d));
}

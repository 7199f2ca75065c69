// The worker and its stop, in-process and step by step: a clock that moves
// only when the test says, client calls of the test's making, and a hang-up
// at any chosen moment. No remote-access service, no fast-cycle build.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "Config.h"
#include "LogTexts.h"
#include "SteppedWorker.h"
#include "TestSupport.h"
#include "Worker.h"
#include "WorkerStop.h"

TEST(WorkerStop, WithNoStepUnderWayStopsAtOnceAndShutsTheGate) {
    WorkerStop stop;
    ASSERT_TRUE(stop.Valid());
    EXPECT_FALSE(stop.Requested());
    EXPECT_TRUE(stop.GatedWrite([] {}));
    EXPECT_TRUE(stop.Stop(5000, 200));
    EXPECT_TRUE(stop.Requested());
    EXPECT_TRUE(stop.GateClosed());
    bool wrote = false;
    EXPECT_FALSE(stop.GatedWrite([&] { wrote = true; }));
    EXPECT_FALSE(wrote);
    WorkerStop::Step step(stop);
    EXPECT_FALSE(step.Begun());
}

TEST(WorkerStop, WaitsForTheStepUnderWayWhoseWritesStillCount) {
    WorkerStop stop;
    UniqueHandle inStep = Event(), go = Event();
    bool keptInStep = false, keptAfter = true, nextBegun = true;
    Side worker([&] {
        {
            WorkerStop::Step step(stop);
            SetEvent(inStep.Get());
            Signalled(go);
            keptInStep = stop.GatedWrite([] {});
        }
        keptAfter = stop.GatedWrite([] {});
        nextBegun = WorkerStop::Step(stop).Begun();
    });
    ASSERT_TRUE(Signalled(inStep));
    std::atomic<int> stopped{-1};
    Side hangup([&] { stopped = stop.Stop(5000, 200); });
    // The hang-up has asked; the step goes on to its end.
    ASSERT_TRUE(WaitFor([&] { return stop.Requested(); }, 5000));
    EXPECT_EQ(stopped.load(), -1);
    SetEvent(go.Get());
    ASSERT_TRUE(hangup.Wait());
    ASSERT_TRUE(worker.Wait());
    EXPECT_EQ(stopped.load(), 1);
    EXPECT_TRUE(keptInStep);
    EXPECT_FALSE(keptAfter);
    EXPECT_FALSE(nextBegun);
}

TEST(WorkerStop, AStepOutlastingTheBoundIsLeftToFinishWithItsWritesDropped) {
    WorkerStop stop;
    UniqueHandle inStep = Event(), go = Event();
    bool keptInStep = true;
    Side worker([&] {
        WorkerStop::Step step(stop);
        SetEvent(inStep.Get());
        Signalled(go);
        keptInStep = stop.GatedWrite([] {});
    });
    ASSERT_TRUE(Signalled(inStep));
    EXPECT_FALSE(stop.Stop(100, 200));
    SetEvent(go.Get());
    ASSERT_TRUE(worker.Wait());
    EXPECT_FALSE(keptInStep);
}

TEST(WorkerStop, AClientCallThatDoesNotReturnIsNotWaitedForBeyondItsGrace) {
    WorkerStop stop;
    UniqueHandle inCall = Event(), go = Event();
    bool keptAfterCall = true;
    Side worker([&] {
        WorkerStop::Step step(stop);
        stop.ClientCall([&] {
            SetEvent(inCall.Get());
            Signalled(go);
            return DWORD{0};
        });
        keptAfterCall = stop.GatedWrite([] {});
    });
    ASSERT_TRUE(Signalled(inCall));
    // The bound is far off: only the call's grace lets the hang-up return.
    EXPECT_TRUE(stop.Stop(60000, 100));
    SetEvent(go.Get());
    ASSERT_TRUE(worker.Wait());
    EXPECT_FALSE(keptAfterCall);
}

TEST(WorkerStop, AHangupDeliveredFromInsideTheWorkersOwnCallReturnsAtOnce) {
    WorkerStop stop;
    int stopped = -1;
    Side worker([&] {
        stop.SetWorkerThread(GetCurrentThreadId());
        WorkerStop::Step step(stop);
        stop.ClientCall([&] {
            stopped = stop.Stop(60000, 60000);
            return DWORD{0};
        });
    });
    ASSERT_TRUE(worker.Wait()) << "the hang-up waited for the call that delivered it";
    EXPECT_EQ(stopped, 1);
}

TEST(WorkerStop, AnExceptionInAGatedWriteLeavesNoLockHeld) {
    WorkerStop stop;
    bool thrown = false;
    Side worker([&] {
        try {
            WorkerStop::Step step(stop);
            stop.GatedWrite([] { throw std::bad_alloc(); });
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
    });
    ASSERT_TRUE(worker.Wait());
    EXPECT_TRUE(thrown);
    bool stopped = false;
    Side hangup([&] { stopped = stop.Stop(1000, 200); });
    ASSERT_TRUE(hangup.Wait(5000)) << "the hang-up is stuck on a lock the worker left held";
    EXPECT_TRUE(stopped);
}

// The registration window of one minute, with the caller hanging up after
// each possible number of cycles: the time file holds what that cycle
// wrote, and nothing is written after the hang-up.
TEST(SteppedWorker, HangupAfterAnyCycleOfTheWindowEndsItThere) {
    for (int cycles : {0, 1, 2, 30, 59, 60}) {
        SteppedWorker w;
        w.Start();
        for (int k = 0; k < cycles; ++k) ASSERT_TRUE(w.Cycle()) << k;
        EXPECT_TRUE(w.ctx->stop.Stop(1000, 200)) << cycles;
        w.ctx->stop.Release();
        ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
        EXPECT_EQ(w.TimeFile(), cycles == 0 ? "" : std::to_string(60 - cycles + 1) + "\r\n\r\n") << cycles;
        EXPECT_EQ(w.service.disconnects.load(), cycles == 60 ? 1 : 0) << cycles;
    }
}

TEST(SteppedWorker, ARefusedCallerMakesTheWorkerAskAtItsNextCycle) {
    SteppedWorker w;
    w.Start();
    ASSERT_TRUE(w.Cycle());
    EXPECT_EQ(w.service.enumerations.load(), 0);
    // The connection still exists: the worker goes on.
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    EXPECT_EQ(w.service.enumerations.load(), 1);
    EXPECT_FALSE(w.Ended());
    EXPECT_EQ(w.TimeFile(), "59\r\n\r\n");
    // The service cannot answer: that proves nothing.
    w.service.enumAnswer = ERROR_SERVICE_NOT_ACTIVE;
    w.service.RemoveConnection(w.connection);
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    EXPECT_FALSE(w.Ended());
    EXPECT_EQ(w.TimeFile(), "58\r\n\r\n");
    // The service answers without it, twice a cycle apart: the worker ends as
    // a hang-up would.
    w.service.enumAnswer = NO_ERROR;
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    EXPECT_FALSE(w.Ended());
    WriteAll(w.ctx->config->currentUser, "ivan\r\npw\r\n5\r\n");
    ASSERT_TRUE(w.Cycle());
    ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(Exists(w.ctx->config->currentUser));
    EXPECT_FALSE(Exists(w.ctx->config->timeFile));
    EXPECT_EQ(w.Log(), DatedLine(log_text::kConnectionGone) + DatedLine(std::string(log_text::kDuration) + "4") +
                           DatedLine(log_text::kUserHungUp));
    EXPECT_EQ(w.service.disconnects.load(), 0);
}

TEST(SteppedWorker, WithoutARefusalTheWorkerAsksEveryTenSeconds) {
    SteppedWorker w;
    w.Start();
    for (int k = 0; k < 9; ++k) ASSERT_TRUE(w.Cycle());
    EXPECT_EQ(w.service.enumerations.load(), 0);
    ASSERT_TRUE(w.Cycle());
    EXPECT_EQ(w.service.enumerations.load(), 1);
    for (int k = 0; k < 10; ++k) ASSERT_TRUE(w.Cycle());
    EXPECT_EQ(w.service.enumerations.load(), 2);
    EXPECT_FALSE(w.Ended());
}

// An ask the service never finishes ("more data" with nothing in it, again
// and again) ends with the worker's cycle, and proves nothing.
TEST(SteppedWorker, AnAskThatNeverFinishesHoldsNothingAndProvesNothing) {
    SteppedWorker w;
    w.Start();
    w.service.enumAnswer = ERROR_MORE_DATA;
    w.ctx->askService = true;
    ASSERT_TRUE(w.clock.Release());
    const bool cycleEnded = w.clock.CycleDone(5000);
    const int asked = w.service.enumerations.load();
    w.service.enumAnswer = NO_ERROR;  // lets a stuck worker out, so that the test can end
    EXPECT_TRUE(cycleEnded) << "the worker is stuck in its ask";
    EXPECT_LE(asked, 16);
    EXPECT_FALSE(w.Ended());
}

// A connection counts as gone only when two answers, a cycle apart, both lack it.
TEST(SteppedWorker, OneAnswerWithoutTheConnectionIsNotEnough) {
    SteppedWorker w;
    w.Start();
    w.service.RemoveConnection(w.connection);
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    EXPECT_FALSE(w.Ended()) << "one answer ended the connection";
    // Listed again: the first answer no longer counts.
    w.service.AddConnection(w.connection);
    ASSERT_TRUE(w.Cycle());
    w.service.RemoveConnection(w.connection);
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    EXPECT_FALSE(w.Ended());
    ASSERT_TRUE(w.Cycle());
    EXPECT_TRUE(w.Ended());
}

// After a slow ask the cycles due meanwhile run at once; the ask that would
// confirm the first answer still waits until a cycle of the clock has passed.
TEST(SteppedWorker, TheConfirmingAskComesACycleOfTheClockAfterTheFirst) {
    SteppedWorker w;
    w.Start();
    std::atomic<bool> slow{true};
    w.service.onConnect = [&] { w.clock.Advance(slow.exchange(false) ? 3000 : 0); };
    w.service.RemoveConnection(w.connection);
    w.ctx->askService = true;
    // Asked at 1000 ms, answered at 4000 ms; then the cycles due at 2000 to 4000 ms.
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(w.Cycle());
        ASSERT_FALSE(w.Ended()) << "ended by a second answer in cycle " << k + 1;
    }
    ASSERT_TRUE(w.Cycle());
    EXPECT_TRUE(w.Ended());
}

// A log line that waits for a file another program holds: the hang-up's
// bound runs from its call, not from the end of the line's wait.
TEST(SteppedWorker, AHangupDoesNotWaitForALogLineOnAHeldFile) {
    SteppedWorker w;
    WorkerLog(*w.ctx, "before", true);  // the log exists, and its last open got through
    const std::string log = w.ctx->config->logFolder + TodayShortDate() + "_log.txt";
    UniqueHandle held(CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    UniqueHandle inStep = Event();
    Side worker([&] {
        WorkerStop::Step step(w.ctx->stop);
        SetEvent(inStep.Get());
        WorkerLog(*w.ctx, "during", true);
    });
    ASSERT_TRUE(Signalled(inStep));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(w.ctx->stop.Stop(100, 200));
    const ULONGLONG took = GetTickCount64() - start;
    ASSERT_TRUE(worker.Wait());
    EXPECT_LT(took, 400u) << "the hang-up waited for the worker's line";
    held.Reset();
    EXPECT_EQ(Occurrences(w.Log(), "during"), 0u);
}

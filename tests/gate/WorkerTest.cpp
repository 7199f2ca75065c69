// The worker and its stop, in-process and step by step: a clock that moves
// only when the test says, client calls of the test's making, and a hang-up
// at any chosen moment. No remote-access service, no fast-cycle build.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include "Config.h"
#include "LogTexts.h"
#include "SteppedClock.h"
#include "TestSupport.h"
#include "Worker.h"
#include "WorkerStop.h"

namespace {

// An allocation on the named thread fails once: out of memory where the
// worker composes a line or the time file's text.
std::atomic<DWORD> failAllocationOn{0};

}  // namespace

void* operator new(size_t size) {
    const DWORD self = GetCurrentThreadId();
    DWORD expected = self;
    if (failAllocationOn.load() == self && failAllocationOn.compare_exchange_strong(expected, 0))
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operator new takes its memory from malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// Runs `work` on a thread of its own; Wait() is bounded, so a hang fails.
class Side {
public:
    template <class Work>
    explicit Side(Work work) : thread_([this, work] {
              work();
              SetEvent(done_.Get());
          }) {}
    ~Side() { thread_.join(); }
    bool Wait(DWORD ms = 5000) const { return WaitForSingleObject(done_.Get(), ms) == WAIT_OBJECT_0; }

private:
    UniqueHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread_;
};

UniqueHandle Event() { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
bool Signalled(const UniqueHandle& e, DWORD ms = 5000) { return WaitForSingleObject(e.Get(), ms) == WAIT_OBJECT_0; }

}  // namespace

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

namespace {

HANDLE NoPort() { return nullptr; }

// One worker on a thread of the test's, in a scratch folder.
struct SteppedWorker {
    TempDir dir{"worker"};
    FakeService service;
    AdminCalls calls;
    SteppedClock clock;
    std::shared_ptr<WorkerContext> ctx = std::make_shared<WorkerContext>();
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> threw{false};
    std::atomic<DWORD> threadId{0};
    std::thread thread;
    HANDLE connection = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xc0001));

    explicit SteppedWorker(int32_t regMinutes = 1) {
        calls = service.Calls();
        GatewayConfigRecord c;
        c.usersFolder = dir.Path();
        c.currentUser = dir / "current.user";
        c.currentUserOp = dir / "current.userop";
        c.timeFile = dir / "time.txt";
        c.logFolder = dir / "LOGS\\";
        c.regMinutes = regMinutes;
        c.ftpAccounting = false;
        ctx->config = std::make_shared<const GatewayConfigRecord>(c);
        ctx->connection = connection;
        service.AddConnection(connection);
    }
    void Start() {
        thread = std::thread([this] {
            threadId = GetCurrentThreadId();
            ctx->stop.SetWorkerThread(threadId);
            try {
                RunWorker(*ctx, WorkerEnv{calls, clock, NoPort, 1000});
            } catch (...) {
                threw = true;
            }
            SetEvent(done.Get());
            clock.WorkerEnded();
        });
        clock.WaitForWaiting();
    }
    ~SteppedWorker() {
        ctx->stop.Stop(0, 0);
        ctx->stop.Release();
        if (thread.joinable()) thread.join();
    }
    bool Cycle() { return clock.Cycle(); }
    bool Ended() const { return WaitForSingleObject(done.Get(), 0) == WAIT_OBJECT_0; }
    std::string TimeFile() const { return ReadAll(ctx->config->timeFile); }
    std::string Log() const { return MaskTimes(ReadAll(ctx->config->logFolder + TodayShortDate() + "_log.txt")); }
};

}  // namespace

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
    // The service answers without it: the worker ends as a hang-up would.
    WriteAll(w.ctx->config->currentUser, "ivan\r\npw\r\n5\r\n");
    w.service.enumAnswer = NO_ERROR;
    w.ctx->askService = true;
    ASSERT_TRUE(w.Cycle());
    ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(Exists(w.ctx->config->currentUser));
    EXPECT_FALSE(Exists(w.ctx->config->timeFile));
    EXPECT_EQ(w.Log(), DatedLine(log_text::kConnectionGone) + DatedLine(std::string(log_text::kDuration) + "3") +
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

// Out of memory while the worker composes the time file's text, inside its
// gated write: the worker's thread ends, and the hang-up that follows finds no
// lock held and returns within its bound.
TEST(SteppedWorker, OutOfMemoryInAWriteLeavesTheHangupFree) {
    // Seconds left with twelve digits: the time file's text no longer fits
    // in a string's own small buffer and must be allocated.
    SteppedWorker w(INT32_MAX);
    w.Start();
    ASSERT_TRUE(w.Cycle());
    failAllocationOn = w.threadId.load();
    ASSERT_NE(failAllocationOn.load(), 0u);
    ASSERT_TRUE(w.Cycle());
    ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(w.threw.load());
    EXPECT_EQ(failAllocationOn.load(), 0u) << "no allocation failed";
    bool stopped = false;
    Side hangup([&] { stopped = w.ctx->stop.Stop(1000, 200); });
    ASSERT_TRUE(hangup.Wait(5000));
    EXPECT_TRUE(stopped);
}

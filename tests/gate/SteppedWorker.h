// One worker on a thread of the test's, in a scratch folder, moved cycle by
// cycle; and small helpers for tests that play the service's threads.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "SteppedClock.h"
#include "TestSupport.h"
#include "Worker.h"

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

inline UniqueHandle Event() { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
inline bool Signalled(const UniqueHandle& e, DWORD ms = 5000) {
    return WaitForSingleObject(e.Get(), ms) == WAIT_OBJECT_0;
}

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
        calls = FakeCalls();
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
                RunWorker(*ctx, WorkerEnv{calls, clock, 1000});
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

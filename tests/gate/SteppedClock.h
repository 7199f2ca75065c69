// The worker's surroundings of a test's making: a clock that moves one cycle
// each time the test lets it, and the service's client calls answered by the
// test (FakeService). With them a worker runs in the test's own process, cycle by cycle.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>

#include "FakeService.h"
#include "TestSupport.h"
#include "Worker.h"

class SteppedClock : public WorkerClock {
public:
    double NowMs() override { return now_; }
    bool WaitUntil(const WorkerStop& stop, double deadlineMs) override {
        ++waiting_;
        ++arrivals_;
        const HANDLE handles[] = {stop.WakeEvent(), go_.Get()};
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        --waiting_;
        if (woke == WAIT_OBJECT_0) return true;
        // A step that took longer than its cycle leaves the clock ahead: the
        // cycles due meanwhile run at once.
        if (deadlineMs > now_) now_ = deadlineMs;
        return false;
    }
    // Moves the clock on from inside a step, as a step that takes `ms` would.
    void Advance(double ms) { now_ = now_ + ms; }
    // The host of a worker tells the clock when the worker is gone.
    void WorkerEnded() { ++ended_; }

    // Waits until a worker waits for its next cycle; false after `ms` without.
    bool WaitForWaiting(DWORD ms = 10000) const {
        return WaitFor([&] { return waiting_ > 0; }, ms);
    }
    // Lets one cycle begin and returns at once.
    bool Release() {
        if (!WaitForWaiting()) return false;
        arrivalsSeen_ = arrivals_;
        endedSeen_ = ended_;
        return ReleaseSemaphore(go_.Get(), 1, nullptr) != FALSE;
    }
    // Waits until the cycle let begin by Release() is over: the worker waits
    // for the next one, or has ended.
    bool CycleDone(DWORD ms = 10000) const {
        return WaitFor([&] { return arrivals_ > arrivalsSeen_ || ended_ > endedSeen_; }, ms);
    }
    // One whole cycle.
    bool Cycle() { return Release() && CycleDone(); }

private:
    std::atomic<double> now_{0};
    std::atomic<int> waiting_{0}, arrivals_{0}, ended_{0};
    int arrivalsSeen_ = 0, endedSeen_ = 0;
    UniqueHandle go_{CreateSemaphoreW(nullptr, 0, 1000000, nullptr)};
};

// The fake service's calls, as the worker takes them.
inline AdminCalls FakeCalls() {
    return {FakeService::ServerConnect,  FakeService::PortClearStats, FakeService::PortReset,
            FakeService::PortDisconnect, FakeService::ServerDisconnect, FakeService::ConnectionEnum,
            FakeService::BufferFree,     FakeService::PortEnum};
}

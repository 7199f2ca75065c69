// The worker's surroundings of a test's making: a clock that moves one cycle
// each time the test lets it, and the service's client calls answered by the
// test. With them a worker runs in the test's own process, cycle by cycle.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>

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
        now_ = deadlineMs;
        return false;
    }
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

// The remote-access service's client calls, answered by the test: which
// connections exist, what every call answers, and what happens inside a call.
// One service at a time (the calls are plain functions).
class FakeService {
public:
    std::atomic<int> connects{0}, clearStats{0}, resets{0}, disconnects{0}, serverDisconnects{0}, enumerations{0};
    std::atomic<HANDLE> lastPort{nullptr};
    // What every call but the enumeration answers.
    std::atomic<DWORD> answer{NO_ERROR};
    // What the enumeration answers; with NO_ERROR it lists connections().
    std::atomic<DWORD> enumAnswer{NO_ERROR};
    std::function<void()> onConnect;
    std::function<void(HANDLE port)> onPortDisconnect;

    FakeService() { current_ = this; }
    ~FakeService() { current_ = nullptr; }
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    AdminCalls Calls() const { return {Connect, ClearStats, Reset, Disconnect, ServerDisconnect, Enum, Free}; }
    void AddConnection(HANDLE c) {
        std::lock_guard<std::mutex> lock(lock_);
        connections_.insert(c);
    }
    void RemoveConnection(HANDLE c) {
        std::lock_guard<std::mutex> lock(lock_);
        connections_.erase(c);
    }

private:
    static inline FakeService* current_ = nullptr;
    std::mutex lock_;
    std::set<HANDLE> connections_;

    static DWORD WINAPI Connect(LPWSTR, MPR_SERVER_HANDLE* server) {
        ++current_->connects;
        if (current_->onConnect) current_->onConnect();
        const DWORD result = current_->answer;
        *server = result == NO_ERROR ? reinterpret_cast<MPR_SERVER_HANDLE>(static_cast<ULONG_PTR>(0x5e7e)) : nullptr;
        return result;
    }
    static DWORD WINAPI ClearStats(RAS_SERVER_HANDLE, HANDLE port) {
        current_->lastPort = port;
        ++current_->clearStats;
        return current_->answer;
    }
    static DWORD WINAPI Reset(RAS_SERVER_HANDLE, HANDLE) {
        ++current_->resets;
        return current_->answer;
    }
    static DWORD WINAPI Disconnect(RAS_SERVER_HANDLE, HANDLE port) {
        ++current_->disconnects;
        if (current_->onPortDisconnect) current_->onPortDisconnect(port);
        return current_->answer;
    }
    static VOID WINAPI ServerDisconnect(MPR_SERVER_HANDLE) { ++current_->serverDisconnects; }
    static DWORD WINAPI Enum(RAS_SERVER_HANDLE, DWORD, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total, LPDWORD) {
        ++current_->enumerations;
        *buffer = nullptr;
        *read = *total = 0;
        if (current_->enumAnswer != NO_ERROR) return current_->enumAnswer;
        std::lock_guard<std::mutex> lock(current_->lock_);
        const auto& listed = current_->connections_;
        auto* entries = static_cast<RAS_CONNECTION_0*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RAS_CONNECTION_0) * (listed.size() + 1)));
        DWORD n = 0;
        for (HANDLE h : listed) entries[n++].hConnection = h;
        *buffer = reinterpret_cast<LPBYTE>(entries);
        *read = *total = n;
        return NO_ERROR;
    }
    static DWORD WINAPI Free(LPVOID buffer) {
        HeapFree(GetProcessHeap(), 0, buffer);
        return NO_ERROR;
    }
};

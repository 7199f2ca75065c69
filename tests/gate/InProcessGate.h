// The plug-in's connection handling linked into the test program: the
// callbacks' work (Connection.h) and the worker on threads of this process,
// with a clock and client calls of the test's making, so that a test says
// when each cycle runs. The library's own exports and thread entry are
// tested through the built dialgate.dll (PluginTest.cpp).
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "Config.h"
#include "Connection.h"
#include "SteppedClock.h"
#include "TestSupport.h"
#include "Win32Clock.h"

// One installation's folders, its configuration published as the latest
// load's, and the surroundings of the workers that start while it lives.
class InProcessGate {
public:
    TempDir dir{"gate"};
    std::string users = dir / "users\\";
    std::string logs = dir / "LOGS\\";
    std::string timeFile = dir / "time.txt";
    std::string usersIni = dir / "ftp\\users.ini";
    FakeService service;
    // The clock of the workers, unless they run in real time.
    SteppedClock clock;

    // `ftpService` empty: no FTP step. `realCycleMs` other than 0: the
    // workers run by the system's clock with cycles this long.
    explicit InProcessGate(int32_t regMinutes = 1, const std::string& ftpService = "", int32_t ftpCredit = 5000000,
                           DWORD realCycleMs = 0);
    // Waits (bounded) for every worker to be gone: the next test's callers
    // must find none.
    ~InProcessGate();
    InProcessGate(const InProcessGate&) = delete;
    InProcessGate& operator=(const InProcessGate&) = delete;

    std::string Log() const { return MaskTimes(ReadAll(logs + TodayShortDate() + "_log.txt")); }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    bool WaitLog(const std::string& text, DWORD ms = 10000) const {
        return WaitFor([&] { return LogHas(text); }, ms);
    }
    void WriteRecord(const std::string& bytes) const { WriteAll(users + "current.user", bytes); }

    // Whether a worker of this installation's callers has not ended yet
    // (started or about to start).
    bool WorkerRunning() const { return ended < accepted; }
    bool WaitWorkersGone(DWORD ms = 10000) const {
        return WaitFor([&] { return !WorkerRunning(); }, ms);
    }
    // The most workers of this process alive at any one time.
    static int MostWorkers();

    // Callers accepted (each with a worker), and workers ended.
    std::atomic<int> accepted{0}, ended{0};

    // What the test's ConnectionWorker runs by.
    const AdminCalls calls = FakeCalls();
    const DWORD realCycleMs;
};

// A dial-in as the service delivers it: connection, then link; the service
// lists the connection, with its link's port, from its dial to its hang-up.
struct Caller {
    InProcessGate& gate;
    RAS_CONNECTION_0 c0{};
    RAS_CONNECTION_1 c1{};
    RAS_PORT_0 p0{};

    Caller(InProcessGate& g, uintptr_t id) : gate(g) {
        c0.hConnection = c1.hConnection = p0.hConnection = reinterpret_cast<HANDLE>(id);
        p0.hPort = reinterpret_cast<HANDLE>(id + 0x1000);
    }
    // A test that stops early still hangs up, so that no worker outlives it.
    ~Caller() {
        if (accepted && !hungUp) HangUp();
    }
    Caller(const Caller&) = delete;
    Caller& operator=(const Caller&) = delete;

    BOOL Dial() {
        gate.service.AddConnection(c0.hConnection, {p0.hPort});
        accepted = AcceptConnection(&c0) != FALSE;
        if (accepted) {
            ++gate.accepted;
            AcceptLink(&p0);
        } else {
            gate.service.RemoveConnection(c0.hConnection);
        }
        return accepted;
    }
    // Returns how long the hang-up took, in milliseconds.
    double HangUp() {
        hungUp = true;
        gate.service.RemoveConnection(c0.hConnection);
        const LARGE_INTEGER start = CounterNow();
        ConnectionHangup(&c0, &c1);
        return CounterMs(start, CounterNow());
    }

private:
    std::atomic<bool> accepted{false}, hungUp{false};
};

// Whole connections, cycle by cycle: the callbacks' work and the worker in
// this process, with the clock moved by the test. The countdown, the caller's
// record, the FTP step, the disconnect, and hang-ups at every moment of a
// connection, each at a moment the test chooses rather than one it waits for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <random>
#include <thread>
#include <vector>

#include "ConnectionReport.h"
#include "DialgateEvents.h"
#include "Events.h"
#include "ExpectedLines.h"
#include "GateSoak.h"
#include "LogTexts.h"
#include "InProcessGate.h"
#include "Services.h"
#include "SteppedWorker.h"
#include "TestService.h"

namespace {

std::string TimeFileFor(int seconds) { return std::to_string(seconds) + "\r\n\r\n"; }

// The first line that gets through after one was lost makes the plug-in
// report the log writable again; while that event is being reported, the
// service delivers the caller's hang-up on a thread of its own.
struct HangupWhileAnEventIsReported {
    std::unique_ptr<Side> service;
    UniqueHandle reported = Event();
    std::atomic<bool> returnedMeanwhile{false};
    explicit HangupWhileAnEventIsReported(Caller& call) {
        LogWriteTo(call.gate.dir / "missing\\LOGS\\", "lost", true);
        SetEventSink([this, &call](const PluginEvent& e) {
            if (e.id != MSG_LOG_WRITABLE_AGAIN) return;
            service = std::make_unique<Side>([&call] { call.HangUp(); });
            returnedMeanwhile = service->Wait();
            SetEvent(reported.Get());
        });
    }
    ~HangupWhileAnEventIsReported() {
        service.reset();
        SetEventSink(nullptr);
    }
};

}  // namespace

TEST(Countdown, WindowRunsOutThenThePortIsDisconnected) {
    InProcessGate gate;
    Caller call(gate, 4);
    ASSERT_TRUE(call.Dial());
    // Sixty cycles, counted down to 1, which stays in the file.
    for (int k = 1; k <= 60; ++k) {
        ASSERT_TRUE(gate.clock.Cycle()) << k;
        ASSERT_EQ(ReadAll(gate.timeFile), TimeFileFor(61 - k)) << k;
        ASSERT_EQ(gate.service.disconnects.load(), k == 60 ? 1 : 0) << k;
    }
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.service.lastPort.load(), call.p0.hPort);
    EXPECT_EQ(gate.service.serverDisconnects.load(), 1 + gate.service.enumerations.load());
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + DisconnectLines(" - ok"));
    call.HangUp();
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + DisconnectLines(" - ok") + HangupLines(true));
}

TEST(Countdown, FailedClientCallsAreLoggedAndEveryStepStillRuns) {
    InProcessGate gate(0);
    gate.service.answer = ERROR_SERVICE_NOT_ACTIVE;
    // With no window the worker disconnects before any link is up.
    Caller call(gate, 5);
    gate.service.AddConnection(call.c0.hConnection);
    ASSERT_TRUE(AcceptConnection(&call.c0));
    ++gate.accepted;
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.Log(), kAccepted + DisconnectLines(" - false"));
    EXPECT_FALSE(Exists(gate.timeFile));  // no cycle ran
    EXPECT_EQ(gate.service.serverDisconnects.load(), 0);  // no server handle to let go
    call.HangUp();
}

TEST(Record, ArrivingRecordSetsTheLimitFromTheStart) {
    InProcessGate gate(2);
    Caller call(gate, 6);
    ASSERT_TRUE(call.Dial());
    for (int k = 1; k <= 10; ++k) ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_EQ(ReadAll(gate.timeFile), TimeFileFor(111));
    gate.WriteRecord("ivan\r\nsecret\r\n1\r\nИван\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    EXPECT_TRUE(gate.LogHas(">USER: ivan"));
    // From the next cycle on the count is the caller's minute from the start:
    // sixty cycles in all, not the window's hundred and twenty.
    int cycles = 11;
    while (gate.WorkerRunning() && cycles < 200) {
        ASSERT_TRUE(gate.clock.Cycle());
        ++cycles;
        if (cycles == 12) {
            EXPECT_EQ(ReadAll(gate.timeFile), TimeFileFor(60 - 11));
        }
    }
    EXPECT_EQ(cycles, 60);
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("ivan", "secret", "1") + DisconnectLines(" - ok"));
    call.HangUp();
}

// A site that writes the record a line at a time, pausing less than a cycle:
// the record is taken once its third line has ended, with the whole limit.
TEST(Record, WrittenALineAtATimeGivesTheWholeLimit) {
    InProcessGate gate(2);
    Caller call(gate, 8);
    ASSERT_TRUE(call.Dial());
    std::string written;
    for (const char* piece : {"student\r\n", "secret\r\n", "6", "0", "\r\n"}) {
        ASSERT_FALSE(gate.LogHas(">USER:")) << written;
        gate.WriteRecord(written += piece);
        ASSERT_TRUE(gate.clock.Cycle());
    }
    ASSERT_TRUE(gate.clock.Cycle());
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("student", "secret", "60"));
    EXPECT_EQ(ReadAll(gate.timeFile), TimeFileFor(3600 - 5));
}

// A limit that is no number, or too small, ends the connection in the cycle
// that reads the record; what the log shows is cut by the fields' bounds.
TEST(Record, OutOfFormatRecordsAreReadByTheBounds) {
    struct Case {
        std::string record;
        std::string user, pass, limit;
    };
    const std::string u29(29, 'u');
    for (const Case& c : {Case{u29 + "uuuuuu\r\nsecret\r\n0\r\n", u29, "secret", "0"},
                          Case{std::string(35, 'v') + "\r\npw\r\n", std::string(29, 'v'), "pw", ""},
                          Case{"ivan\npw\n0\n", "ivan", "pw", "0"}, Case{"ivan\r\npw\r\nten\r\n", "ivan", "pw", "ten"},
                          Case{"ivan\r\n", "ivan", "", ""}, Case{"%s%n%x\r\n100%\r\n%d\r\n", "%s%n%x", "100%", "%d"}}) {
        InProcessGate gate;
        Caller call(gate, 7);
        ASSERT_TRUE(call.Dial());
        gate.WriteRecord(c.record);
        // A record short of its third line is taken once it stayed so for a cycle.
        for (int k = 0; k < 2 && gate.WorkerRunning(); ++k) ASSERT_TRUE(gate.clock.Cycle());
        ASSERT_TRUE(gate.WaitWorkersGone()) << c.record;
        EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock(c.user, c.pass, c.limit) + DisconnectLines(" - ok"))
            << c.record;
        call.HangUp();
    }
}

// The caller hangs up after any number of cycles, on each path a connection
// can take: without a record, with a running limit, disconnected by a limit of
// 0, with an FTP login that is refused. The hang-up returns within its bound,
// nothing of the worker follows its lines, and nothing is left behind.
TEST(Hangup, AfterAnyCycleOfAnyPathEndsTheConnectionThere) {
    const char* records[] = {nullptr, "ivan\r\npw\r\n1\r\n", "ivan\r\npw\r\n0\r\n", "..\\bad\r\npw\r\n0\r\n"};
    for (const char* record : records) {
        for (int cycles : {0, 1, 2, 3, 11}) {
            const std::string what = std::string(record ? record : "(none)") + " after " + std::to_string(cycles);
            InProcessGate gate(1, "dg_no_such_service");
            Caller call(gate, 9);
            ASSERT_TRUE(call.Dial()) << what;
            if (record) gate.WriteRecord(record);
            for (int k = 0; k < cycles && gate.WorkerRunning(); ++k) ASSERT_TRUE(gate.clock.Cycle()) << what;
            const bool workerWasDone = !gate.WorkerRunning();
            const std::string before = gate.Log();
            EXPECT_LT(call.HangUp(), 2000.0) << what;
            ASSERT_TRUE(gate.WaitWorkersGone()) << what;
            EXPECT_EQ(gate.Log(), before + HangupLines(true)) << what;
            EXPECT_FALSE(Exists(gate.timeFile)) << what;
            EXPECT_FALSE(Exists(gate.users + "current.user")) << what;
            const int disconnects = gate.service.disconnects.load();
            EXPECT_EQ(disconnects, workerWasDone ? 1 : 0) << what;
        }
    }
}

TEST(FtpStep, AccountIsWrittenBetweenTheStopAndTheStart) {
    TestService ftp;
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    InProcessGate gate(1, ftp.Name(), 256);
    Caller call(gate, 30);
    ASSERT_TRUE(call.Dial());
    gate.WriteRecord("student\r\nsecret\r\n0\r\n");
    ASSERT_TRUE(gate.clock.Release());
    ASSERT_TRUE(gate.clock.CycleDone(30000));
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("student", "secret", "0") + kFtpLines + DisconnectLines(" - ok"));
    ASSERT_TRUE(WaitFor([&] { return EventMs(ftp, "running", 2) != 0; }, 10000)) << ftp.EventNames();
    // Stop requested, stopped, users.ini written, started again.
    const unsigned long long stopped = EventMs(ftp, "stopped"), written = LastWriteMs(gate.usersIni),
                             started = EventMs(ftp, "start", 2);
    EXPECT_LE(EventMs(ftp, "stop-requested"), stopped);
    EXPECT_LE(stopped, written + 20);  // file times may be coarser than the events'
    EXPECT_LE(written, started + 20);
    EXPECT_NE(ReadAll(gate.usersIni).find("RatioCredit=256\r\n"), std::string::npos) << ReadAll(gate.usersIni);
    call.HangUp();
    ServiceStop(ftp.Name());
}

TEST(FtpStep, RefusedLoginGetsALineAndNoAccount) {
    InProcessGate gate(1, "dg_no_such_service");
    Caller call(gate, 31);
    ASSERT_TRUE(call.Dial());
    gate.WriteRecord("..\\..\\windows\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("..\\..\\windows", "pw", "0") +
                              DatedLine("FTP сервер останавливается") +
                              DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") +
                              DatedLine("Аккаунт FTP не создан: недопустимый логин") +
                              DatedLine("FTP сервер запускается") + DisconnectLines(" - ok"));
    EXPECT_FALSE(Exists(gate.usersIni));
    call.HangUp();
}

TEST(FtpStep, HangupDuringTheStepLetsItFinish) {
    TestService ftp("--stop-delay-ms 2500");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    InProcessGate gate(1, ftp.Name());
    Caller call(gate, 32);
    ASSERT_TRUE(call.Dial());
    gate.WriteRecord("student\r\nsecret\r\n5\r\n");
    ASSERT_TRUE(gate.clock.Release());
    ASSERT_TRUE(gate.WaitLog("FTP сервер останавливается"));
    EXPECT_LT(call.HangUp(), 2000.0);
    ASSERT_TRUE(gate.WaitWorkersGone(20000));
    // The step's own lines follow the hang-up's; nothing else of the worker does.
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("student", "secret", "5") +
                              DatedLine("FTP сервер останавливается") + HangupLines(false) +
                              DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") +
                              DatedLine("FTP сервер запускается"));
    EXPECT_NE(ReadAll(gate.usersIni).find("RatioCredit=5000000\r\n"), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return EventMs(ftp, "running", 2) != 0; }, 10000)) << ftp.EventNames();
    EXPECT_FALSE(Exists(gate.timeFile));
    ServiceStop(ftp.Name());
}

namespace {

// A connection whose record has a limit of 0: the worker disconnects in its
// first cycle, and the test's client calls decide how the disconnect goes.
struct DisconnectingCall {
    InProcessGate gate;
    Caller call{gate, 40};
    void Start() {
        ASSERT_TRUE(call.Dial());
        gate.WriteRecord("ivan\r\npw\r\n0\r\n");
        ASSERT_TRUE(gate.clock.Release());
    }
    std::string Before(const char* upTo) const {
        std::string lines = kAccepted + kLinkUp + UserBlock("ivan", "pw", "0");
        for (const char* c : {"MprAdminServerConnect", "MprAdminPortClearStats", "MprAdminPortReset"}) {
            lines += DatedLine(std::string(c) + " - ok");
            if (std::string(c) == upTo) break;
        }
        return lines;
    }
};

}  // namespace

TEST(HangupAtDisconnect, SlowClientCallDoesNotHoldTheHangup) {
    DisconnectingCall t;
    UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    t.gate.service.onPortDisconnect = [&](HANDLE) { WaitForSingleObject(go.Get(), 10000); };
    t.Start();
    ASSERT_TRUE(WaitFor([&] { return t.gate.service.disconnects.load() == 1; }, 10000));
    EXPECT_LT(t.call.HangUp(), 2000.0);
    SetEvent(go.Get());  // the call returns only now
    ASSERT_TRUE(t.gate.WaitWorkersGone());
    EXPECT_EQ(t.gate.Log(), t.Before("MprAdminPortReset") + HangupLines(true));
    EXPECT_EQ(t.gate.service.serverDisconnects.load(), 1);
}

TEST(HangupAtDisconnect, DeliveredFromInsideTheWorkersOwnCall) {
    DisconnectingCall t;
    double took = -1;
    t.gate.service.onPortDisconnect = [&](HANDLE) { took = t.call.HangUp(); };
    t.Start();
    ASSERT_TRUE(t.gate.WaitWorkersGone());
    EXPECT_GE(took, 0.0);
    EXPECT_LT(took, 2000.0);
    EXPECT_EQ(t.gate.Log(), t.Before("MprAdminPortReset") + HangupLines(true));
    EXPECT_EQ(t.gate.service.serverDisconnects.load(), 1);
}

TEST(HangupAtDisconnect, DeliveredOnAnotherThreadWhileTheCallWaits) {
    DisconnectingCall t;
    double took = -1;
    t.gate.service.onPortDisconnect = [&](HANDLE) {
        std::thread service([&] { took = t.call.HangUp(); });
        service.join();
    };
    t.Start();
    ASSERT_TRUE(t.gate.WaitWorkersGone());
    EXPECT_GE(took, 0.0);
    EXPECT_LT(took, 2000.0);
    EXPECT_EQ(t.gate.Log(), t.Before("MprAdminPortReset") + HangupLines(true));
}

TEST(HangupAtDisconnect, DeliveredAfterTheCallReturns) {
    DisconnectingCall t;
    std::thread service;
    double took = -1;
    t.gate.service.onPortDisconnect = [&](HANDLE) { service = std::thread([&] { took = t.call.HangUp(); }); };
    t.Start();
    ASSERT_TRUE(WaitFor([&] { return t.gate.LogHas(kHungUp); }, 10000));
    service.join();
    ASSERT_TRUE(t.gate.WaitWorkersGone());
    EXPECT_GE(took, 0.0);
    EXPECT_LT(took, 2000.0);
    // The call returned at once: the hang-up waits for the disconnect step,
    // which is logged whole before the hang-up's lines.
    EXPECT_EQ(t.gate.Log(), t.Before("MprAdminPortReset") + DatedLine("MprAdminPortDisconnect - ok") +
                                DatedLine("Пользователь отключен по окончании лимита времени") +
                                DatedLine(kExitThread) + HangupLines(true));
}

TEST(SecondConnection, IsRefusedWhileTheFirstIsTimed) {
    InProcessGate gate;
    Caller first(gate, 50), second(gate, 51);
    ASSERT_TRUE(first.Dial());
    gate.WriteRecord("ivan\r\npw\r\n1\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    EXPECT_FALSE(second.Dial());
    // A hang-up of the other connection neither ends the worker nor clears its files.
    second.HangUp();
    EXPECT_TRUE(Exists(gate.users + "current.user"));
    // The refusal makes the worker ask the service, which still lists the first.
    ASSERT_TRUE(gate.clock.Cycle());
    EXPECT_EQ(gate.service.enumerations.load(), 1);
    EXPECT_EQ(ReadAll(gate.timeFile), TimeFileFor(59));
    first.HangUp();
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.Log(), kAccepted + kLinkUp + UserBlock("ivan", "pw", "1") +
                              DatedLine("Подключение отклонено: предыдущее соединение еще обслуживается") +
                              MarkedHangupLines(false) + HangupLines(true));
}

TEST(SecondConnection, LateHangupOfTheFirstLeavesTheNextCallerTimed) {
    InProcessGate gate;
    Caller first(gate, 52), next(gate, 53);
    ASSERT_TRUE(first.Dial());
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.LogHas(kExitThread));
    ASSERT_TRUE(next.Dial());  // before the first's hang-up arrives
    gate.WriteRecord("petr\r\npw\r\n1\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_EQ(ReadAll(gate.timeFile), TimeFileFor(60));
    first.HangUp();
    EXPECT_EQ(ReadAll(gate.users + "current.user"), "petr\r\npw\r\n1\r\n") << "the next caller lost his record";
    // Still the first's own end: not marked.
    EXPECT_EQ(gate.Log().find(MarkedHangupLines(false)), std::string::npos);
    EXPECT_NE(gate.Log().find(HangupLines(false)), std::string::npos);
    ASSERT_TRUE(gate.clock.Cycle()) << "the next caller's worker was ended";
    EXPECT_EQ(ReadAll(gate.timeFile), TimeFileFor(59));
    EXPECT_TRUE(gate.WorkerRunning());
    next.HangUp();
    EXPECT_FALSE(Exists(gate.timeFile));
}

namespace {

// Threads and handles of this process, counted so that Wine gives real
// numbers (its GetProcessHandleCount answers 0).
ProcessSample Sample() { return SampleProcess(GetCurrentProcess(), GetCurrentProcessId(), 0); }
size_t ThreadCount() { return Sample().threads; }
DWORD HandleCount() { return static_cast<DWORD>(Sample().handles); }

}  // namespace

// Hundreds of callers hanging up at random moments of workers running in real
// time (cycles of 50 ms): before their record, in the FTP step, around the
// disconnect, after it. Nothing may crash or hang, every hang-up returns
// within two seconds, and nothing is left behind.
TEST(Storm, FiveHundredConnectionsHangingUpAtRandom) {
    InProcessGate gate(1, "dg_no_such_service", 5000000, 50);
    std::mt19937 random(20261207);
    double worst = 0;
    size_t baseThreads = 0;
    DWORD baseHandles = 0;
    constexpr int kCalls = 500;
    for (int i = 0; i < kCalls; ++i) {
        Caller call(gate, 1000 + i);
        ASSERT_TRUE(call.Dial()) << "call " << i << " refused";
        switch (random() % 4) {
            case 0: break;  // hangs up before any record
            case 1: gate.WriteRecord("user" + std::to_string(i) + "\r\npw\r\n1\r\n"); break;
            case 2: gate.WriteRecord("user" + std::to_string(i) + "\r\npw\r\n0\r\n"); break;  // disconnected at once
            case 3: gate.WriteRecord("../bad\r\npw\r\n0\r\n"); break;
        }
        Sleep(random() % 120);
        worst = std::max(worst, call.HangUp());
        if (i == 0) {
            ASSERT_TRUE(gate.WaitWorkersGone());
            baseThreads = ThreadCount();
            baseHandles = HandleCount();
        }
    }
    EXPECT_LT(worst, 2000.0);
    // The workers are gone and their handles closed.
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= baseThreads; }, 5000))
        << ThreadCount() << " threads, " << baseThreads << " at the start";
    ASSERT_GT(baseHandles, 0u) << "handles cannot be counted";
    EXPECT_LE(HandleCount(), baseHandles + 5) << baseHandles << " handles at the start";
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.MostWorkers(), 1);
    // Every connection was accepted and hung up, each once.
    const std::string log = gate.Log();
    EXPECT_EQ(Occurrences(log, "Принято новое подключение"), static_cast<size_t>(kCalls));
    EXPECT_EQ(Occurrences(log, kHungUp), static_cast<size_t>(kCalls));
    std::printf("storm: %d calls, worst hang-up %.2f ms\n", kCalls, worst);
}

// Everything the service and the site may deliver, from several service
// threads at once, until 200 callers were accepted, with workers in real time
// (cycles of 50 ms): accepts, links (also of other connections), hang-ups
// (also duplicate, and late ones that come after the next caller's dial),
// records written in pieces, asks answered "more data", slow client calls,
// log lines of other callbacks. Never two workers; no running connection
// loses its record; a disconnect only ever resets an accepted caller's own
// port; no account with an empty or cut password; every line whole.
TEST(Overlap, ServiceThreadsDeliveringEverythingAtOnce) {
    InProcessGate gate(1, "dg_no_such_service", 5000000, 50);
    std::atomic<int> slowCalls{0};
    // Some client calls outlast the hang-up's patience with them.
    gate.service.onConnect = [&] {
        if (slowCalls++ % 3 == 0) Sleep(300);
    };
    constexpr int kThreads = 4, kAccepted = 200, kMostCallers = 6000, kFirstId = 10000;
    std::mutex lock;
    std::vector<std::string> failures;
    std::set<int> acceptedIds;
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> guard(lock);
        failures.push_back(what);
    };
    // A disconnect resets only the port of a caller who was accepted.
    gate.service.onPortDisconnect = [&](HANDLE port) {
        const int id = static_cast<int>(reinterpret_cast<uintptr_t>(port)) - 0x1000;
        std::lock_guard<std::mutex> guard(lock);
        if (!acceptedIds.count(id)) failures.push_back("the port of another connection was reset: " + std::to_string(id));
    };
    // Now and then the service cannot finish its answers for a while.
    std::atomic<bool> calm{false};
    std::thread moody([&] {
        std::mt19937 random(7);
        while (!calm) {
            gate.service.enumAnswer = random() % 4 == 0 ? ERROR_MORE_DATA : NO_ERROR;
            Sleep(20);
        }
        gate.service.enumAnswer = NO_ERROR;
    });

    std::atomic<int> nextCaller{0}, accepted{0}, refused{0}, hangups{0}, otherLines{0};
    const std::string record = gate.users + "current.user";
    auto serviceThread = [&](unsigned seed) {
        std::mt19937 random(seed);
        std::unique_ptr<Caller> late;  // hung up only after the next dial
        for (int n; accepted < kAccepted && (n = nextCaller++) < kMostCallers;) {
            const int id = kFirstId + n;
            auto call = std::make_unique<Caller>(gate, id);
            call->c0.dwConnectDuration = static_cast<DWORD>(id);
            call->c1.dwBytesRcved = static_cast<DWORD>(id) * 3;
            call->c1.dwBytesXmited = static_cast<DWORD>(id) * 5;
            if (random() % 4 == 0) {
                // What the address callbacks write, from yet another moment.
                LogWrite(log_text::kIpRequested, true);
                ++otherLines;
            }
            bool in = false;
            {
                std::lock_guard<std::mutex> guard(lock);
                acceptedIds.insert(id);  // taken back below if refused
            }
            in = call->Dial() != FALSE;
            if (!in) {
                std::lock_guard<std::mutex> guard(lock);
                acceptedIds.erase(id);
            }
            (in ? accepted : refused)++;
            if (late) {
                late->HangUp();
                ++hangups;
                late.reset();
            }
            if (random() % 3 == 0) {
                // A link of another connection, or of this caller when refused.
                RAS_PORT_0 other = call->p0;
                if (in) {
                    other.hConnection = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(900000 + n));
                    other.hPort = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x900000 + n));
                }
                AcceptLink(&other);
            }
            if (in) {
                const std::string login = "u" + std::to_string(id);
                const std::string whole = login + "\r\np" + std::to_string(id) + "secret\r\n" +
                                          (random() % 3 != 0 ? "1" : "0") + "\r\n";
                const bool staying = whole[whole.size() - 3] == '1';
                const bool registers = random() % 4 != 0;
                if (registers) {
                    // Written in pieces now and then, as a site may write it. A
                    // piece never ends with a line end: a whole first line and
                    // nothing more is a record of its own (limit 0).
                    if (random() % 2 == 0) {
                        size_t cut = 1 + random() % (whole.size() - 4);
                        while (whole[cut - 1] == '\n') --cut;
                        gate.WriteRecord(whole.substr(0, cut));
                        Sleep(random() % 60);
                    }
                    gate.WriteRecord(whole);
                }
                Sleep(random() % 150);
                if (registers && staying && ReadAll(record).rfind(login + "\r\n", 0) != 0)
                    fail("the record of running connection " + login + " was replaced or deleted");
                if (random() % 6 == 0) {
                    late = std::move(call);
                    continue;
                }
            } else {
                Sleep(10 + random() % 30);  // the caller redials
            }
            call->HangUp();
            ++hangups;
            if (random() % 5 == 0) {
                ConnectionHangup(&call->c0, &call->c1);  // delivered twice
                ++hangups;
            }
        }
        if (late) {
            late->HangUp();
            ++hangups;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(serviceThread, 20261208u + t);
    for (std::thread& t : threads) t.join();
    calm = true;
    moody.join();
    ASSERT_TRUE(gate.WaitWorkersGone());

    for (const std::string& f : failures) ADD_FAILURE() << f;
    EXPECT_EQ(gate.MostWorkers(), 1) << "workers at once";
    EXPECT_GE(accepted.load(), kAccepted);
    EXPECT_EQ(accepted + refused, std::min(nextCaller.load(), kMostCallers));

    // Every account has its caller's whole password.
    size_t sections = 0;
    std::string login;
    const std::string ini = ReadAll(gate.usersIni);
    for (size_t at = 0, end; (end = ini.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = ini.substr(at, end - at);
        if (line.rfind("[u", 0) == 0) {
            login = line.substr(1, line.size() - 2);
            ++sections;
        } else if (line.rfind("Pass=", 0) == 0) {
            EXPECT_EQ(line, "Pass=p" + login.substr(1) + "secret") << login;
        }
    }
    EXPECT_GT(sections, 0u) << "no account was written";

    // Every line is whole and counted: each accepted caller got a worker, each
    // refused one the refusal, each hang-up its closing line.
    const std::string log = gate.Log();
    EXPECT_EQ(Occurrences(log, DatedLine("Принято новое подключение")), static_cast<size_t>(accepted.load()));
    EXPECT_EQ(Occurrences(log, DatedLine("***Поток таймера запущен***")), static_cast<size_t>(accepted.load()));
    EXPECT_EQ(Occurrences(log, DatedLine("Подключение отклонено: предыдущее соединение еще обслуживается")),
              static_cast<size_t>(refused.load()));
    // A worker may find its connection gone first, when the service thread
    // that removed it is held before its hang-up: that ending has the line too.
    const size_t gone = Occurrences(log, DatedLine("Соединение не найдено службой: поток завершается"));
    EXPECT_EQ(Occurrences(log, DatedLine(kHungUp)), static_cast<size_t>(hangups.load()) + gone);
    EXPECT_EQ(Occurrences(log, DatedLine(log_text::kIpRequested)), static_cast<size_t>(otherLines.load()));
    size_t lineStart = 0;
    for (size_t end; (end = log.find("\r\n", lineStart)) != std::string::npos; lineStart = end + 2) {
        const std::string line = log.substr(lineStart, end - lineStart);
        const bool dated = line.rfind("[" + TodayShortDate() + "] : [T] - ", 0) == 0;
        if ((!dated && !line.empty()) || Occurrences(line, "] : [T] - ") > (dated ? 1u : 0u))
            ADD_FAILURE() << "torn line: " << line;
    }
    EXPECT_EQ(lineStart, log.size()) << "the log ends inside a line";
    // The day's report built from this log: one row per accepted caller, each
    // with his own login and figures (the duration and bytes his hang-up gave).
    std::set<int> rowIds;
    size_t goneRows = 0;
    for (const ConnectionRow& row : ReadConnectionReport(ReadAll(gate.logs + TodayShortDate() + "_log.txt"))) {
        if (row.ending == ConnectionEnding::Refused) continue;
        if (row.ending == ConnectionEnding::FoundGone) {
            // The worker's own ending: its seconds, no bytes.
            ++goneRows;
            EXPECT_FALSE(row.hasBytes) << row.login;
            continue;
        }
        const int id = static_cast<int>(row.durationSeconds);
        EXPECT_TRUE(acceptedIds.count(id) && rowIds.insert(id).second)
            << "a row with no accepted caller's own figures: " << row.dialTime << " " << row.login << " " << id;
        EXPECT_TRUE(row.login.empty() || row.login == "u" + std::to_string(id)) << row.login << " " << id;
        EXPECT_EQ(row.bytesReceived, static_cast<uint32_t>(id) * 3) << id;
        EXPECT_EQ(row.bytesSent, static_cast<uint32_t>(id) * 5) << id;
        EXPECT_FALSE(row.figuresMixed) << id;
    }
    EXPECT_EQ(goneRows, gone);
    EXPECT_EQ(rowIds.size() + goneRows, acceptedIds.size());
    std::printf("overlap storm: %d accepted, %d refused, %d hang-ups, %d other lines, %zu accounts, %zu found gone\n",
                accepted.load(), refused.load(), hangups.load(), otherLines.load(), sections, gone);
}

namespace {

HANDLE PortId(uintptr_t id) { return reinterpret_cast<HANDLE>(id); }

}  // namespace

// At the limit every link of the timed connection is disconnected, and no
// link the service reported for another connection.
TEST(Disconnect, EveryPortOfTheTimedConnectionAndNoOther) {
    InProcessGate gate;
    Caller first(gate, 60), second(gate, 61);
    ASSERT_TRUE(first.Dial());
    RAS_PORT_0 secondLink = first.p0;  // a multilink caller's second line
    secondLink.hPort = PortId(0x6061);
    AcceptLink(&secondLink);
    gate.service.AddConnection(first.c0.hConnection, {first.p0.hPort, secondLink.hPort});
    EXPECT_FALSE(second.Dial());
    AcceptLink(&second.p0);  // the refused caller's link, reported all the same
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.service.DisconnectedPorts(), (std::set<HANDLE>{first.p0.hPort, secondLink.hPort}));
}

// A multilink caller's extra line drops and comes back on other ports: at the
// limit the ports in use are disconnected, none that went down, whether or
// not the service can list them.
TEST(Disconnect, ThePortsInUseAfterLinksCameAndWent) {
    for (DWORD answer : {DWORD{NO_ERROR}, DWORD{ERROR_SERVICE_NOT_ACTIVE}}) {
        InProcessGate gate;
        Caller call(gate, 67);
        ASSERT_TRUE(call.Dial());
        RAS_PORT_0 link = call.p0;
        for (uintptr_t port = 0x6401; port <= 0x6409; ++port) {
            if (port > 0x6401) LinkHangup(&link);
            link.hPort = PortId(port);
            AcceptLink(&link);
        }
        gate.service.AddConnection(call.c0.hConnection, {call.p0.hPort, link.hPort});
        gate.service.enumAnswer = answer;
        gate.WriteRecord("ivan\r\npw\r\n0\r\n");
        ASSERT_TRUE(gate.clock.Cycle());
        ASSERT_TRUE(gate.WaitWorkersGone());
        EXPECT_EQ(gate.service.DisconnectedPorts(), (std::set<HANDLE>{call.p0.hPort, link.hPort})) << answer;
    }
}

// A worker that reaches its limit before its own link came never resets the
// port of the connection before it.
TEST(Disconnect, BeforeItsOwnLinkTouchesNoOtherConnectionsPort) {
    {
        InProcessGate earlier;
        Caller call(earlier, 62);
        ASSERT_TRUE(call.Dial());
    }
    InProcessGate gate(0);  // no registration window: the limit is reached at once
    Caller call(gate, 63);
    gate.service.AddConnection(call.c0.hConnection);
    ASSERT_TRUE(AcceptConnection(&call.c0));
    ++gate.accepted;
    ASSERT_TRUE(gate.WaitWorkersGone());
    EXPECT_EQ(gate.service.DisconnectedPorts().count(PortId(62 + 0x1000)), 0u);
    call.HangUp();
}

// The site has created the record but not written it whole: the worker
// waits for the rest instead of taking an empty limit or a cut password.
TEST(Record, AFileTheSiteIsStillWritingIsNotYetTheRecord) {
    InProcessGate gate(2, "dg_no_such_service");
    Caller call(gate, 64);
    ASSERT_TRUE(call.Dial());
    for (const char* piece : {"", "stud", "student\r\nsec"}) {
        gate.WriteRecord(piece);
        ASSERT_TRUE(gate.clock.Cycle()) << piece;
        EXPECT_EQ(gate.service.disconnects.load(), 0) << piece;
        EXPECT_FALSE(gate.LogHas(">USER:")) << piece;
        EXPECT_FALSE(Exists(gate.usersIni)) << piece;
    }
    gate.WriteRecord("student\r\nsecret\r\n5\r\n");
    ASSERT_TRUE(gate.clock.Cycle());
    EXPECT_TRUE(gate.LogHas(">LIMIT: 5"));
    EXPECT_NE(ReadAll(gate.usersIni).find("Pass=secret\r\n"), std::string::npos) << ReadAll(gate.usersIni);
}

// A caller hangs up while his acceptance waits for the worker before him to
// go: his acceptance is refused and starts no worker.
TEST(Overlap, AHangupWhileItsAcceptanceWaitsIsNotLost) {
    InProcessGate gate;
    UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    gate.service.onPortDisconnect = [&](HANDLE) { WaitForSingleObject(go.Get(), 10000); };
    Caller a(gate, 65), b(gate, 66);
    ASSERT_TRUE(a.Dial());
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.clock.Release());
    ASSERT_TRUE(WaitFor([&] { return gate.service.disconnects.load() == 1; }, 5000));
    a.HangUp();  // ends the worker by the grace; its thread is still in the call
    std::atomic<int> bIn{-1};
    std::thread service([&] { bIn = b.Dial(); });  // waits for a's thread to go
    // Aimed at the acceptance's wait; a hang-up that overtakes the
    // acceptance sooner must end the same way.
    Sleep(200);
    b.HangUp();  // on another service thread
    SetEvent(go.Get());  // a's thread ends inside b's wait
    service.join();
    EXPECT_EQ(bIn.load(), FALSE);
    EXPECT_TRUE(gate.WaitWorkersGone(5000)) << "a worker times a connection already hung up";
}

// A hang-up that belongs to no connection timed here says so before its
// lines: a late duplicate, and the service's own hang-up of a connection
// whose worker found it gone already.
TEST(Hangup, ThatBelongsToNoTimedConnectionIsMarked) {
    InProcessGate gate;
    Caller a(gate, 70), b(gate, 71);
    ASSERT_TRUE(a.Dial());
    a.HangUp();
    ASSERT_TRUE(b.Dial());
    std::string before = gate.Log();
    ConnectionHangup(&a.c0, &a.c1);
    EXPECT_EQ(gate.Log(), before + MarkedHangupLines(false));
    // b's connection vanishes from the service without a hang-up; the worker
    // finds it gone, then the service's late hang-up comes.
    gate.service.RemoveConnection(b.c0.hConnection);
    for (int k = 0; k < 12 && gate.WorkerRunning(); ++k) ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.WaitWorkersGone());
    before = gate.Log();
    b.HangUp();
    EXPECT_EQ(gate.Log(), before + MarkedHangupLines(true));
}

// A hang-up the plug-in cannot place, of a connection never offered here,
// refuses no later caller whose connection gets the same handle.
TEST(Hangup, ThatCannotBePlacedRefusesNoLaterCaller) {
    InProcessGate gate;
    Caller call(gate, 72);
    ConnectionHangup(&call.c0, &call.c1);
    EXPECT_TRUE(call.Dial());
}

// An event that the worker's line raises is reported with no lock held that
// the hang-up waits for: the hang-up returns while it is being reported.
TEST(Hangup, DoesNotWaitForAnEventTheWorkerReports) {
    InProcessGate gate;
    Caller call(gate, 74);
    ASSERT_TRUE(call.Dial());
    HangupWhileAnEventIsReported hangup(call);
    gate.WriteRecord("ivan\r\npw\r\n5\r\n");
    ASSERT_TRUE(gate.clock.Release());
    ASSERT_TRUE(Signalled(hangup.reported, 10000));
    EXPECT_TRUE(hangup.returnedMeanwhile) << "the hang-up waited for the worker's event";
}

// A hang-up while its caller's acceptance writes its lines: the log agrees
// with the answer the service got, whichever it is.
TEST(HangupDuringAcceptance, TheLogAgreesWithTheAnswer) {
    InProcessGate gate;
    Caller call(gate, 75);
    HangupWhileAnEventIsReported hangup(call);
    gate.service.AddConnection(call.c0.hConnection);
    const BOOL accepted = AcceptConnection(&call.c0);
    gate.accepted += accepted;
    ASSERT_TRUE(Signalled(hangup.reported, 10000));
    EXPECT_TRUE(hangup.returnedMeanwhile) << "the hang-up waited for the acceptance's event";
    EXPECT_EQ(gate.Log(), accepted ? kAccepted + HangupLines(true)
                                   : MarkedHangupLines(true) + DatedLine(log_text::kAcceptedAfterHangup));
}

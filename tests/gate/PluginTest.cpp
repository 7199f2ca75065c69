// Whole connections through the real plug-in (the fast-cycle build, 50 ms a
// cycle): the callbacks' lines and results, the countdown, the caller's record,
// the disconnect, and hang-ups at every moment of a connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "ExpectedLines.h"
#include "GateFixture.h"
#include "GateSoak.h"
#include "Services.h"
#include "TestService.h"


TEST(Callbacks, EachLogsItsLinesAndAnswers) {
    GateInstall gate;
    ASSERT_TRUE(gate.plugin->Loaded());
    DWORD address = 0x0a000001;
    BOOL notify = 7;
    EXPECT_EQ(gate.plugin->GetIpAddress(&address, &notify), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(address, 0x0a000001u);
    EXPECT_EQ(notify, 7);
    gate.plugin->ReleaseIpAddress(&address);

    Call call(1);
    call.c0.dwConnectDuration = 125;
    call.c1.dwBytesRcved = 10240;
    call.c1.dwBytesXmited = 2048;
    EXPECT_TRUE(call.Dial(*gate.plugin));
    call.HangUp(*gate.plugin);
    EXPECT_EQ(gate.Tail(), DatedLine("Запрос IP адреса для пользователя") + DatedLine("Освобождение IP адреса") +
                               kAccepted + kLinkUp + kLinkDown + HangupLines(true, 125, 10240, 2048));
}

TEST(Callbacks, HangupWithoutWorkerStillClearsAndCounts) {
    GateInstall gate;
    gate.WriteRecord("ivan\r\npw\r\n5\r\n");
    WriteAll(gate.timeFile, "17\r\n\r\n");
    Call call(2);
    call.c0.dwConnectDuration = 3;
    gate.plugin->ConnectionHangup(&call.c0, &call.c1);
    EXPECT_EQ(gate.Tail(), HangupLines(false, 3));
    EXPECT_FALSE(Exists(gate.users + "current.user"));
    EXPECT_FALSE(Exists(gate.timeFile));
}

TEST(Callbacks, TerminateDuringAConnectionLeavesItAlone) {
    GateInstall gate;
    Call call(3);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    ASSERT_TRUE(WaitFor([&] { return Exists(gate.timeFile); }, 5000));
    EXPECT_EQ(gate.plugin->Terminate(), static_cast<DWORD>(NO_ERROR));
    const std::string before = ReadAll(gate.timeFile);
    ASSERT_TRUE(WaitFor([&] { return ReadAll(gate.timeFile) != before; }, 5000)) << "the worker stopped counting";
    call.HangUp(*gate.plugin);
}

TEST(Countdown, WindowRunsOutThenThePortIsDisconnected) {
    GateInstall gate;
    FakeRas ras;
    ras.Install();
    ASSERT_TRUE(ras.Installed());
    Call call(4);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(call.Dial(*gate.plugin));
    std::vector<int> seen;
    while (!gate.LogHas(kExitThread) && GetTickCount64() - start < 15000) {
        const int value = atoi(ReadAll(gate.timeFile).c_str());
        if (value > 0 && (seen.empty() || seen.back() != value)) seen.push_back(value);
        Sleep(5);
    }
    const ULONGLONG took = GetTickCount64() - start;
    ASSERT_TRUE(gate.LogHas(kExitThread));
    const int last = atoi(ReadAll(gate.timeFile).c_str());
    if (seen.empty() || seen.back() != last) seen.push_back(last);
    // Sixty cycles of 50 ms, counted down to 1, which stays in the file.
    EXPECT_GE(took, 2900u);
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.front(), 55);
    EXPECT_LE(seen.front(), 60);
    EXPECT_EQ(seen.back(), 1);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i], seen[i - 1]);
    EXPECT_GE(seen.size(), 40u);
    EXPECT_EQ(ReadAll(gate.timeFile), "1\r\n\r\n");
    EXPECT_EQ(ras.lastPort.load(), call.p0.hPort);
    EXPECT_EQ(ras.serverDisconnects.load(), 1);

    EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp + DisconnectLines(" - ok"));
    call.HangUp(*gate.plugin);
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp + DisconnectLines(" - ok") + kLinkDown + HangupLines(true));
}

TEST(Countdown, FailedClientCallsAreLoggedAndEveryStepStillRuns) {
    GateInstall gate("TIME_FOR_REG=0\r\nSHOW_VARS=0\r\n");
    // No remote-access service answers: every call fails, and with no window
    // the worker disconnects before any link is up.
    Call call(5);
    ASSERT_TRUE(gate.plugin->AcceptConnection(&call.c0, &call.c1));
    ASSERT_TRUE(gate.WaitLog(kExitThread));
    EXPECT_EQ(gate.Tail(), kAccepted + DisconnectLines(" - false"));
    EXPECT_FALSE(Exists(gate.timeFile));  // no cycle ran
    call.HangUp(*gate.plugin);
}

TEST(Record, ArrivingRecordSetsTheLimitFromTheStart) {
    GateInstall gate("TIME_FOR_REG=2\r\nSHOW_VARS=0\r\n");
    FakeRas ras;
    ras.Install();
    Call call(6);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(call.Dial(*gate.plugin));
    // Some cycles of the registration window pass first.
    ASSERT_TRUE(WaitFor([&] { return atoi(ReadAll(gate.timeFile).c_str()) <= 110 && Exists(gate.timeFile); }, 5000));
    gate.WriteRecord("ivan\r\nsecret\r\n1\r\nИван\r\n");
    ASSERT_TRUE(WaitFor([&] { return gate.LogHas(">USER: ivan"); }, 5000));
    // From the next cycle on the count is the caller's minute, from the start.
    ASSERT_TRUE(WaitFor([&] { return atoi(ReadAll(gate.timeFile).c_str()) < 60; }, 2000));
    ASSERT_TRUE(gate.WaitLog(kExitThread));
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 2900u);
    EXPECT_LT(took, 5500u);  // well before the two-minute window's 120 cycles
    EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp + UserBlock("ivan", "secret", "1") + DisconnectLines(" - ok"));
    // A later change of the record has no effect on this connection.
    call.HangUp(*gate.plugin);
}

TEST(Record, OutOfFormatRecordsAreReadByTheBounds) {
    struct Case {
        std::string record;
        std::string user, pass, limit;
    };
    const std::string u29(29, 'u');
    for (const Case& c : {Case{u29 + "\r\nsecret\r\n1\r\n", u29, "", "secr"},
                          Case{std::string(35, 'v') + "\r\npw\r\n", std::string(29, 'v'), "vvvvvv", "pw"},
                          Case{"ivan\npw\n0\n", "ivan", "pw", "0"}, Case{"ivan\r\npw\r\nten\r\n", "ivan", "pw", "ten"},
                          Case{"ivan\r\n", "ivan", "", ""}}) {
        GateInstall gate;
        Call call(7);
        ASSERT_TRUE(call.Dial(*gate.plugin));
        gate.WriteRecord(c.record);
        // A limit that is no number, or too small, ends the connection with that cycle.
        ASSERT_TRUE(gate.WaitLog(kExitThread, 3000)) << c.record;
        EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp + UserBlock(c.user, c.pass, c.limit) + DisconnectLines(" - false"))
            << c.record;
        call.HangUp(*gate.plugin);
    }
}

TEST(Record, CallerTextsReachTheLogLiterally) {
    GateInstall gate;
    Call call(8);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("%s%n%x\r\n100%\r\n%d\r\n");
    ASSERT_TRUE(gate.WaitLog(kExitThread, 3000));
    EXPECT_NE(gate.Log().find(UserBlock("%s%n%x", "100%", "%d")), std::string::npos) << gate.Log();
    call.HangUp(*gate.plugin);
}

TEST(Hangup, DuringTheCountdownTheWorkerStopsAtOnce) {
    GateInstall gate;
    FakeRas ras;
    ras.Install();
    Call call(9);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    ASSERT_TRUE(WaitFor([&] { return atoi(ReadAll(gate.timeFile).c_str()) <= 55 && Exists(gate.timeFile); }, 5000));
    EXPECT_LT(call.HangUp(*gate.plugin), 2000.0);
    const std::string after = gate.Tail();
    EXPECT_EQ(after, kAccepted + kLinkUp + kLinkDown + HangupLines(true));
    Sleep(300);  // six cycles
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.Tail(), after);
    EXPECT_EQ(ras.connects.load(), 0);
}


TEST(FtpStep, AccountIsWrittenBetweenTheStopAndTheStart) {
    TestService ftp;
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions(ftp.Name(), "FTP_DEFAULT_CREDIT=0x100\r\n"));
    FakeRas ras;
    ras.Install();
    Call call(30);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("student\r\nsecret\r\n0\r\n");
    ASSERT_TRUE(gate.WaitLog(kExitThread, 20000));
    EXPECT_EQ(gate.Tail(),
              kAccepted + kLinkUp + UserBlock("student", "secret", "0") + kFtpLines + DisconnectLines(" - ok"));
    ASSERT_TRUE(WaitFor([&] { return EventMs(ftp, "running", 2) != 0; }, 10000)) << ftp.EventNames();
    // Stop requested, stopped, users.ini written, started again.
    const unsigned long long stopped = EventMs(ftp, "stopped"), written = LastWriteMs(gate.usersIni),
                             started = EventMs(ftp, "start", 2);
    EXPECT_LE(EventMs(ftp, "stop-requested"), stopped);
    EXPECT_LE(stopped, written + 20);  // file times may be coarser than the events'
    EXPECT_LE(written, started + 20);
    EXPECT_NE(ReadAll(gate.usersIni).find("RatioCredit=256\r\n"), std::string::npos) << ReadAll(gate.usersIni);
    call.HangUp(*gate.plugin);
    ServiceStop(ftp.Name());
}

TEST(FtpStep, RefusedLoginGetsALineAndNoAccount) {
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions("dg_no_such_service"));
    Call call(31);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("..\\..\\windows\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.WaitLog(kExitThread, 5000));
    EXPECT_NE(gate.Log().find(DatedLine("FTP сервер останавливается") +
                              DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") +
                              DatedLine("Аккаунт FTP не создан: недопустимый логин") +
                              DatedLine("FTP сервер запускается")),
              std::string::npos)
        << gate.Log();
    EXPECT_FALSE(Exists(gate.usersIni));
    call.HangUp(*gate.plugin);
}

TEST(FtpStep, HangupDuringTheStepLetsItFinish) {
    TestService ftp("--stop-delay-ms 2500");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions(ftp.Name()));
    Call call(32);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("student\r\nsecret\r\n5\r\n");
    ASSERT_TRUE(gate.WaitLog("FTP сервер останавливается", 5000));
    const double took = call.HangUp(*gate.plugin);
    EXPECT_LT(took, 2000.0);
    ASSERT_TRUE(gate.WaitLog("FTP сервер запускается", 15000));
    const std::string tail = gate.Tail();
    // The step's own lines follow the hang-up's; nothing else of the worker does.
    EXPECT_EQ(tail, kAccepted + kLinkUp + UserBlock("student", "secret", "5") +
                        DatedLine("FTP сервер останавливается") + kLinkDown + HangupLines(false) +
                        DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") +
                        DatedLine("FTP сервер запускается"));
    EXPECT_NE(ReadAll(gate.usersIni).find("RatioCredit=5000000\r\n"), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return EventMs(ftp, "running", 2) != 0; }, 10000)) << ftp.EventNames();
    Sleep(200);
    EXPECT_EQ(gate.Tail(), tail);
    EXPECT_FALSE(Exists(gate.timeFile));
    ServiceStop(ftp.Name());
}

namespace {

// A connection whose record has a limit of 0: the worker disconnects in the
// cycle that reads it, and the test hooks decide how the disconnect goes.
struct DisconnectingCall {
    GateInstall gate;
    FakeRas ras;
    Call call{40};
    DisconnectingCall() { ras.Install(); }
    void Start() {
        call.Dial(*gate.plugin);
        gate.WriteRecord("ivan\r\npw\r\n0\r\n");
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
    t.ras.onPortDisconnect = [](HANDLE) { Sleep(3000); };
    t.Start();
    ASSERT_TRUE(WaitFor([&] { return t.ras.disconnects.load() == 1; }, 5000));
    const double took = t.call.HangUp(*t.gate.plugin);
    EXPECT_LT(took, 2000.0);
    Sleep(3500);  // the call returns meanwhile
    EXPECT_EQ(t.gate.Tail(), t.Before("MprAdminPortReset") + kLinkDown + HangupLines(true));
    EXPECT_EQ(t.ras.serverDisconnects.load(), 1);
}

TEST(HangupAtDisconnect, DeliveredFromInsideTheWorkersOwnCall) {
    DisconnectingCall t;
    double took = -1;
    t.ras.onPortDisconnect = [&](HANDLE) { took = t.call.HangUp(*t.gate.plugin); };
    t.Start();
    ASSERT_TRUE(t.gate.WaitLog(kHungUp, 5000));
    Sleep(300);
    EXPECT_GE(took, 0.0);
    EXPECT_LT(took, 2000.0);
    EXPECT_EQ(t.gate.Tail(), t.Before("MprAdminPortReset") + kLinkDown + HangupLines(true));
    EXPECT_EQ(t.ras.serverDisconnects.load(), 1);
}

TEST(HangupAtDisconnect, DeliveredOnAnotherThreadWhileTheCallWaits) {
    DisconnectingCall t;
    double took = -1;
    t.ras.onPortDisconnect = [&](HANDLE) {
        std::thread service([&] { took = t.call.HangUp(*t.gate.plugin); });
        service.join();
    };
    t.Start();
    ASSERT_TRUE(t.gate.WaitLog(kHungUp, 5000));
    Sleep(300);
    EXPECT_LT(took, 2000.0);
    EXPECT_EQ(t.gate.Tail(), t.Before("MprAdminPortReset") + kLinkDown + HangupLines(true));
}

TEST(HangupAtDisconnect, DeliveredAfterTheCallReturns) {
    DisconnectingCall t;
    std::thread service;
    double took = -1;
    t.ras.onPortDisconnect = [&](HANDLE) { service = std::thread([&] { took = t.call.HangUp(*t.gate.plugin); }); };
    t.Start();
    ASSERT_TRUE(t.gate.WaitLog(kHungUp, 5000));
    service.join();
    Sleep(200);
    EXPECT_LT(took, 2000.0);
    // The call returned at once: the worker's disconnect is logged whole, before
    // the connection's hang-up, and nothing of it after. (The link's hang-up
    // line may fall anywhere: it does not wait for the worker.)
    std::string tail = t.gate.Tail();
    const size_t link = tail.find(kLinkDown);
    ASSERT_NE(link, std::string::npos) << tail;
    tail.erase(link, kLinkDown.size());
    EXPECT_EQ(tail, t.Before("MprAdminPortReset") + DatedLine("MprAdminPortDisconnect - ok") +
                        DatedLine("Пользователь отключен по окончании лимита времени") + DatedLine(kExitThread) +
                        HangupLines(true));
}

TEST(SecondConnection, IsRefusedWhileTheFirstIsTimed) {
    GateInstall gate;
    Call first(50), second(51);
    ASSERT_TRUE(first.Dial(*gate.plugin));
    ASSERT_TRUE(WaitFor([&] { return Exists(gate.timeFile); }, 3000));
    EXPECT_FALSE(second.Dial(*gate.plugin));
    // A hang-up of the other connection neither ends the worker nor clears its files.
    second.HangUp(*gate.plugin);
    const std::string before = ReadAll(gate.timeFile);
    EXPECT_TRUE(WaitFor([&] { return Exists(gate.timeFile) && ReadAll(gate.timeFile) != before; }, 3000));
    first.HangUp(*gate.plugin);
    EXPECT_FALSE(Exists(gate.timeFile));
    EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp +
                               DatedLine("Подключение отклонено: предыдущее соединение ещё обслуживается") +
                               kLinkDown + HangupLines(false) + kLinkDown + HangupLines(true));
}

TEST(SecondConnection, LateHangupOfTheFirstLeavesTheNextCallerTimed) {
    GateInstall gate;
    Call first(52), next(53);
    ASSERT_TRUE(first.Dial(*gate.plugin));
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.WaitLog(kExitThread, 5000));
    ASSERT_TRUE(next.Dial(*gate.plugin));  // before the first's hang-up arrives
    ASSERT_TRUE(WaitFor([&] { return Exists(gate.timeFile); }, 3000));
    first.HangUp(*gate.plugin);
    EXPECT_NE(gate.Log().find(kLinkDown + HangupLines(false)), std::string::npos);
    const std::string before = ReadAll(gate.timeFile);
    EXPECT_TRUE(WaitFor([&] { return Exists(gate.timeFile) && ReadAll(gate.timeFile) != before; }, 3000))
        << "the next caller's worker was ended";
    next.HangUp(*gate.plugin);
    EXPECT_FALSE(Exists(gate.timeFile));
}

namespace {

// Threads and handles of this process, counted so that Wine gives real
// numbers (its GetProcessHandleCount answers 0).
ProcessSample Sample() { return SampleProcess(GetCurrentProcess(), GetCurrentProcessId(), 0); }
size_t ThreadCount() { return Sample().threads; }
DWORD HandleCount() { return static_cast<DWORD>(Sample().handles); }

}  // namespace

// Hundreds of callers hanging up at random moments: before their record, in
// the FTP step, around the disconnect, after it. Nothing may crash or hang,
// every hang-up returns within two seconds, and nothing is left behind.
TEST(Storm, FiveHundredConnectionsHangingUpAtRandom) {
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions("dg_no_such_service"));
    FakeRas ras;
    ras.Install();
    std::vector<std::thread> lateHangups;
    srand(20261207);
    double worst = 0;
    size_t baseThreads = 0;
    DWORD baseHandles = 0;
    constexpr int kCalls = 500;
    for (int i = 0; i < kCalls; ++i) {
        Call call(1000 + i);
        ASSERT_TRUE(call.Dial(*gate.plugin)) << "call " << i << " refused";
        switch (rand() % 4) {
            case 0: break;  // hangs up before any record
            case 1: gate.WriteRecord("user" + std::to_string(i) + "\r\npw\r\n1\r\n"); break;
            case 2: gate.WriteRecord("user" + std::to_string(i) + "\r\npw\r\n0\r\n"); break;  // disconnected at once
            case 3: gate.WriteRecord("../bad\r\npw\r\n0\r\n"); break;
        }
        Sleep(rand() % 120);
        worst = std::max(worst, call.HangUp(*gate.plugin));
        if (i == 0) {
            Sleep(100);
            baseThreads = ThreadCount();
            baseHandles = HandleCount();
        }
    }
    EXPECT_LT(worst, 2000.0);
    // The workers are gone and their handles closed.
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= baseThreads; }, 5000))
        << ThreadCount() << " threads, " << baseThreads << " at the start";
    ASSERT_GT(baseHandles, 0u) << "handles cannot be counted";
    EXPECT_LE(HandleCount(), baseHandles + 5) << baseHandles << " handles at the start";
    EXPECT_FALSE(Exists(gate.timeFile));
    // Every connection was accepted and hung up, each once.
    const std::string log = gate.Log();
    size_t accepted = 0, hungUp = 0;
    for (size_t p = 0; (p = log.find("Принято новое подключение", p)) != std::string::npos; ++p) ++accepted;
    for (size_t p = 0; (p = log.find(kHungUp, p)) != std::string::npos; ++p) ++hungUp;
    EXPECT_EQ(accepted, static_cast<size_t>(kCalls));
    EXPECT_EQ(hungUp, static_cast<size_t>(kCalls));
    std::printf("storm: %d calls, worst hang-up %.2f ms\n", kCalls, worst);
}

// The shipped build (a cycle of one second) on its short paths.
TEST(ShippedBuild, NoWindowDisconnectsAtOnce) {
    GateInstall gate("TIME_FOR_REG=0\r\nSHOW_VARS=0\r\n", "FTP_ACCOUNTING_ENABLED=0\r\n", false);
    FakeRas ras;
    ras.Install();
    Call call(60);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    ASSERT_TRUE(gate.WaitLog(kExitThread, 3000));
    EXPECT_FALSE(Exists(gate.timeFile));
    call.HangUp(*gate.plugin);
}

TEST(ShippedBuild, RecordWithNoTimeEndsAfterTheFirstCycle) {
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", "FTP_ACCOUNTING_ENABLED=0\r\n", false);
    FakeRas ras;
    ras.Install();
    Call call(61);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    ASSERT_TRUE(gate.WaitLog(kExitThread, 5000));
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 950u);
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(ReadAll(gate.timeFile), "60\r\n\r\n");
    EXPECT_EQ(gate.Tail(), kAccepted + kLinkUp + UserBlock("ivan", "pw", "0") + DisconnectLines(" - ok"));
    call.HangUp(*gate.plugin);
}

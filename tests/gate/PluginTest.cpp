// The built dialgate.dll loaded as the remote-access service loads it, with
// the stand-in mprapi.dll answering its client calls: the exports' lines and
// answers, the worker threads the library starts and ends, the service
// restarting in the same process, and the shipped cycle of one second.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

#include "ExpectedLines.h"
#include "GateFixture.h"
#include "Services.h"

namespace {

// Counts the threads of this process that were started at an address inside
// `module`: the plug-in's workers, whatever the callbacks' threads do.
class WorkerThreads {
public:
    explicit WorkerThreads(HMODULE module) {
        MODULEINFO info{};
        if (module && GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) {
            base_ = reinterpret_cast<ULONG_PTR>(info.lpBaseOfDll);
            end_ = base_ + info.SizeOfImage;
        }
        query_ = reinterpret_cast<QueryFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    }
    // -1 when the threads cannot be told apart.
    int Count() const {
        if (!query_ || base_ == 0) return -1;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snap == INVALID_HANDLE_VALUE) return -1;
        int workers = 0;
        THREADENTRY32 e{};
        e.dwSize = sizeof e;
        for (BOOL more = Thread32First(snap, &e); more; more = Thread32Next(snap, &e)) {
            if (e.th32OwnerProcessID != GetCurrentProcessId()) continue;
            HANDLE t = OpenThread(THREAD_QUERY_INFORMATION, FALSE, e.th32ThreadID);
            if (!t) continue;
            ULONG_PTR start = 0;
            // ThreadQuerySetWin32StartAddress
            if (query_(t, 9, &start, sizeof start, nullptr) == 0 && start >= base_ && start < end_) ++workers;
            CloseHandle(t);
        }
        CloseHandle(snap);
        return workers;
    }

private:
    typedef LONG(WINAPI* QueryFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    QueryFn query_ = nullptr;
    ULONG_PTR base_ = 0, end_ = 0;
};

// Samples the number of workers on a thread of its own until stopped.
class WorkerWatch {
public:
    explicit WorkerWatch(HMODULE module) : threads_(module) {
        sampler_ = std::thread([this] {
            while (!stop_) {
                const int n = threads_.Count();
                int seen = most_.load();
                while (n > seen && !most_.compare_exchange_weak(seen, n)) {
                }
                if (n < 0) cannot_ = true;
                // A snapshot lists every thread of the prefix: sampled gently,
                // so that the watch does not slow what it watches. Overlaps
                // that matter last as long as a step or a client call.
                Sleep(5);
            }
        });
    }
    ~WorkerWatch() { Stop(); }
    void Stop() {
        stop_ = true;
        if (sampler_.joinable()) sampler_.join();
    }
    int Most() const { return most_; }
    bool Counted() const { return !cannot_; }

private:
    WorkerThreads threads_;
    std::atomic<bool> stop_{false}, cannot_{false};
    std::atomic<int> most_{0};
    std::thread sampler_;
};

HMODULE PluginModule(const GateInstall& gate) { return GetModuleHandleA((gate.dir / "dialgate.dll").c_str()); }

}  // namespace

// The hang-up waits a bounded time for a worker inside its FTP step and then
// returns; the worker finishes the step afterwards. A caller who dials in
// meanwhile must not get a second worker beside it, nor lose his record to the
// earlier hang-up: he is refused until the first worker has ended.
TEST(Overlap, NoSecondWorkerWhileAHungUpWorkerFinishesItsFtpStep) {
    TestService ftp("--stop-delay-ms 2500");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions(ftp.Name()));
    WorkerWatch watch(PluginModule(gate));
    Call first(70), during(71), next(72);
    ASSERT_TRUE(first.Dial(*gate.plugin));
    gate.WriteRecord("alice\r\npw\r\n5\r\n");
    ASSERT_TRUE(gate.WaitLog("FTP сервер останавливается", 5000));

    std::thread service([&] { first.HangUp(*gate.plugin); });
    ASSERT_TRUE(gate.WaitLog(kLinkDown, 5000));
    Sleep(50);  // the connection's hang-up is now waiting for the step
    EXPECT_FALSE(during.Dial(*gate.plugin)) << "a caller was accepted beside a worker in its FTP step";
    service.join();
    EXPECT_TRUE(gate.LogHas(DatedLine("Поток не удалось завершить")));

    // Once the step is over the worker ends and the next caller gets in, with
    // his own record kept to the end.
    ASSERT_TRUE(gate.WaitLog("FTP сервер запускается", 15000));
    ASSERT_TRUE(WaitFor([&] { return next.Dial(*gate.plugin) != FALSE; }, 5000));
    gate.WriteRecord("USER\r\npw\r\n5\r\n");
    EXPECT_TRUE(gate.WaitLog(">USER: USER", 5000)) << gate.Tail();
    EXPECT_TRUE(Exists(gate.users + "current.user"));
    next.HangUp(*gate.plugin);
    watch.Stop();
    ASSERT_TRUE(watch.Counted()) << "worker threads cannot be counted";
    EXPECT_EQ(watch.Most(), 1);
    // The first worker's step came to its end whole: its account is written.
    EXPECT_NE(ReadAll(gate.usersIni).find("[alice]"), std::string::npos);
    ServiceStop(ftp.Name());
}

// The same while the worker is inside a client call that takes its time: the
// hang-up stops waiting for it, and the caller who dials in meanwhile is refused
// until the call has returned and the worker is gone.
TEST(Overlap, NoSecondWorkerWhileAHungUpWorkerIsInsideAClientCall) {
    GateInstall gate;
    StandinService ras;
    ras.onConnect = [] { Sleep(1500); };
    WorkerWatch watch(PluginModule(gate));
    Call first(73), during(74), next(75);
    ASSERT_TRUE(first.Dial(*gate.plugin));
    gate.WriteRecord("alice\r\npw\r\n0\r\n");
    ASSERT_TRUE(WaitFor([&] { return ras.connects.load() == 1; }, 5000));

    std::thread service([&] { EXPECT_LT(first.HangUp(*gate.plugin), 2000.0); });
    ASSERT_TRUE(gate.WaitLog(kLinkDown, 5000));
    Sleep(50);
    EXPECT_FALSE(during.Dial(*gate.plugin)) << "a caller was accepted beside a worker inside a client call";
    service.join();

    ASSERT_TRUE(WaitFor([&] { return ras.serverDisconnects.load() == 1; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return next.Dial(*gate.plugin) != FALSE; }, 5000));
    gate.WriteRecord("bob\r\npw\r\n5\r\n");
    EXPECT_TRUE(gate.WaitLog(">USER: bob", 5000)) << gate.Tail();
    EXPECT_TRUE(Exists(gate.users + "current.user"));
    next.HangUp(*gate.plugin);
    watch.Stop();
    ASSERT_TRUE(watch.Counted());
    EXPECT_EQ(watch.Most(), 1);
    // The call returned after the hang-up: its outcome was not written, and no
    // port call followed it.
    EXPECT_FALSE(gate.LogHas("MprAdminServerConnect"));
    EXPECT_EQ(ras.clearStats.load(), 0);
}

// The service is stopped and started again in the same process while a hung-up
// worker still finishes its FTP step: the library stays mapped for it and the
// new load reads an edited qv_config.ini. The worker keeps the configuration it
// started under to its end: its account and its lines go where they went.
TEST(Restart, AWorkerKeepsTheConfigurationOfItsOwnLoad) {
    TestService ftp("--stop-delay-ms 3000");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    const std::string options = "TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n";
    GateInstall gate(options, FtpOptions(ftp.Name()));
    const std::string oldLog = gate.logs + TodayShortDate() + "_log.txt";
    const std::string oldIni = gate.usersIni;
    Call call(76);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("alice\r\npw\r\n5\r\n");
    ASSERT_TRUE(gate.WaitLog("FTP сервер останавливается", 5000));
    call.HangUp(*gate.plugin);
    ASSERT_TRUE(gate.LogHas(DatedLine("Поток не удалось завершить")));

    gate.plugin->Terminate();
    // Longer folders than before, so that a reader of the old strings would
    // read freed memory.
    gate.logs = gate.dir / "logs-of-the-second-load-with-a-much-longer-folder-name\\";
    gate.usersIni = gate.dir / "ftp\\users-of-the-second-load-with-a-much-longer-file-name.ini";
    gate.WriteConfig(options, FtpOptions(ftp.Name()));
    gate.plugin->Reload();
    ASSERT_TRUE(gate.plugin->Loaded());
    gate.plugin->Initialize();

    ASSERT_TRUE(WaitFor([&] { return ReadAll(oldLog).find("FTP сервер запускается") != std::string::npos; },
                        15000))
        << ReadAll(oldLog);
    EXPECT_NE(ReadAll(oldIni).find("[alice]\r\nLogin=alice\r\n"), std::string::npos) << ReadAll(oldIni);
    EXPECT_FALSE(Exists(gate.usersIni));
    const std::string newLog = gate.Log();
    EXPECT_NE(newLog.find("MprAdminInitializeDll - библиотека загружена"), std::string::npos);
    EXPECT_EQ(newLog.find("Изменяем users.ini"), std::string::npos) << newLog;
    EXPECT_EQ(newLog.find("FTP сервер запускается"), std::string::npos) << newLog;
    gate.plugin->Terminate();
    ServiceStop(ftp.Name());
}

// A log message is text up to its first NUL, also when the NUL comes from the caller.
TEST(Record, NulInTheRecordEndsTheLogMessage) {
    GateInstall gate;
    Call call(77);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord(std::string("ab\0cd\r\np9\r\n1\r\n", 15));
    ASSERT_TRUE(gate.WaitLog(">PASS: p9", 5000));
    call.HangUp(*gate.plugin);
    const std::string log = gate.Log();
    EXPECT_NE(log.find(DatedLine(">USER: ab")), std::string::npos) << log;
    EXPECT_EQ(log.find('\0'), std::string::npos);
}

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
    EXPECT_EQ(gate.Tail(), MarkedHangupLines(false, 3));
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

TEST(ShippedBuild, NoWindowDisconnectsAtOnce) {
    GateInstall gate("TIME_FOR_REG=0\r\nSHOW_VARS=0\r\n");
    StandinService ras;
    Call call(60);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    ASSERT_TRUE(gate.WaitLog(kExitThread, 3000));
    EXPECT_FALSE(Exists(gate.timeFile));
    call.HangUp(*gate.plugin);
}

TEST(ShippedBuild, RecordWithNoTimeEndsAfterTheFirstCycle) {
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n");
    StandinService ras;
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

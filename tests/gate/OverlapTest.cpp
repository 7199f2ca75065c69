// The callbacks as the remote-access service really delivers them: on several
// threads at once, a hang-up overlapping the next caller's acceptance, the
// service restarting in the same process, records with odd bytes.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "ExpectedLines.h"
#include "GateFixture.h"
#include "Services.h"

namespace {

const char kRefused[] = "Подключение отклонено: предыдущее соединение ещё обслуживается";

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size()) ++n;
    return n;
}

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
    FakeRas ras;
    ras.onConnect = [] { Sleep(1500); };
    ras.Install();
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

// Accepts, links, hang-ups, duplicate hang-ups and address callbacks from
// several service threads at once, for hundreds of callers. Never two workers;
// no running connection loses its record; every caller is timed or refused;
// every line whole.
TEST(Overlap, ServiceThreadsDeliveringEverythingAtOnce) {
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n", FtpOptions("dg_no_such_service"));
    FakeRas ras;
    std::atomic<int> slowCalls{0};
    // Some client calls outlast the hang-up's patience with them.
    ras.onConnect = [&] {
        if (slowCalls++ % 3 == 0) Sleep(300);
    };
    ras.Install();
    WorkerWatch watch(PluginModule(gate));

    // Callers dial until this many were accepted (most are refused: one line).
    constexpr int kThreads = 4, kAccepted = 100, kMostCallers = 3000;
    std::atomic<int> nextCaller{0}, accepted{0}, refused{0}, hangups{0}, ipCalls{0};
    std::mutex failuresLock;
    std::vector<std::string> failures;
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> lock(failuresLock);
        failures.push_back(what);
    };
    const std::string record = gate.users + "current.user";

    auto serviceThread = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int id; accepted < kAccepted && (id = nextCaller++) < kMostCallers;) {
            Call call(10000 + id);
            if (random() % 4 == 0) {
                DWORD address = 0;
                BOOL notify = FALSE;
                gate.plugin->GetIpAddress(&address, &notify);
                ++ipCalls;
            }
            const bool in = call.Dial(*gate.plugin) != FALSE;
            (in ? accepted : refused)++;
            if (in) {
                const std::string login = "u" + std::to_string(id);
                // Limit 1: the worker runs for 60 cycles, longer than the caller
                // stays; limit 0: it disconnects at once.
                const bool staying = random() % 3 != 0;
                const bool registers = random() % 4 != 0;
                if (registers) gate.WriteRecord(login + "\r\npw\r\n" + (staying ? "1" : "0") + "\r\n");
                Sleep(random() % 150);
                if (registers && staying && ReadAll(record).rfind(login + "\r\n", 0) != 0)
                    fail("the record of running connection " + login + " was replaced or deleted");
            } else {
                Sleep(10 + random() % 30);  // the caller redials
            }
            if (random() % 4 == 0) {
                DWORD address = 0;
                gate.plugin->ReleaseIpAddress(&address);
                ++ipCalls;
            }
            call.HangUp(*gate.plugin);
            ++hangups;
            if (random() % 5 == 0) {
                gate.plugin->ConnectionHangup(&call.c0, &call.c1);  // delivered twice
                ++hangups;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(serviceThread, 20261208u + t);
    for (std::thread& t : threads) t.join();
    ASSERT_TRUE(WaitFor([&] { return WorkerThreads(PluginModule(gate)).Count() == 0; }, 5000));
    watch.Stop();

    for (const std::string& f : failures) ADD_FAILURE() << f;
    ASSERT_TRUE(watch.Counted());
    EXPECT_EQ(watch.Most(), 1) << "workers at once";
    EXPECT_GE(accepted.load(), kAccepted);
    EXPECT_EQ(accepted + refused, std::min(nextCaller.load(), kMostCallers));

    // Every line is whole and counted: each accepted caller got a worker, each
    // refused one the refusal, each hang-up its closing line.
    const std::string log = gate.Log();
    EXPECT_EQ(Count(log, DatedLine("Принято новое подключение")), static_cast<size_t>(accepted.load()));
    EXPECT_EQ(Count(log, DatedLine("***Поток таймера запущен***")), static_cast<size_t>(accepted.load()));
    EXPECT_EQ(Count(log, DatedLine(kRefused)), static_cast<size_t>(refused.load()));
    EXPECT_EQ(Count(log, DatedLine(kHungUp)), static_cast<size_t>(hangups.load()));
    size_t lineStart = 0;
    for (size_t end; (end = log.find("\r\n", lineStart)) != std::string::npos; lineStart = end + 2) {
        const std::string line = log.substr(lineStart, end - lineStart);
        const bool dated = line.rfind("[" + TodayShortDate() + "] : [T] - ", 0) == 0;
        if ((!dated && !line.empty()) || Count(line, "] : [T] - ") > (dated ? 1u : 0u))
            ADD_FAILURE() << "torn line: " << line;
    }
    EXPECT_EQ(lineStart, log.size()) << "the log ends inside a line";
    std::printf("overlap storm: %d accepted, %d refused, %d hang-ups, %d address calls\n", accepted.load(),
                refused.load(), hangups.load(), ipCalls.load());
}

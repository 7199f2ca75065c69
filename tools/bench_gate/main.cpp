// Prints the plug-in's figures: log lines per second (against a plain
// open-append-close of each line), hang-up latency, and how closely the
// shipped build's countdown keeps to the clock.
//
//   bench_gate log                 lines per second, 1 and 8 threads
//   bench_gate hangup [N]          hang-up latency over N connections (fast build), beside a
//                                  kill-and-log callback writing the same lines, in turns
//   bench_gate hangup-held [N [DLL]]  hang-up latency while another program holds the log
//                                  (fast build, or the plug-in DLL named)
//   bench_gate drift [CYCLES]      shipped build: disconnect time against CYCLES seconds
//   bench_gate kill [N]            yardstick: TerminateThread on a thread waiting like the worker
//   bench_gate procmem NAME        private memory of the running process NAME (e.g. rasstandin.exe)
#include <windows.h>
#include <mprapi.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Config.h"
#include "DateText.h"
#include "Log.h"
#include "PluginCopy.h"
#include "StandinMprapi.h"
#include "Win32Clock.h"

namespace {

std::string ExeFolder() {
    char name[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
    std::string path(name, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string ScratchFolder(const char* tag) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + tag + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

struct LineCount {
    size_t lines = 0;
    size_t torn = 0;  // not one whole "[date] : [time] - text" line
};

LineCount CountLines(const std::string& path) {
    LineCount c;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return c;
    std::string line;
    char buf[65536];
    DWORD got = 0;
    auto check = [&] {
        size_t marks = 0;
        for (size_t p = 0; (p = line.find("] : [", p)) != std::string::npos; ++p) ++marks;
        if (line.empty() || line[0] != '[' || marks != 1 || line.back() != '\r') ++c.torn;
    };
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (buf[i] != '\n') {
                line += buf[i];
                continue;
            }
            check();
            line.clear();
            ++c.lines;
        }
    }
    if (!line.empty()) ++c.torn;
    CloseHandle(f);
    return c;
}

// The yardstick: each line opened, appended and closed, with no lock.
void PlainAppend(const std::string& path, const std::string& line) {
    HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD w = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &w, nullptr);
    CloseHandle(f);
}

template <class Write>
double Rate(int threads, int perThread, Write write) {
    const double start = CounterMs();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) write(t, i);
        });
    for (auto& th : pool) th.join();
    return threads * perThread * 1000.0 / (CounterMs() - start);
}

// Per call, in microseconds: the median of `n` calls.
template <class Work>
double MedianUs(int n, Work work) {
    std::vector<double> took;
    for (int i = 0; i < n; ++i) {
        const double start = CounterMs();
        work(i);
        took.push_back((CounterMs() - start) * 1000.0);
    }
    std::sort(took.begin(), took.end());
    return took[took.size() / 2];
}

int BenchLog() {
    const std::string dir = ScratchFolder("bench_log");
    const std::string logFolder = dir + "LOGS\\";
    {
        GatewayConfigRecord c;
        c.logFolder = logFolder;
        PublishGatewayConfig(c);
    }
    const int total = 8000;
    // Three rounds, the two writers taking turns, so that a busy moment of the
    // machine does not fall on one of them only; the median round is shown.
    const int rounds = 3;
    std::printf("%-34s %12s %12s\n", "log lines per second", "1 thread", "8 threads");
    double rate[2][2];
    size_t lost[2][2] = {}, torn[2][2] = {};
    for (int k = 0; k < 2; ++k) {
        const int threads = k == 0 ? 1 : 8;
        std::vector<double> rates[2];
        for (int round = 0; round < rounds; ++round) {
            // LogWrite: whole dated lines, one open-write-close each.
            SYSTEMTIME now;
            GetLocalTime(&now);
            const std::string logPath = logFolder + ShortDateText(now) + "_log.txt";
            DeleteFileA(logPath.c_str());
            rates[0].push_back(Rate(threads, total / threads, [](int t, int i) {
                LogWrite("line " + std::to_string(t) + " " + std::to_string(i) + " Принято новое подключение", true);
            }));
            const LineCount logged = CountLines(logPath);
            lost[0][k] += total - logged.lines;
            torn[0][k] += logged.torn;
            const std::string plain = dir + "plain.txt";
            DeleteFileA(plain.c_str());
            rates[1].push_back(Rate(threads, total / threads, [&](int t, int i) {
                PlainAppend(plain, "[07.12.2026] : [21:00:00] - line " + std::to_string(t) + " " + std::to_string(i) +
                                       " Принято новое подключение\r\n");
            }));
            const LineCount plainCount = CountLines(plain);
            lost[1][k] += total - plainCount.lines;
            torn[1][k] += plainCount.torn;
        }
        for (int w = 0; w < 2; ++w) {
            std::sort(rates[w].begin(), rates[w].end());
            rate[w][k] = rates[w][rounds / 2];
        }
    }
    std::printf("%-34s %12.0f %12.0f   (lines lost: %zu, %zu; torn: %zu, %zu)\n", "LogWrite", rate[0][0],
                rate[0][1], lost[0][0], lost[0][1], torn[0][0], torn[0][1]);
    std::printf("%-34s %12.0f %12.0f   (lines lost: %zu, %zu; torn: %zu, %zu)\n", "plain open-append-close, no lock",
                rate[1][0], rate[1][1], lost[1][0], lost[1][1], torn[1][0], torn[1][1]);
    std::printf("(lines lost and torn: summed over %d rounds of %d lines)\n", rounds, total);
    // Where a LogWrite line's time goes beyond the plain append, one thread.
    const std::string plain = dir + "pieces.txt";
    const double us_plain = MedianUs(4000, [&](int) { PlainAppend(plain, "[x] : [y] - line\r\n"); });
    const double us_folder =
        MedianUs(4000, [&](int) { CreateDirectoryA(logFolder.c_str(), nullptr); });
    const double us_clock = MedianUs(4000, [&](int) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::string date = ShortDateText(now), time = LongTimeText(now);
    });
    const double us_log = MedianUs(4000, [&](int i) { LogWrite("line " + std::to_string(i), true); });
    std::printf("per line, 1 thread (median us): LogWrite %.1f; plain open-append-close %.1f; of LogWrite's own: "
                "CreateDirectoryA on the existing folder %.1f, clock and date/time text %.1f\n",
                us_log, us_plain, us_folder, us_clock);
    return 0;
}

// A copy of a built plug-in in a folder with its own configuration.
struct Plugin {
    std::string dir;
    std::unique_ptr<PluginCopy> copy;
    Plugin(const std::string& built, const std::string& options) {
        dir = ScratchFolder(("bench_plugin" + std::to_string(GetTickCount64() % 100000) + "_").c_str());
        const std::string ini = "[PHP]\r\nUSERS_FOLDER=" + dir + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + dir +
                                "time.txt\r\nSHOW_VARS=0\r\n" + options + "[LOG]\r\nLOG_PATH=" + dir +
                                "LOGS\\\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=0\r\n";
        HANDLE f = CreateFileA((dir + "qv_config.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD w = 0;
        WriteFile(f, ini.data(), static_cast<DWORD>(ini.size()), &w, nullptr);
        CloseHandle(f);
        copy = std::make_unique<PluginCopy>(dir, built);
        if (copy->Loaded()) copy->Initialize();
    }
    bool Loaded() const { return copy->Loaded(); }
    BOOL Accept(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const { return copy->AcceptConnection(c0, c1); }
    void Hangup(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const { copy->ConnectionHangup(c0, c1); }
};

// The yardstick's log line as the design's plain code writes it: the folder
// made, the line formatted and appended through the C library, every time.
void LiteralLogLine(const std::string& folder, const char* message) {
    CreateDirectoryA(folder.c_str(), nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[64], time[64], line[512];
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
    std::snprintf(line, sizeof line, "[%s] : [%s] - %s\n", date, time, message);
    if (FILE* f = std::fopen((folder + date + "_log.txt").c_str(), "a")) {
        std::fputs(line, f);
        std::fclose(f);
    }
}

DWORD WINAPI WaitLikeTheWorker(LPVOID param);
struct KillTarget {
    HANDLE stop;
    HANDLE waiting;  // set once the thread is in its wait loop
};

// A hang-up callback as the design has it, literally: the worker killed with
// TerminateThread, the users' files deleted, the same five lines written.
void KillAndLogHangup(HANDLE worker, const std::string& dir, const RAS_CONNECTION_0& c0, const RAS_CONNECTION_1& c1) {
    const std::string logs = dir + "LOGS\\";
    TerminateThread(worker, 0);
    LiteralLogLine(logs, "Поток успешно завершен");
    for (const char* f : {"current.user", "time.txt", "current.userop"})
        if (GetFileAttributesA((dir + f).c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileA((dir + f).c_str());
    char text[128];
    std::snprintf(text, sizeof text, "Продолжительность соединения: %lu", static_cast<unsigned long>(c0.dwConnectDuration));
    LiteralLogLine(logs, text);
    std::snprintf(text, sizeof text, "Байт принято: %lu", static_cast<unsigned long>(c1.dwBytesRcved));
    LiteralLogLine(logs, text);
    std::snprintf(text, sizeof text, "Байт отправлено: %lu", static_cast<unsigned long>(c1.dwBytesXmited));
    LiteralLogLine(logs, text);
    LiteralLogLine(logs, "Произошло отключение пользователя от интерфейса");
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Our hang-up and the kill-and-log yardstick in turns, in one run, each after
// the same pause into a cycle of a waiting worker.
int BenchHangup(int n) {
    Plugin plugin(ExeFolder() + "fast\\dialgate.dll", "TIME_FOR_REG=5\r\n");
    if (!plugin.Loaded()) return std::printf("cannot load fast\\dialgate.dll\n"), 1;
    const std::string killDir = ScratchFolder("bench_kill");
    std::vector<double> ours, kill;
    for (int i = 0; i < n; ++i) {
        RAS_CONNECTION_0 c0{};
        RAS_CONNECTION_1 c1{};
        c0.hConnection = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(i + 1));
        c0.dwConnectDuration = 60;
        c1.dwBytesRcved = 10240;
        c1.dwBytesXmited = 2048;
        const DWORD pause = static_cast<DWORD>(i % 7) * 10;  // somewhere in a cycle

        plugin.Accept(&c0, &c1);
        Sleep(pause);
        const bool timeFileThere = GetFileAttributesA((plugin.dir + "time.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
        double start = CounterMs();
        plugin.Hangup(&c0, &c1);
        ours.push_back(CounterMs() - start);

        KillTarget target{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HANDLE thread = CreateThread(nullptr, 0, WaitLikeTheWorker, &target, 0, nullptr);
        // Killed only once it waits: a thread killed while it still starts up
        // holds the loader lock for good and the next thread never starts.
        WaitForSingleObject(target.waiting, INFINITE);
        Sleep(pause);
        // The time file is there when ours was (written by this thread: one
        // killed while writing would leave its locks held).
        if (timeFileThere) {
            HANDLE f = CreateFileA((killDir + "time.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, 0, nullptr);
            DWORD w = 0;
            WriteFile(f, "300\r\n\r\n", 7, &w, nullptr);
            CloseHandle(f);
        }
        start = CounterMs();
        KillAndLogHangup(thread, killDir, c0, c1);
        kill.push_back(CounterMs() - start);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(target.stop);
        CloseHandle(target.waiting);
    }
    const double oursMedian = Median(ours), killMedian = Median(kill);
    std::printf("hang-up latency over %d connections: median %.3f ms, worst %.3f ms\n", n, oursMedian,
                *std::max_element(ours.begin(), ours.end()));
    std::printf("kill-and-log yardstick, same run: median %.3f ms, worst %.3f ms\n", killMedian,
                *std::max_element(kill.begin(), kill.end()));
    std::printf("hang-up median / yardstick median: %.2f\n", oursMedian / killMedian);
    {
        // The same callback when the worker has already ended on its own.
        Plugin ended(ExeFolder() + "fast\\dialgate.dll", "TIME_FOR_REG=0\r\n");
        std::vector<double> took;
        for (int i = 0; i < n; ++i) {
            RAS_CONNECTION_0 c0{};
            RAS_CONNECTION_1 c1{};
            c0.hConnection = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(i + 1));
            ended.Accept(&c0, &c1);
            Sleep(static_cast<DWORD>(i % 7) * 10);
            const double start = CounterMs();
            ended.Hangup(&c0, &c1);
            took.push_back(CounterMs() - start);
        }
        std::printf("hang-up of a worker that already ended: median %.3f ms\n", Median(took));
    }
    {
        // Where the time goes: the five lines alone, each way.
        GatewayConfigRecord c;
        c.logFolder = killDir + "LOGS2\\";
        PublishGatewayConfig(c);
        std::vector<double> ourLines, plainLines;
        for (int i = 0; i < n; ++i) {
            double t = CounterMs();
            for (int k = 0; k < 5; ++k) LogWrite("Байт отправлено: 2048", true);
            ourLines.push_back(CounterMs() - t);
            t = CounterMs();
            for (int k = 0; k < 5; ++k) LiteralLogLine(killDir + "LOGS3\\", "Байт отправлено: 2048");
            plainLines.push_back(CounterMs() - t);
        }
        std::printf("five lines alone: LogWrite %.3f ms, literal %.3f ms\n", Median(ourLines), Median(plainLines));
    }
    return 0;
}

// The hang-up while another program holds the log with writing denied (an
// editor, a backup): the worker is writing the caller's block into it when
// the hang-up comes, at moments spread over the log's own wait.
int BenchHangupHeldLog(int n, const std::string& built) {
    Plugin plugin(built, "TIME_FOR_REG=5\r\n");
    if (!plugin.Loaded()) return std::printf("cannot load fast\\dialgate.dll\n"), 1;
    std::vector<double> held, free;
    for (int i = 0; i < n; ++i) {
        for (bool hold : {true, false}) {
            RAS_CONNECTION_0 c0{};
            RAS_CONNECTION_1 c1{};
            c0.hConnection = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(2 * i + hold + 1));
            plugin.Accept(&c0, &c1);
            while (GetFileAttributesA((plugin.dir + "time.txt").c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(5);
            SYSTEMTIME now;
            GetLocalTime(&now);
            const std::string log = plugin.dir + "LOGS\\" + ShortDateText(now) + "_log.txt";
            HANDLE holder = hold ? CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                               nullptr)
                                 : INVALID_HANDLE_VALUE;
            HANDLE record = CreateFileA((plugin.dir + "current.user").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, 0, nullptr);
            DWORD w = 0;
            WriteFile(record, "ivan\r\npw\r\n5\r\n", 13, &w, nullptr);
            CloseHandle(record);
            // Somewhere in the worker's next cycle and its wait for the log.
            Sleep(static_cast<DWORD>(i % 8) * 100);
            const double start = CounterMs();
            plugin.Hangup(&c0, &c1);
            (hold ? held : free).push_back(CounterMs() - start);
            if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
            Sleep(100);  // the worker's thread ends
        }
    }
    std::printf("hang-up with the log held by another program, over %d connections: median %.1f ms, worst %.1f ms\n",
                n, Median(held), *std::max_element(held.begin(), held.end()));
    std::printf("the same moments with the log free: median %.1f ms, worst %.1f ms\n", Median(free),
                *std::max_element(free.begin(), free.end()));
    return 0;
}

// When the shipped build's disconnect reaches the service, seen through the
// stand-in mprapi.dll's hooks.
struct DisconnectClock {
    double serverConnectAt = 0;
    double portDisconnectAt = 0;
    static DWORD WINAPI Connect(void* c) {
        auto* self = static_cast<DisconnectClock*>(c);
        if (self->serverConnectAt == 0) self->serverConnectAt = CounterMs();
        return NO_ERROR;
    }
    static DWORD WINAPI Port(void*, HANDLE) { return NO_ERROR; }
    static DWORD WINAPI Disconnect(void* c, HANDLE) {
        auto* self = static_cast<DisconnectClock*>(c);
        if (self->portDisconnectAt == 0) self->portDisconnectAt = CounterMs();
        return NO_ERROR;
    }
    static void WINAPI ServerDisconnect(void*) {}
};

int BenchDrift(int cycles) {
    const int minutes = (cycles + 59) / 60;
    Plugin plugin(ExeFolder() + "dialgate.dll", "TIME_FOR_REG=" + std::to_string(minutes) + "\r\n");
    if (!plugin.Loaded()) return std::printf("cannot load dialgate.dll\n"), 1;
    DisconnectClock clock;
    const auto setHooks = reinterpret_cast<StandinMprapiSetHooksFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("mprapi.dll"), STANDIN_MPRAPI_SET_HOOKS)));
    if (setHooks) {
        StandinMprapiHooks hooks{&clock, &DisconnectClock::Connect, &DisconnectClock::Port, &DisconnectClock::Port,
                                 &DisconnectClock::Disconnect, &DisconnectClock::ServerDisconnect, nullptr, nullptr};
        setHooks(&hooks);
    }
    RAS_CONNECTION_0 c0{};
    RAS_CONNECTION_1 c1{};
    const std::string timeFile = plugin.dir + "time.txt";
    plugin.Accept(&c0, &c1);
    const double start = CounterMs();  // accepted: the callback has returned
    // The moment each value first appears, against the moment it is due; and
    // at every look, the value against the true seconds left.
    double worstLate = 0, last = 0, firstAt = 0;
    double overMin = 1e9, overMax = -1e9;
    int lastValue = -1, seen = 0;
    const int total = minutes * 60;
    while (CounterMs() - start < total * 1000.0 + 5000) {
        char buf[32] = {};
        HANDLE f = CreateFileA(timeFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD got = 0;
            ReadFile(f, buf, sizeof buf - 1, &got, nullptr);
            CloseHandle(f);
        }
        const double at = CounterMs() - start;
        const int value = atoi(buf);
        if (value > 0) {
            const double trueLeft = total - at / 1000.0;
            overMin = std::min(overMin, value - trueLeft);
            overMax = std::max(overMax, value - trueLeft);
        }
        if (value > 0 && value != lastValue) {
            const double due = (total - value + 1) * 1000.0;
            worstLate = std::max(worstLate, at - due);
            if (seen == 0) firstAt = at;
            lastValue = value;
            last = at;
            ++seen;
        }
        if (clock.portDisconnectAt != 0) break;
        Sleep(2);
    }
    std::printf("shipped build, %d cycles: last value (1) written at %.1f ms, due at %d ms: drift %+.1f ms, "
                "mean cycle %.3f ms; worst lateness of a value %.1f ms; %d values seen\n",
                total, last, total * 1000, last - total * 1000.0, seen > 1 ? (last - firstAt) / (seen - 1) : 0.0,
                worstLate, seen);
    std::printf("time file value minus true seconds left: from %+.3f s to %+.3f s\n", overMin, overMax);
    if (clock.portDisconnectAt != 0)
        std::printf("disconnect: MprAdminServerConnect at %.1f ms, MprAdminPortDisconnect at %.1f ms after "
                    "acceptance, against %d ms: %+.1f ms; mean cycle over the limit %.4f ms\n",
                    clock.serverConnectAt - start, clock.portDisconnectAt - start, total * 1000,
                    clock.portDisconnectAt - start - total * 1000.0, (clock.portDisconnectAt - start) / total);
    else
        std::printf("disconnect: not seen (is the stand-in mprapi.dll loaded? WINEDLLOVERRIDES=mprapi=n,b)\n");
    plugin.Hangup(&c0, &c1);
    if (setHooks) setHooks(nullptr);
    return 0;
}

// The yardstick for a hang-up: no orderly stop at all, the waiting thread
// killed outright, timed from the call until the thread is gone, after the
// same pause into its cycle as the hang-up benchmark.
DWORD WINAPI WaitLikeTheWorker(LPVOID param) {
    auto* target = static_cast<KillTarget*>(param);
    SetEvent(target->waiting);
    // Waits out fifty-millisecond cycles against the clock, as the fast build's worker does.
    const double start = CounterMs();
    for (int cycle = 1;; ++cycle) {
        const double left = start + cycle * 50.0 - CounterMs();
        if (WaitForSingleObject(target->stop, left > 0 ? static_cast<DWORD>(left) : 0) == WAIT_OBJECT_0) return 0;
    }
}

int BenchKill(int n) {
    std::vector<double> took;
    int notGone = 0;
    for (int i = 0; i < n; ++i) {
        KillTarget target{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HANDLE thread = CreateThread(nullptr, 0, WaitLikeTheWorker, &target, 0, nullptr);
        // Killed only once it waits: a thread killed while it still starts up
        // holds the loader lock for good and the next thread never starts.
        WaitForSingleObject(target.waiting, INFINITE);
        Sleep(static_cast<DWORD>(i % 7) * 10);
        const double start = CounterMs();
        TerminateThread(thread, 1);
        if (WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0) ++notGone;
        took.push_back(CounterMs() - start);
        CloseHandle(thread);
        CloseHandle(target.stop);
        CloseHandle(target.waiting);
    }
    std::sort(took.begin(), took.end());
    std::printf("TerminateThread yardstick over %d threads: median %.3f ms, worst %.3f ms; not gone within 5 s: %d\n",
                n, took[took.size() / 2], took.back(), notGone);
    return 0;
}

int BenchProcessMemory(const std::string& name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    int found = 0;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        if (_stricmp(pe.szExeFile, name.c_str()) != 0) continue;
        HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pe.th32ProcessID);
        if (!p) continue;
        PROCESS_MEMORY_COUNTERS_EX c{};
        c.cb = sizeof c;
        GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c);
        CloseHandle(p);
        // Wine leaves PrivateUsage empty; its PagefileUsage counts the same private pages.
        std::printf("%s (pid %lu) private memory %.2f MB, working set %.2f MB\n", name.c_str(),
                    static_cast<unsigned long>(pe.th32ProcessID),
                    (c.PrivateUsage ? c.PrivateUsage : c.PagefileUsage) / 1048576.0, c.WorkingSetSize / 1048576.0);
        ++found;
    }
    CloseHandle(snap);
    if (!found) std::printf("%s is not running\n", name.c_str());
    return found ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "log";
    if (mode == "log") return BenchLog();
    if (mode == "hangup") return BenchHangup(argc > 2 ? atoi(argv[2]) : 500);
    if (mode == "hangup-held")
        return BenchHangupHeldLog(argc > 2 ? atoi(argv[2]) : 40, argc > 3 ? argv[3] : ExeFolder() + "fast\\dialgate.dll");
    if (mode == "drift") return BenchDrift(argc > 2 ? atoi(argv[2]) : 300);
    if (mode == "kill") return BenchKill(argc > 2 ? atoi(argv[2]) : 500);
    if (mode == "procmem" && argc > 2) return BenchProcessMemory(argv[2]);
    std::printf("usage: bench_gate log | hangup [N] | hangup-held [N] | drift [CYCLES] | kill [N] | procmem NAME\n");
    return 2;
}

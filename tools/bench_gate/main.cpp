// Prints the plug-in's figures: log lines per second (against a plain
// open-append-close of each line), hang-up latency, and how closely the
// shipped build's countdown keeps to the clock.
//
//   bench_gate log                 lines per second, 1 and 8 threads
//   bench_gate hangup [N]          hang-up latency over N connections (fast build)
//   bench_gate drift [CYCLES]      shipped build: disconnect time against CYCLES seconds
#include <windows.h>
#include <mprapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Config.h"
#include "Log.h"

namespace {

double NowMs() {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER v;
        QueryPerformanceFrequency(&v);
        return v;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

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

size_t CountLines(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 0;
    size_t n = 0;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) n += std::count(buf, buf + got, '\n');
    CloseHandle(f);
    return n;
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
    const double start = NowMs();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) write(t, i);
        });
    for (auto& th : pool) th.join();
    return threads * perThread * 1000.0 / (NowMs() - start);
}

int BenchLog() {
    const std::string dir = ScratchFolder("bench_log");
    GatewayConfig.logFolder = dir + "LOGS\\";
    const int total = 8000;
    std::printf("%-34s %12s %12s\n", "log lines per second", "1 thread", "8 threads");
    double rate[2][2];
    size_t lost[2][2];
    for (int k = 0; k < 2; ++k) {
        const int threads = k == 0 ? 1 : 8;
        // LogWrite: whole dated lines, one open-write-close each.
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::string logPath = GatewayConfig.logFolder + ShortDateText(now) + "_log.txt";
        DeleteFileA(logPath.c_str());
        rate[0][k] = Rate(threads, total / threads, [](int t, int i) {
            LogWrite("line " + std::to_string(t) + " " + std::to_string(i) + " Принято новое подключение", true);
        });
        lost[0][k] = total - CountLines(logPath);
        const std::string plain = dir + "plain.txt";
        DeleteFileA(plain.c_str());
        rate[1][k] = Rate(threads, total / threads, [&](int t, int i) {
            PlainAppend(plain, "[07.12.2026] : [21:00:00] - line " + std::to_string(t) + " " + std::to_string(i) +
                                   " Принято новое подключение\r\n");
        });
        lost[1][k] = total - CountLines(plain);
    }
    std::printf("%-34s %12.0f %12.0f   (lines lost: %zu, %zu)\n", "LogWrite", rate[0][0], rate[0][1], lost[0][0],
                lost[0][1]);
    std::printf("%-34s %12.0f %12.0f   (lines lost: %zu, %zu)\n", "plain open-append-close, no lock",
                rate[1][0], rate[1][1], lost[1][0], lost[1][1]);
    return 0;
}

// A copy of a built plug-in in a folder with its own configuration.
struct Plugin {
    HMODULE module = nullptr;
    std::string dir;
    Plugin(const std::string& built, const std::string& options) {
        dir = ScratchFolder(("bench_plugin" + std::to_string(GetTickCount64() % 100000) + "_").c_str());
        CopyFileA(built.c_str(), (dir + "dialgate.dll").c_str(), FALSE);
        const std::string ini = "[PHP]\r\nUSERS_FOLDER=" + dir + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + dir +
                                "time.txt\r\nSHOW_VARS=0\r\n" + options + "[LOG]\r\nLOG_PATH=" + dir +
                                "LOGS\\\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=0\r\n";
        HANDLE f = CreateFileA((dir + "qv_config.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD w = 0;
        WriteFile(f, ini.data(), static_cast<DWORD>(ini.size()), &w, nullptr);
        CloseHandle(f);
        module = LoadLibraryA((dir + "dialgate.dll").c_str());
        if (module) Get<DWORD(WINAPI*)()>("MprAdminInitializeDll")();
    }
    template <class F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    BOOL Accept(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const {
        return Get<BOOL(WINAPI*)(RAS_CONNECTION_0*, RAS_CONNECTION_1*)>("MprAdminAcceptNewConnection")(c0, c1);
    }
    void Hangup(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const {
        Get<VOID(WINAPI*)(RAS_CONNECTION_0*, RAS_CONNECTION_1*)>("MprAdminConnectionHangupNotification")(c0, c1);
    }
};

int BenchHangup(int n) {
    Plugin plugin(ExeFolder() + "fast\\dialgate.dll", "TIME_FOR_REG=5\r\n");
    if (!plugin.module) return std::printf("cannot load fast\\dialgate.dll\n"), 1;
    std::vector<double> took;
    for (int i = 0; i < n; ++i) {
        RAS_CONNECTION_0 c0{};
        RAS_CONNECTION_1 c1{};
        c0.hConnection = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(i + 1));
        plugin.Accept(&c0, &c1);
        Sleep(static_cast<DWORD>(i % 7) * 10);  // somewhere in a cycle
        const double start = NowMs();
        plugin.Hangup(&c0, &c1);
        took.push_back(NowMs() - start);
    }
    std::sort(took.begin(), took.end());
    std::printf("hang-up latency over %d connections: median %.3f ms, worst %.3f ms\n", n, took[took.size() / 2],
                took.back());
    return 0;
}

int BenchDrift(int cycles) {
    const int minutes = (cycles + 59) / 60;
    Plugin plugin(ExeFolder() + "dialgate.dll", "TIME_FOR_REG=" + std::to_string(minutes) + "\r\n");
    if (!plugin.module) return std::printf("cannot load dialgate.dll\n"), 1;
    RAS_CONNECTION_0 c0{};
    RAS_CONNECTION_1 c1{};
    const std::string timeFile = plugin.dir + "time.txt";
    const double start = NowMs();
    plugin.Accept(&c0, &c1);
    // The moment each value first appears, against the moment it is due.
    double worstLate = 0, last = 0;
    int lastValue = -1, seen = 0;
    const int total = minutes * 60;
    while (NowMs() - start < total * 1000.0 + 5000) {
        char buf[32] = {};
        HANDLE f = CreateFileA(timeFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD got = 0;
            ReadFile(f, buf, sizeof buf - 1, &got, nullptr);
            CloseHandle(f);
        }
        const int value = atoi(buf);
        if (value > 0 && value != lastValue) {
            const double at = NowMs() - start;
            const double due = (total - value + 1) * 1000.0;
            worstLate = std::max(worstLate, at - due);
            lastValue = value;
            last = at;
            ++seen;
            if (value == 1) break;
        }
        Sleep(2);
    }
    std::printf("shipped build, %d cycles: last value (1) written at %.1f ms, due at %d ms: drift %+.1f ms, "
                "mean cycle %.3f ms; worst lateness of a value %.1f ms; %d values seen\n",
                total, last, total * 1000, last - total * 1000.0, last / total, worstLate, seen);
    plugin.Hangup(&c0, &c1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "log";
    if (mode == "log") return BenchLog();
    if (mode == "hangup") return BenchHangup(argc > 2 ? atoi(argv[2]) : 500);
    if (mode == "drift") return BenchDrift(argc > 2 ? atoi(argv[2]) : 300);
    std::printf("usage: bench_gate log | hangup [N] | drift [CYCLES]\n");
    return 2;
}

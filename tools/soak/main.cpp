// soak.exe: long runs that look for what grows.
//
//   soak gate [N] [EVERY]         N connections (default 10000) through the fast-cycle
//                                 plug-in in this process, sampled every EVERY (default 1000)
//   soak gate N EVERY --keep-log PATH  also keeps the log as PATH and what each dial was as PATH.rows
//   soak console [SECONDS] [EVERY] portwatch.exe against a log that grows by a line a second
//                                 (default 3600 s), sampled every EVERY seconds (default 60)
//
// Run from the build's bin folder under Wine with WINEDLLOVERRIDES=mprapi=n,b
// (gate) or under Xvfb (console).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DateText.h"
#include "GateSoak.h"
#include "Log.h"
#include "Win32Clock.h"

namespace {

double Mb(SIZE_T bytes) { return static_cast<double>(bytes) / 1048576.0; }

void PrintSampleHeader() { std::printf("%12s %8s %8s %12s\n", "connections", "handles", "threads", "private MB"); }

void PrintSample(const ProcessSample& s) {
    std::printf("%12d %8lu %8zu %12.2f\n", s.connections, static_cast<unsigned long>(s.handles), s.threads,
                Mb(s.privateBytes));
    std::fflush(stdout);
}

int SoakGate(int connections, int every, const std::string& keepLog) {
    GateSoakOptions options;
    options.keepLog = keepLog;
    options.connections = connections;
    options.sampleEvery = every;
    options.onSample = PrintSample;
    std::printf("gate soak: %d connections, fast-cycle plug-in (50 ms a cycle), in-process\n", connections);
    PrintSampleHeader();
    const GateSoakResult r = RunGateSoak(options);
    if (!r.failure.empty()) std::printf("FAILED: %s\n", r.failure.c_str());
    std::vector<double> took = r.hangupMs;
    std::sort(took.begin(), took.end());
    if (!took.empty())
        std::printf("hang-up latency: median %.3f ms, worst %.3f ms over %zu hang-ups\n", took[took.size() / 2],
                    took.back(), took.size());
    for (int m = 0; m < static_cast<int>(HangupMoment::Count); ++m)
        std::printf("  hung up %-30s %d\n", HangupMomentName(static_cast<HangupMoment>(m)), r.byMoment[m]);
    std::printf("log lines: counted %llu, expected %llu, torn %llu; refused dials (previous worker still busy) %d; "
                "phases waited for in vain %d\n",
                static_cast<unsigned long long>(r.linesCounted), static_cast<unsigned long long>(r.linesExpected),
                static_cast<unsigned long long>(r.tornLines), r.refusals, r.waitsTimedOut);
    const bool ok = r.failure.empty() && r.linesCounted == r.linesExpected && r.tornLines == 0 &&
                    r.waitsTimedOut == 0 && (took.empty() || took.back() < 2000.0);
    std::printf("%s\n", ok ? "soak: lines and hang-ups as expected" : "soak: FAULT (see above)");
    return ok ? 0 : 1;
}

std::string ExeFolder() {
    std::string name(MAX_PATH * 4, '\0');
    name.resize(GetModuleFileNameA(nullptr, &name[0], static_cast<DWORD>(name.size())));
    return name.substr(0, name.find_last_of('\\') + 1);
}

void Append(const std::string& path, const std::string& bytes, DWORD disposition = OPEN_ALWAYS) {
    HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD w = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &w, nullptr);
    CloseHandle(f);
}

struct FindWindowOf {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK FindTopWindow(HWND w, LPARAM param) {
    auto* f = reinterpret_cast<FindWindowOf*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == f->pid && GetWindow(w, GW_OWNER) == nullptr) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

int SoakConsole(int seconds, int every) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "consolesoak_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "logs").c_str(), nullptr);
    CreateDirectoryA((dir + "users").c_str(), nullptr);
    Append(dir + "qv_config.ini",
           "[PHP]\r\nUSERS_FOLDER=" + dir + "users\\\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + dir +
               "time.txt\r\n[LOG]\r\nLOG_PATH=" + dir + "logs\\\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n",
           CREATE_ALWAYS);
    if (!CopyFileA((ExeFolder() + "portwatch.exe").c_str(), (dir + "portwatch.exe").c_str(), FALSE)) {
        std::printf("portwatch.exe not found beside soak.exe\n");
        return 1;
    }
    auto logPath = [&] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return dir + "logs\\" + ShortDateText(now) + "_log.txt";
    };
    auto line = [&](int n) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return "[" + ShortDateText(now) + "] : [" + LongTimeText(now) + "] - soak line " + std::to_string(n) + "\r\n";
    };
    Append(logPath(), line(0));
    std::string cmd = "\"" + dir + "portwatch.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi)) {
        std::printf("portwatch.exe did not start: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(pi.hThread);
    std::printf("console soak: portwatch.exe, log growing by a line a second, %d s\n", seconds);
    std::printf("%8s %8s %8s %8s %12s %12s %14s\n", "seconds", "lines", "handles", "threads", "private MB",
                "working MB", "WM_NULL ms");
    double worstReply = 0;
    std::vector<ProcessSample> samples;
    int lines = 1;
    bool alive = true;
    for (int t = 0; t <= seconds && alive; ++t) {
        if (t > 0) {
            Sleep(1000);
            Append(logPath(), line(lines++));
        }
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) alive = false;
        FindWindowOf f{pi.dwProcessId};
        EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&f));
        double reply = -1;
        if (f.found) {
            const LARGE_INTEGER sent = CounterNow();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(f.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
                reply = CounterMs(sent, CounterNow());
            } else {
                reply = 5000;
            }
            worstReply = std::max(worstReply, reply);
        }
        if (t % every == 0 || t == seconds) {
            ProcessSample s = SampleProcess(pi.hProcess, pi.dwProcessId, t);
            PROCESS_MEMORY_COUNTERS pmc{};
            pmc.cb = sizeof pmc;
            GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc);
            std::printf("%8d %8d %8lu %8zu %12.2f %12.2f %14.2f\n", t, lines, static_cast<unsigned long>(s.handles),
                        s.threads, Mb(s.privateBytes), Mb(pmc.WorkingSetSize), reply);
            std::fflush(stdout);
            samples.push_back(s);
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    if (!alive) {
        std::printf("portwatch.exe ended by itself, exit code %lu\n", static_cast<unsigned long>(exitCode));
        return 1;
    }
    // The first sample still has the start-up under way: growth is judged from the second.
    const ProcessSample& from = samples.size() > 1 ? samples[1] : samples.front();
    const ProcessSample& to = samples.back();
    std::printf("from %d s to %d s: handles %+ld, threads %+ld, private memory %+.2f MB; slowest WM_NULL reply %.2f ms\n",
                from.connections, to.connections,
                static_cast<long>(to.handles) - static_cast<long>(from.handles),
                static_cast<long>(to.threads) - static_cast<long>(from.threads),
                Mb(to.privateBytes) - Mb(from.privateBytes), worstReply);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gate")
        return SoakGate(argc > 2 ? atoi(argv[2]) : 10000, argc > 3 ? std::max(1, atoi(argv[3])) : 1000,
                        argc > 5 && std::string(argv[4]) == "--keep-log" ? argv[5] : "");
    if (mode == "console")
        return SoakConsole(argc > 2 ? atoi(argv[2]) : 3600, argc > 3 ? std::max(1, atoi(argv[3])) : 60);
    std::printf("usage: soak gate [N] [EVERY] | soak console [SECONDS] [EVERY]\n");
    return 2;
}

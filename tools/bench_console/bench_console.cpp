// bench_console.exe: what one monitoring refresh of the console costs with
// today's log at 100 KB, 1 MB and 10 MB, against a plain read of the same
// file; the day's connections window on a 10 MB log; and, for a running
// portwatch.exe with a 1, 10 and 50 MB log, how long its window takes to
// answer WM_NULL (sent every 20 ms from this process) while the view loads,
// and its private memory.
// Run under Wine and Xvfb from the build's bin folder. Not a test.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Ids.h"
#include "Report.h"
#include "UiDriver.h"
#include "Unit1.h"
#include "Win32Files.h"
#include "Win32Ui.h"

namespace {

std::string TempFolder(const char* tag) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string path = std::string(base) + tag + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(path.c_str(), nullptr);
    CreateDirectoryA((path + "logs").c_str(), nullptr);
    CreateDirectoryA((path + "users").c_str(), nullptr);
    return path;
}

void WriteConfig(const std::string& folder) {
    WriteWholeFile(folder + "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + folder + "users\\\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                                 folder + "time.txt\r\n[LOG]\r\nLOG_PATH=" + folder +
                                                 "logs\\\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
}

// Lines like the plug-in's, up to `bytes`.
std::string LogOfSize(size_t bytes) {
    const std::string line = "[" + TodayShortDateText() + "] : [23:00:42] - Изменяем users.ini (создаем аккаунт для юзера) ...\r\n";
    std::string log;
    log.reserve(bytes + line.size());
    while (log.size() < bytes) log += line;
    return log;
}

void AppendLine(const std::string& path) {
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, 0, nullptr));
    const char line[] = "[x] : [y] - Подключен интерфейс\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), line, sizeof line - 1, &written, nullptr);
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

template <typename Work>
double MedianMs(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        work();
        QueryPerformanceCounter(&b);
        times.push_back(Ms(a, b));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void BenchRefresh(HINSTANCE instance, size_t bytes, const char* label) {
    const std::string folder = TempFolder("pwbench");
    WriteConfig(folder);
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    WriteWholeFile(log, LogOfSize(bytes));
    TForm1* form = TForm1::Create(instance, folder);
    if (!form) {
        std::printf("%s: window not created\n", label);
        return;
    }
    HWND memo = GetDlgItem(form->Handle(), ids::Memo1);
    // The load goes on in steps of the window's own timer. The quit message
    // that the previous size's window left behind is not this one's.
    const LRESULT loaded = static_cast<LRESULT>(LogViewText(LogOfSize(bytes)).size());
    while (GetWindowTextLengthW(memo) < loaded) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();
            continue;
        }
        if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    }
    const int runs = bytes >= (10u << 20) ? 5 : 15;
    std::string sink;
    const double read = MedianMs(runs, [&] { ReadWholeFile(log, sink); });
    // The file grew since the last second: the view is loaded anew.
    const double changed = MedianMs(runs, [&] {
        AppendLine(log);
        form->Timer1Timer();
    });
    // The usual second: nothing new in the log.
    const double unchanged = MedianMs(runs, [&] { form->Timer1Timer(); });
    // Its pieces in the edit control: where the view stands, and the scroll
    // that puts the last line on top (which Wine's control never reaches).
    LRESULT firstLine = 0;
    const double first = MedianMs(runs, [&] { firstLine = SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0); });
    const LRESULT lineCount = SendMessageW(memo, EM_GETLINECOUNT, 0, 0);
    const double scrollOn = MedianMs(runs, [&] { SendMessageW(memo, EM_LINESCROLL, 0, lineCount - 1 - firstLine); });
    std::printf("%-7s read %8.2f ms | refresh, log grew %9.2f ms | refresh, log unchanged %6.3f ms\n", label, read,
                changed, unchanged);
    std::printf("        refresh, log unchanged, pieces: first visible line %.3f ms (%lld of %lld), scroll to the "
                "last %.3f ms\n",
                first, static_cast<long long>(firstLine), static_cast<long long>(lineCount), scrollOn);
    // Where a one-piece load went: the edit control taking the whole text.
    const std::wstring wide = FromCp1251(LogOfSize(bytes));
    const double setText = MedianMs(3, [&] { SetWindowTextW(memo, wide.c_str()); });
    const double scroll = MedianMs(3, [&] {
        SendMessageW(memo, EM_LINESCROLL, 0, -1000000);
        SendMessageW(memo, EM_LINESCROLL, 0, 1000000);
    });
    std::printf("        of which: set the edit's text %9.2f ms, scroll top to end %8.2f ms\n", setText, scroll);
    // The pieces of a refresh after one line was appended, each on the whole log as the refresh does them.
    std::string shown;
    ReadWholeFile(log, shown);
    AppendLine(log);
    std::string grown;
    ReadWholeFile(log, grown);
    const double stamp = MedianMs(runs, [&] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &data);
    });
    // What the view keeps of the text: both ends, and the line count.
    ShownLog kept;
    kept.valid = true;
    TakeLogBytes(kept, shown, 0);
    size_t at = 0;
    const std::string_view grownFrom = std::string_view(grown).substr(kept.ReadFrom());
    const double check = MedianMs(runs, [&] { at = LogViewChange(kept, grown.substr(0, kept.HeadBytes()), grownFrom); });
    const double append = MedianMs(runs, [&] {
        const std::wstring added = FromCp1251(LogViewText(grownFrom.substr(at)));
        const LRESULT end = GetWindowTextLengthW(memo);
        SendMessageW(memo, EM_SETSEL, end, end);
        SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    });
    const double append1 = MedianMs(runs, [&] { AppendLine(log); });
    std::printf("        refresh pieces: stamp %.3f, read %.3f, check both ends %.3f, "
                "append to edit %.3f, append a line to the file %.3f ms\n",
                stamp, read, check, append, append1);
    DestroyWindow(form->Handle());
    DeleteFileA(log.c_str());
}

// What holds a step of a load back under Wine: the edit control's own cost
// of appending one line at the end of the text it holds, by the text's size,
// with the window hidden as the console starts.
void EditCostBySize() {
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_OVERLAPPEDWINDOW | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                    WS_VSCROLL | WS_HSCROLL,
                                0, 0, 505, 400, nullptr, nullptr, nullptr, nullptr);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
    const std::wstring megabyte = FromCp1251(LogOfSize(1u << 20));
    const std::wstring line = FromCp1251(LogOfSize(1));
    auto append = [&](const std::wstring& text) {
        const LRESULT end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    };
    std::printf("edit control, one line appended at the end of (MB: median ms of 5):");
    LARGE_INTEGER start = Now();
    for (int mb = 1; mb <= 50; ++mb) {
        append(megabyte);
        if (mb == 1 || mb % 10 == 0) std::printf(" %d: %.2f;", mb, MedianMs(5, [&] { append(line); }));
    }
    std::printf(" filled in 1 MB appends in %.1f s\n", Ms(start, Now()) / 1000.0);
    DestroyWindow(edit);
}

// A running portwatch.exe: its window's answers to WM_NULL while the view
// loads today's log, and its private memory once the load is done.
struct ConsoleRun {
    bool ok = false;
    double firstAnswerMs = 0;  // from the window's appearance
    double slowestMs = 0;      // the slowest answer while the view loaded
    int answers = 0;
    int over100 = 0;           // answers that took more than 100 ms
    double loadSeconds = 0;
    double privateMb = 0;
    double peakPrivateMb = 0;
};

ConsoleRun RunConsole(size_t logBytes) {
    const std::string folder = TempFolder(logBytes ? "pwmem" : "pwmem0");
    WriteConfig(folder);
    CopyFileA((ProgramFolder() + "portwatch.exe").c_str(), (folder + "portwatch.exe").c_str(), FALSE);
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    const LRESULT loaded = static_cast<LRESULT>(LogViewText(LogOfSize(logBytes)).size());
    if (logBytes) WriteWholeFile(log, LogOfSize(logBytes));
    std::string line = "\"" + folder + "portwatch.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ConsoleRun run;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return run;
    CloseHandle(pi.hThread);
    LARGE_INTEGER started;
    HWND window = nullptr;
    while (!window && WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT)
        window = ui::FindProcessWindow(pi.dwProcessId, kMainWindowClass);
    QueryPerformanceCounter(&started);
    std::atomic<bool> loading{true};
    std::atomic<bool> failed{false};
    // The probe: WM_NULL every 20 ms, each answer timed.
    std::thread probe([&] {
        bool first = true;
        while (window && loading) {
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result)) {
                failed = true;
                break;
            }
            QueryPerformanceCounter(&b);
            const double ms = Ms(a, b);
            if (first) run.firstAnswerMs = Ms(started, b);
            first = false;
            run.slowestMs = std::max(run.slowestMs, ms);
            ++run.answers;
            run.over100 += ms > 100.0;
            Sleep(20);
        }
    });
    // Done when the view holds the whole text; asked twice a second.
    // The view exists once the window's creation has made its controls.
    HWND memo = nullptr;
    const ULONGLONG until = GetTickCount64() + 15 * 60 * 1000;
    while (window && !memo && GetTickCount64() < until) {
        memo = ui::FindControl(window, ids::Memo1);
        Sleep(1);
    }
    while (memo && !failed && GetTickCount64() < until) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(memo, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 120000, &length)) break;
        // With no log there is nothing to load: ten seconds of answers as the yardstick.
        const bool done = logBytes ? static_cast<LRESULT>(length) >= loaded : Ms(started, Now()) >= 10000.0;
        if (done) {
            run.ok = true;
            break;
        }
        Sleep(500);
    }
    LARGE_INTEGER done;
    QueryPerformanceCounter(&done);
    run.loadSeconds = Ms(started, done) / 1000.0;
    loading = false;
    probe.join();
    Sleep(3000);  // a few refreshes after the load
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    DeleteFileA(log.c_str());
    // Wine leaves PrivateUsage empty; its PagefileUsage counts the same private pages.
    const SIZE_T privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    run.privateMb = privateBytes / 1048576.0;
    run.peakPrivateMb = counters.PeakPagefileUsage / 1048576.0;
    return run;
}

// A day of whole connections as the plug-in writes them, up to `bytes`.
std::string ConnectionsLogOfSize(size_t bytes) {
    const std::string stamp = "[" + TodayShortDateText() + "] : [12:34:56] - ";
    auto line = [&](const std::string& message) { return stamp + message + "\r\n"; };
    std::string log;
    log.reserve(bytes + 4096);
    for (int i = 0; log.size() < bytes; ++i) {
        log += line("Принято новое подключение") + line("***Поток таймера запущен***") + line("Подключен интерфейс") +
               "\r\n\r\n" + line("Пришел пользователь:") + line(">USER: caller" + std::to_string(i % 500)) +
               line(">PASS: secret") + line(">LIMIT: 30") + "\r\n\r\n\r\n" + line("FTP сервер останавливается") +
               line("Изменяем users.ini (создаем аккаунт для юзера) ...") + line("FTP сервер запускается") +
               line("MprAdminServerConnect - ok") + line("MprAdminPortClearStats - ok") +
               line("MprAdminPortReset - ok") + line("Отключен интерфейс") + line("MprAdminPortDisconnect - ok") +
               line("Пользователь отключен по окончании лимита времени") + line("***ExitThread***") +
               line("Поток успешно завершен") + line("Продолжительность соединения: 1800") +
               line("Байт принято: " + std::to_string(100000 + i)) + line("Байт отправлено: 20480") +
               line("Произошло отключение пользователя от интерфейса");
    }
    return log;
}

// The day's connections window on a 10 MB log: opening it (the days, the
// whole read, the rows, the list's first paint), the parse alone, and one
// refresh after a connection was appended.
void BenchReport(HINSTANCE instance) {
    const std::string folder = TempFolder("pwreport");
    WriteConfig(folder);
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    const std::string bytes = ConnectionsLogOfSize(10u << 20);
    WriteWholeFile(log, bytes);
    TForm1* form = TForm1::Create(instance, folder);
    if (!form) return;
    size_t rows = 0;
    const double parse = MedianMs(5, [&] { rows = ReadConnectionReport(bytes).size(); });
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    SendMessageW(form->Handle(), WM_COMMAND, ids::N19, 0);
    QueryPerformanceCounter(&b);
    HWND report = form->Form5 ? form->Form5->Handle() : nullptr;
    if (report) UpdateWindow(report);
    QueryPerformanceCounter(&c);
    const std::string more = ConnectionsLogOfSize(1);
    const double refresh = MedianMs(5, [&] {
        UniqueHandle file(CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), more.data(), static_cast<DWORD>(more.size()), &written, nullptr);
        file.Reset();
        SendMessageW(report, WM_TIMER, 1, 0);
        UpdateWindow(report);
    });
    const double idle = MedianMs(5, [&] { SendMessageW(report, WM_TIMER, 1, 0); });
    std::printf("report, 10 MB log (%zu connections): open %.1f ms (of which shown and painted %.1f ms), "
                "parse alone %.1f ms; refresh after a connection %.2f ms, with nothing new %.3f ms\n",
                rows, Ms(a, c), Ms(b, c), parse, refresh, idle);
    DestroyWindow(form->Handle());
    DeleteFileA(log.c_str());
}

}  // namespace

// No argument: everything; "refresh", "load" or "report": that part alone.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (only == "report") {
        BenchReport(instance);
        return 0;
    }
    if (only != "load") {
        BenchRefresh(instance, 100u << 10, "100 KB");
        BenchRefresh(instance, 1u << 20, "1 MB");
        BenchRefresh(instance, 10u << 20, "10 MB");
    }
    if (only == "refresh") return 0;
    if (only != "load") {
        EditCostBySize();
        BenchReport(instance);
    }
    const ConsoleRun without = RunConsole(0);
    const ConsoleRun with = RunConsole(10u << 20);
    std::printf("portwatch.exe private memory: no log %.1f MB, 10 MB log %.1f MB (peak %.1f MB, %.1f MB)\n",
                without.privateMb, with.privateMb, without.peakPrivateMb, with.peakPrivateMb);
    std::printf("no log, nothing to load: first answer %.1f ms after the window appeared, slowest WM_NULL answer "
                "%.1f ms of %d (%d over 100 ms) in 10 s\n",
                without.firstAnswerMs, without.slowestMs, without.answers, without.over100);
    for (const auto& size : {std::make_pair(1u << 20, "1 MB"), std::make_pair(10u << 20, "10 MB"),
                             std::make_pair(50u << 20, "50 MB")}) {
        const ConsoleRun run = size.first == (10u << 20) ? with : RunConsole(size.first);
        std::printf("load at start %-6s %s: first answer %.1f ms after the window appeared, slowest WM_NULL answer "
                    "%.1f ms of %d (%d over 100 ms), view loaded in %.1f s; private memory %.1f MB (peak %.1f MB)\n",
                    size.second, run.ok ? "done" : "NOT DONE", run.firstAnswerMs, run.slowestMs, run.answers,
                    run.over100, run.loadSeconds, run.privateMb, run.peakPrivateMb);
    }
    return 0;
}

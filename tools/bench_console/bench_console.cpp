// bench_console.exe: what one monitoring refresh of the console costs with
// today's log at 100 KB, 1 MB and 10 MB, against a plain read of the same
// file; the day's connections window on a 10 MB log ("bench_console report"
// for that alone); and the private memory of a running portwatch.exe with a
// 10 MB log. Run under Wine and Xvfb from the build's bin folder. Not a test.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Ids.h"
#include "Report.h"
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
    std::printf("%-7s read %8.2f ms | refresh, log grew %9.2f ms | refresh, log unchanged %6.3f ms\n", label, read,
                changed, unchanged);
    // Where a full load goes: the edit control taking the whole text.
    HWND memo = GetDlgItem(form->Handle(), 301);
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
    size_t tail = 0;
    int64_t lines = 0;
    const double stamp = MedianMs(runs, [&] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &data);
    });
    const double compare = MedianMs(runs, [&] { tail = LogAppendOffset(shown, grown); });
    const double count = MedianMs(runs, [&] { lines = LogScrollLines(grown); });
    const double keep = MedianMs(runs, [&] { std::string copy = grown; });
    const double append = MedianMs(runs, [&] {
        const std::wstring added = FromCp1251(LogViewText(std::string_view(grown).substr(tail)));
        const LRESULT end = GetWindowTextLengthW(memo);
        SendMessageW(memo, EM_SETSEL, end, end);
        SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    });
    const double append1 = MedianMs(runs, [&] { AppendLine(log); });
    std::printf("        refresh pieces: stamp %.3f, read %.3f, compare with shown %.3f, count lines %.3f (%lld), "
                "copy %.3f, append to edit %.3f, append a line to the file %.3f ms\n",
                stamp, read, compare, count, static_cast<long long>(lines), keep, append, append1);
    DestroyWindow(form->Handle());
    DeleteFileA(log.c_str());
}

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

Memory MemoryOfConsole(size_t logBytes) {
    const std::string folder = TempFolder(logBytes ? "pwmem" : "pwmem0");
    WriteConfig(folder);
    CopyFileA((ProgramFolder() + "portwatch.exe").c_str(), (folder + "portwatch.exe").c_str(), FALSE);
    if (logBytes) WriteWholeFile(folder + "logs\\" + TodayShortDateText() + "_log.txt", LogOfSize(logBytes));
    std::string line = "\"" + folder + "portwatch.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return {};
    CloseHandle(pi.hThread);
    Sleep(15000);  // start-up, the first load of the log and several refreshes
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    // Wine leaves PrivateUsage empty; its PagefileUsage counts the same private pages.
    return {counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage, counters.WorkingSetSize};
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

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "report") {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        BenchReport(GetModuleHandleW(nullptr));
        return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    BenchRefresh(instance, 100u << 10, "100 KB");
    BenchRefresh(instance, 1u << 20, "1 MB");
    BenchRefresh(instance, 10u << 20, "10 MB");
    BenchReport(instance);
    const Memory without = MemoryOfConsole(0);
    const Memory with = MemoryOfConsole(10u << 20);
    std::printf("portwatch.exe private memory: no log %.1f MB, 10 MB log %.1f MB (working set %.1f MB, %.1f MB)\n",
                without.privateBytes / 1048576.0, with.privateBytes / 1048576.0, without.workingSet / 1048576.0,
                with.workingSet / 1048576.0);
    return 0;
}

// bench_console.exe: the console's log view under Wine, beside a yardstick
// measured in the same run, and the day's connections window.
//
//   bench_console.exe view [PORTWATCH [SECONDS]]   a running portwatch.exe
//       (this build's, or the one named, e.g. an earlier build's) with no log
//       (the yardstick) and today's log at 1, 10, 50 and 200 MB: the slowest
//       answer to WM_NULL, sent every 20 ms from here, during start-up (the
//       window hidden, as the console starts), "Очистить лог", the file
//       replaced (as at midnight, the view loads another file) and a refresh
//       after a line was appended, each phase at most SECONDS; the first paint
//       of the log after the window is shown; the private memory; a whole
//       monitoring tick after one line, sent from here
//   bench_console.exe refresh            the view's refresh after one line was
//       appended to a 50 MB log, against a plain read of the appended bytes
//       and a repaint of the same view
//   bench_console.exe getsel             EM_GETSEL with everything selected in a
//       50 MB log whose lines end in a lone CR
//   bench_console.exe report             the day's connections window on a 10 MB log
//   bench_console.exe                    refresh, getsel, view and report
//
// Run under Wine and Xvfb from the build's bin folder. Not a test.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Ids.h"
#include "LogViewControl.h"
#include "Report.h"
#include "UiDriver.h"
#include "Win32Clock.h"
#include "Unit1.h"
#include "Win32Files.h"
#include "Win32Ui.h"
#include "logic/Monitor.h"

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

// Lines like the plug-in's, up to `bytes`; `word` tells two logs apart.
std::string LogOfSize(size_t bytes, const char* word = "Изменяем") {
    const std::string line = "[" + TodayShortDateText() + "] : [23:00:42] - " + word +
                             " users.ini (создаем аккаунт для юзера) ...\r\n";
    std::string log;
    log.reserve(bytes + line.size());
    while (log.size() < bytes) log += line;
    return log;
}

const char kAppended[] = "[x] : [y] - Подключен интерфейс\r\n";

void AppendLine(const std::string& path) {
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), kAppended, sizeof kAppended - 1, &written, nullptr);
}

template <typename Work>
double MedianMs(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const LARGE_INTEGER a = CounterNow();
        work();
        times.push_back(CounterMs(a, CounterNow()));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}

// --- The refresh after one line, in this process ------------------------------

// A log view in a window of its own, showing `log` (holding `bytes`) whole:
// the load goes on in its steps, as the view's timer drives them.
struct ViewOnLog {
    HWND parent = nullptr;
    TLogView* view = nullptr;
    FontPtr font;
    double loadMs = 0;
    ViewOnLog(const std::string& log, const std::string& bytes) {
        parent = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 520, 440, nullptr,
                                 nullptr, nullptr, nullptr);
        view = TLogView::Create(parent, ids::Memo1);
        font = MakeConsoleFont();
        SendMessageW(view->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        MoveWindow(view->Handle(), 0, 0, 505, 400, TRUE);
        const LARGE_INTEGER start = CounterNow();
        view->Refresh(log);
        const LRESULT whole = static_cast<LRESULT>(LogViewText(bytes).size());
        while (SendMessageW(view->Handle(), WM_GETTEXTLENGTH, 0, 0) < whole) {
            MSG msg;
            if (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        }
        loadMs = CounterMs(start, CounterNow());
        UpdateWindow(view->Handle());
    }
    ~ViewOnLog() { DestroyWindow(parent); }
};

void BenchRefresh() {
    const std::string folder = TempFolder("pwrefresh");
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    WriteWholeFile(log, LogOfSize(50u << 20));
    ViewOnLog bench(log, LogOfSize(50u << 20));
    TLogView* view = bench.view;
    const double load = bench.loadMs;
    // In turns: a line appended, then our refresh and its repaint; a line
    // appended, then a plain read of it and a repaint of the same view, its
    // client alone and the whole of it (a refresh moves the scroll bar).
    std::vector<double> ours, oursRead, plain, plainWhole;
    std::string bytes;
    const HWND shown = view->Handle();
    auto plainRead = [&](UINT redraw) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &data);
        AppendLine(log);
        const LARGE_INTEGER a = CounterNow();
        ReadFileFrom(log, data.nFileSizeLow, bytes);
        RedrawWindow(shown, nullptr, nullptr, redraw | RDW_INVALIDATE | RDW_UPDATENOW);
        const double ms = CounterMs(a, CounterNow());
        view->Refresh(log);  // takes the yardstick's line in
        UpdateWindow(shown);
        return ms;
    };
    for (int i = 0; i < 41; ++i) {
        AppendLine(log);
        const LARGE_INTEGER a = CounterNow();
        view->Refresh(log);
        const LARGE_INTEGER b = CounterNow();
        UpdateWindow(shown);
        ours.push_back(CounterMs(a, CounterNow()));
        oursRead.push_back(CounterMs(a, b));
        plain.push_back(plainRead(0));
        plainWhole.push_back(plainRead(RDW_FRAME));
    }
    std::printf("refresh after one line at 50 MB, median of %zu: %.3f ms (of it the refresh %.3f ms, the repaint the "
                "rest)\n  yardstick, a plain read of the line and a repaint of the whole view: %.3f ms (ratio %.2f); "
                "of its client alone: %.3f ms (ratio %.2f)\n  the load before, in steps: %.1f ms\n",
                ours.size(), Median(ours), Median(oursRead), Median(plainWhole), Median(ours) / Median(plainWhole),
                Median(plain), Median(ours) / Median(plain), load);
    DeleteFileA(log.c_str());
}

// EM_GETSEL with the whole text selected, where every line ends in a lone
// CR: the offsets handed out count each such end as CR LF.
void BenchGetSel() {
    const std::string folder = TempFolder("pwgetsel");
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    std::string bytes = LogOfSize(50u << 20);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\n'), bytes.end());
    WriteWholeFile(log, bytes);
    {
        ViewOnLog bench(log, bytes);
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(bench.view->Handle(), WM_KEYDOWN, 'A', 0);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        DWORD start = 0, end = 0;
        const double ms = MedianMs(21, [&] {
            SendMessageW(bench.view->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        });
        std::printf("EM_GETSEL, all of a %.1f MB log with lone CRs selected (%lu..%lu), median of 21: %.4f ms\n",
                    static_cast<double>(bytes.size()) / (1 << 20), start, end, ms);
    }
    DeleteFileA(log.c_str());
}

// --- A running portwatch.exe ------------------------------------------------------

// The slowest WM_NULL answer of a phase, and how many answers there were.
struct Phase {
    double slowestMs = 0;
    double slowestAt = 0;  // seconds into the phase
    int answers = 0;
    int over50 = 0;
    double seconds = 0;
    bool done = false;
};

// Sends WM_NULL every 20 ms from its own thread and keeps the slowest answer
// of the phase under way.
class Probe {
public:
    explicit Probe(HWND window) : window_(window), begun_(CounterNow().QuadPart), thread_([this] { Run(); }) {}
    ~Probe() {
        stop_ = true;
        thread_.join();
    }
    void Begin() {
        begun_ = CounterNow().QuadPart;
        slowest_ = 0;
        slowestAt_ = 0;
        answers_ = 0;
        over50_ = 0;
    }
    Phase End(LARGE_INTEGER since, bool done) const {
        return Phase{slowest_.load(), slowestAt_.load(), answers_.load(), over50_.load(), CounterMs(since, CounterNow()) / 1000.0, done};
    }

private:
    void Run() {
        while (!stop_) {
            const LARGE_INTEGER a = CounterNow();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result)) return;
            const double ms = CounterMs(a, CounterNow());
            if (ms > slowest_) {
                slowest_ = ms;
                LARGE_INTEGER begun;
                begun.QuadPart = begun_;
                slowestAt_ = CounterMs(begun, a) / 1000.0;
            }
            ++answers_;
            over50_ += ms > 50.0;
            Sleep(20);
        }
    }
    HWND window_;
    std::atomic<long long> begun_;
    std::atomic<bool> stop_{false};
    std::atomic<double> slowest_{0};
    std::atomic<double> slowestAt_{0};
    std::atomic<int> answers_{0};
    std::atomic<int> over50_{0};
    std::thread thread_;
};

LRESULT ViewLength(HWND view) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(view, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 120000, &length)) return -1;
    return static_cast<LRESULT>(length);
}

// Waits until the view holds `length` characters, asking ten times a
// second, at most `limitMs`.
bool WaitLength(HWND view, LRESULT length, DWORD limitMs) {
    const ULONGLONG until = GetTickCount64() + limitMs;
    while (GetTickCount64() < until) {
        if (ViewLength(view) == length) return true;
        Sleep(100);
    }
    return false;
}

// Whether the screen shows anything but the background at the top of the
// view: its top rows are taken from the screen in one piece.
bool Drawn(HWND view) {
    RECT r;
    GetClientRect(view, &r);
    POINT origin{0, 0};
    ClientToScreen(view, &origin);
    const int width = std::min<int>(r.right, 300), height = std::min<int>(r.bottom, 16);
    if (width <= 4 || height <= 4) return false;
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    const COLORREF background = GetPixel(copy, width - 1, height - 1);
    bool ink = false;
    for (int y = 0; y < height && !ink; ++y)
        for (int x = 0; x < width - 1 && !ink; ++x) ink = GetPixel(copy, x, y) != background;
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(nullptr, screen);
    return ink;
}

struct ConsoleRun {
    bool started = false;
    double firstAnswerMs = -1;  // from the window's appearance: its creation
    double firstPaintMs = -1;   // from the click that shows it, after the load
    Phase startUp, clear, replaced, refresh;
    double tickMs = 0;          // Timer1Timer after one line, sent from the bench
    double privateMb = 0;
};

// A portwatch.exe of its own folder with today's log of `logBytes` (none: no
// log, the yardstick), driven through the phases while the probe runs.
ConsoleRun RunConsole(const std::string& program, size_t logBytes, DWORD limitMs) {
    const std::string folder = TempFolder("pwview");
    WriteConfig(folder);
    CopyFileA(program.c_str(), (folder + "portwatch.exe").c_str(), FALSE);
    const std::string log = folder + "logs\\" + TodayShortDateText() + "_log.txt";
    const std::string other = folder + "other.txt";
    const LRESULT length = static_cast<LRESULT>(LogViewText(LogOfSize(logBytes)).size());
    // Another log of another length, so that its load shows in the length.
    const LRESULT otherLength = static_cast<LRESULT>(LogViewText(LogOfSize(logBytes, "Заменили файл")).size());
    if (logBytes) {
        WriteWholeFile(log, LogOfSize(logBytes));
        WriteWholeFile(other, LogOfSize(logBytes, "Заменили файл"));
    }
    std::string line = "\"" + folder + "portwatch.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ConsoleRun run;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return run;
    CloseHandle(pi.hThread);
    HWND window = nullptr;
    while (!window && WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT)
        window = ui::FindProcessWindow(pi.dwProcessId, kMainWindowClass);
    LARGE_INTEGER start = CounterNow();
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    run.firstAnswerMs = CounterMs(start, CounterNow());
    HWND view = ui::FindControl(window, ids::Memo1);
    run.started = view != nullptr;
    if (run.started) {
        Probe probe(window);
        // Start-up as the console starts: hidden, the tray icon alone.
        if (!logBytes) {
            Sleep(10000);  // ten seconds of answers with nothing to read
            run.startUp = probe.End(start, true);
        } else {
            run.startUp = probe.End(start, WaitLength(view, length, limitMs));
        }
        // Shown as a click on the tray icon shows it; the first paint of the
        // log is looked for on the screen.
        PostMessageW(window, kTrayMessage, 1, WM_LBUTTONUP);
        const LARGE_INTEGER shown = CounterNow();
        while (run.firstPaintMs < 0 && CounterMs(shown, CounterNow()) < 10000) {
            if (IsWindowVisible(window) && Drawn(view)) run.firstPaintMs = CounterMs(shown, CounterNow());
            Sleep(1);
        }
        if (logBytes) {
            probe.Begin();
            start = CounterNow();
            SendMessageTimeoutW(window, WM_COMMAND, ids::N1, 0, SMTO_NORMAL, 60000, &ignored);  // "Очистить лог"
            run.clear = probe.End(start, WaitLength(view, length, limitMs));

            probe.Begin();
            start = CounterNow();
            MoveFileExA(other.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING);
            run.replaced = probe.End(start, WaitLength(view, otherLength, limitMs));

            probe.Begin();
            start = CounterNow();
            AppendLine(log);
            run.refresh = probe.End(start, WaitLength(view, otherLength + sizeof kAppended - 1, 10000));
        }
    }
    // The whole monitoring tick after one line was appended, sent from here
    // (the round trip of a message included), median of 11.
    std::vector<double> ticks;
    for (int i = 0; run.started && logBytes && i < 11; ++i) {
        AppendLine(log);
        const LARGE_INTEGER a = CounterNow();
        SendMessageTimeoutW(window, WM_TIMER, 1, 0, SMTO_NORMAL, 120000, &ignored);
        ticks.push_back(CounterMs(a, CounterNow()));
    }
    run.tickMs = Median(ticks);
    Sleep(2000);  // a few refreshes after the last change
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // Wine leaves PrivateUsage empty; its PagefileUsage counts the same private pages.
    run.privateMb = (counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage) / 1048576.0;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    DeleteFileA(log.c_str());
    DeleteFileA(other.c_str());
    return run;
}

std::string Said(const Phase& p) {
    char text[128];
    snprintf(text, sizeof text, "%8.1f ms at %5.2f s of %4d (%d over 50)%s", p.slowestMs, p.slowestAt, p.answers,
             p.over50, p.done ? "" : " NOT DONE");
    return text;
}

void BenchView(const std::string& program, DWORD limitMs) {
    std::printf("portwatch: %s\n", program.c_str());
    std::printf("log    | phase      | slowest WM_NULL answer          | phase took | first answer | first paint | "
                "private memory | tick after a line\n");
    for (size_t mb : {0, 1, 10, 50, 200}) {
        const ConsoleRun run = RunConsole(program, mb << 20, limitMs);
        if (!run.started) {
            std::printf("%3zu MB | not started\n", mb);
            continue;
        }
        const std::pair<const char*, const Phase*> phases[] = {
            {"start-up", &run.startUp}, {"clear", &run.clear}, {"replaced", &run.replaced}, {"refresh", &run.refresh}};
        for (const auto& [name, p] : phases) {
            if (!mb && p != &run.startUp) continue;
            std::printf("%3zu MB | %-10s | %s | %8.2f s", mb, name, Said(*p).c_str(), p->seconds);
            if (p == &run.startUp)
                std::printf(" | %9.1f ms | %8.1f ms | %6.1f MB | %.2f ms", run.firstAnswerMs, run.firstPaintMs,
                            run.privateMb, run.tickMs);
            std::printf("\n");
        }
    }
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
    const LARGE_INTEGER a = CounterNow();
    SendMessageW(form->Handle(), WM_COMMAND, ids::N19, 0);
    const LARGE_INTEGER b = CounterNow();
    HWND report = form->Form5 ? form->Form5->Handle() : nullptr;
    if (report) UpdateWindow(report);
    const LARGE_INTEGER c = CounterNow();
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
                rows, CounterMs(a, c), CounterMs(b, c), parse, refresh, idle);
    DestroyWindow(form->Handle());
    DeleteFileA(log.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (only.empty() || only == "refresh") BenchRefresh();
    if (only.empty() || only == "getsel") BenchGetSel();
    // An earlier console may take minutes a phase at 50 and 200 MB: a third
    // argument bounds each phase (seconds; 300 unless given).
    if (only.empty() || only == "view")
        BenchView(argc > 2 ? argv[2] : ProgramFolder() + "portwatch.exe", (argc > 3 ? atoi(argv[3]) : 300) * 1000);
    if (only.empty() || only == "report") BenchReport(instance);
    return 0;
}

// bench_report.exe: the connections report on a month of logs. Not a test.
//
//   bench_report                 thirty 2 MB logs (the last 30 days, today's
//                                among them): the window opened on them, read,
//                                parsed and drawn; opened again; the once-a-
//                                second refresh after today's log grew and with
//                                nothing new; the slowest answer to WM_NULL,
//                                sent every 20 ms from another thread meanwhile
//                                (BENCH_TRACE=1: each answer over 50 ms, and when)
//   bench_report console PORTWATCH...
//                                each console given (this build's, an earlier
//                                build's) run as the operator runs it, on a
//                                year of an ordinary line's logs (the range
//                                from the oldest day to today chosen) and on
//                                a 208 MB day (today's, the window's first
//                                view): how long until the period is listed
//                                (from the menu command for the day, from
//                                the range's choice for the year), the
//                                slowest answer of the console's window
//                                while the report reads, and its private
//                                memory before
//                                opening the report, with it open, and after
//                                closing it
//   bench_report logs FOLDER [DAYS [busy]]
//                                writes DAYS (default 40) days of an ordinary
//                                line's logs before today into FOLDER (a
//                                LOG_PATH, with its final backslash), for the
//                                demonstration and the screenshots; "busy":
//                                the benchmark's logs, calls back to back
//
// The logs are composed as the plug-in composes them (ComposeLogLine and the
// log's own texts) with the locale's date and time; a month has a day
// without a log, connections across midnight, refused callers with their
// hang-ups marked as nobody's, connections found gone, duplicate hang-ups.
// Run under Wine and Xvfb from the build's bin folder.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DateText.h"
#include "Ids.h"
#include "LogFormat.h"
#include "LogTexts.h"
#include "Report.h"
#include "UiDriver.h"
#include "Win32Clock.h"
#include "Win32Files.h"
#include "Win32Handles.h"
#include "logic/ReportPeriod.h"

namespace {

constexpr int64_t kDay = 86400;

// A small fixed generator: the same logs on every run.
class Random {
public:
    uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state_ >> 33);
    }
    int Between(int low, int high) { return low + static_cast<int>(Next() % static_cast<uint32_t>(high - low + 1)); }
    bool Chance(int percent) { return Between(1, 100) <= percent; }

private:
    uint64_t state_ = 20261208;
};

// The logs of a run of days, as files by their date text: each line goes to
// the file of the day it is written on, in the order of time.
class LogWriter {
public:
    LogWriter(int64_t firstDay, int64_t missingDay) : firstDay_(firstDay), missingDay_(missingDay) {}

    // `at` in seconds from the first day's midnight.
    void Line(int64_t at, const std::string& message) { lines_.push_back({at, true, message}); }
    void Plain(int64_t at, const std::string& message) { lines_.push_back({at, false, message}); }

    std::map<std::string, std::string> Files() const {
        std::vector<const Written*> ordered;
        for (const Written& line : lines_) ordered.push_back(&line);
        std::stable_sort(ordered.begin(), ordered.end(), [](const Written* a, const Written* b) { return a->at < b->at; });
        std::map<std::string, std::string> files;
        for (const Written* line : ordered) {
            const int64_t day = firstDay_ + line->at / kDay;
            if (day == missingDay_) continue;
            const SYSTEMTIME when = TimeOf(day, line->at % kDay);
            const std::string date = ShortDateText(when);
            files[date] += ToTextMode(ComposeLogLine(line->message, line->dated, date, LongTimeText(when)));
        }
        return files;
    }

private:
    struct Written {
        int64_t at;
        bool dated;
        std::string message;
    };
    static SYSTEMTIME TimeOf(int64_t day, int64_t second) {
        int year, month, dayOfMonth;
        CivilDate(day, year, month, dayOfMonth);
        SYSTEMTIME when{};
        when.wYear = static_cast<WORD>(year);
        when.wMonth = static_cast<WORD>(month);
        when.wDay = static_cast<WORD>(dayOfMonth);
        when.wHour = static_cast<WORD>(second / 3600);
        when.wMinute = static_cast<WORD>(second / 60 % 60);
        when.wSecond = static_cast<WORD>(second % 60);
        return when;
    }
    int64_t firstDay_;
    int64_t missingDay_;
    std::vector<Written> lines_;
};

// A hang-up's block; `nobodys` marks it as belonging to no timed connection.
void Hangup(LogWriter& log, int64_t at, bool ended, int64_t seconds, int64_t rx, int64_t tx, bool nobodys) {
    if (nobodys) log.Line(at, log_text::kUnmatchedHangup);
    log.Line(at, ended ? log_text::kWorkerEnded : log_text::kWorkerNotEnded);
    log.Line(at, log_text::kDuration + std::to_string(seconds));
    log.Line(at, log_text::kBytesReceived + std::to_string(rx));
    log.Line(at, log_text::kBytesSent + std::to_string(tx));
    log.Line(at, log_text::kUserHungUp);
}

const char* const kLogins[] = {"ivan_petrov", "maria", "s.orlov", "anna_k", "petr1985", "olga", "dmitry_v", "nina"};

// One connection from `at`: what the plug-in writes for it, and when the line is free again.
int64_t Connection(LogWriter& log, Random& random, int64_t at, bool busy) {
    log.Line(at, log_text::kIpRequested);
    log.Line(at, log_text::kConnectionAccepted);
    log.Line(at, log_text::kWorkerStarted);
    log.Line(at + 1, log_text::kLinkUp);
    const bool registers = !random.Chance(busy ? 3 : 12);
    const int limitMinutes = busy ? 1 : random.Between(5, 90);
    int64_t userAt = at + (busy ? 2 : random.Between(10, 120));
    if (registers) {
        log.Plain(userAt, "\n");
        log.Line(userAt, log_text::kUserArrived);
        log.Line(userAt, std::string(log_text::kUserLine) + kLogins[random.Next() % 8]);
        log.Line(userAt, std::string(log_text::kPassLine) + "secret");
        log.Line(userAt, log_text::kLimitLine + std::to_string(limitMinutes) + "\n");
        log.Plain(userAt, "\n");
        log.Line(userAt, log_text::kFtpStopping);
        log.Line(userAt + 1, log_text::kFtpAccount);
        log.Line(userAt + 1, log_text::kFtpStarting);
    }
    const int64_t limitEnd = at + (registers ? limitMinutes * 60 : 5 * 60);
    const int kind = random.Between(1, 100);
    int64_t end;
    if (kind <= 4 && registers) {
        // The service lost the hang-up: the worker finds the connection gone.
        end = std::min(limitEnd, userAt + random.Between(60, 1200));
        log.Line(end, log_text::kConnectionGone);
        log.Line(end, log_text::kDuration + std::to_string(end - at));
        log.Line(end, log_text::kUserHungUp);
        // The service's own hang-up afterwards belongs to nobody.
        Hangup(log, end + 3, false, end + 3 - at, 0, 0, true);
        return end + 4;
    }
    // Busy: most callers hang up within a minute.
    if ((busy ? kind <= 10 : kind <= 55) || !registers) {
        // The limit (or the registration window) runs out.
        end = limitEnd;
        for (const char* call : log_text::kDisconnectCalls) log.Line(end, call + std::string(log_text::kCallOk));
        log.Line(end, log_text::kDisconnected);
        log.Line(end, log_text::kExitThread);
    } else {
        end = std::min(limitEnd - 1, userAt + (busy ? random.Between(2, 12) : random.Between(30, 3000)));
        end = std::max(end, userAt + 1);
    }
    // A refused second caller meanwhile, whose hang-up is marked as nobody's.
    if (!busy && random.Chance(10) && end - at > 120) {
        const int64_t refusedAt = at + random.Between(60, static_cast<int>(end - at) - 30);
        log.Line(refusedAt, log_text::kSecondConnectionRefused);
        Hangup(log, refusedAt + 2, false, 2, 0, 0, true);
    }
    log.Line(end, log_text::kLinkDown);
    Hangup(log, end, true, end - at, random.Between(1, 900) * (end - at), random.Between(1, 200) * (end - at), false);
    // Now and then the service reports the same hang-up twice.
    if (random.Chance(5)) Hangup(log, end + 1, false, end - at, 0, 0, true);
    log.Line(end + 1, log_text::kIpReleased);
    return end + 2;
}

// `days` days from `firstDay`: ordinary ones busy in the evening and at
// night, or busy ones (calls back to back, about 2 MB a day); the day
// `missingDay` has no log.
std::map<std::string, std::string> MakeLogs(int64_t firstDay, int days, int64_t missingDay, bool busy) {
    LogWriter log(firstDay, missingDay);
    Random random;
    const int64_t end = static_cast<int64_t>(days) * kDay;
    // The service started each morning, as after a restart of the server,
    // unless a caller is on the line then.
    int64_t restart = 6 * 3600;
    auto restartsBefore = [&](int64_t at) {
        for (; restart < at; restart += kDay) {
            log.Line(restart, LogBanner("1.0.0"));
            log.Line(restart, std::string(log_text::kConfigLoadFrom) + "C:\\dialgate\\qv_config.ini");
            log.Line(restart, log_text::kConfigLoaded);
            log.Line(restart, log_text::kInitialized);
        }
    };
    for (int64_t at = busy ? 6 * 3600 + 10 : 18 * 3600; at < end - 3 * 3600;) {
        restartsBefore(at);
        at = Connection(log, random, at, busy);
        while (restart < at) restart += kDay;
        const int64_t hour = at % kDay / 3600;
        // Quiet by day, busier in the evening and at night.
        const bool evening = hour >= 18 || hour < 8;
        at += busy ? random.Between(10, 18) : evening ? random.Between(60, 2400) : random.Between(1800, 10800);
    }
    restartsBefore(end);
    return log.Files();
}

bool WriteLogs(const std::string& folder, const std::map<std::string, std::string>& files) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto& [day, bytes] : files)
        if (!WriteWholeFile(LogFileName(folder, day), bytes)) return false;
    return true;
}

int64_t Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DayNumber(now.wYear, now.wMonth, now.wDay);
}

// Sends WM_NULL every 20 ms from another thread and keeps the slowest answer.
class Responsiveness {
public:
    explicit Responsiveness(HWND window)
        : window_(window), start_(CounterNow()), thread_([this] {
              while (!stop_) {
                  const LARGE_INTEGER a = CounterNow();
                  DWORD_PTR result;
                  SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
                  const double ms = CounterMs(a, CounterNow());
                  slowest_ = std::max(slowest_.load(), ms);
                  if (ms > 100) ++over100_;
                  if (getenv("BENCH_TRACE") && ms > 50) std::fprintf(stderr, "  slow answer %.1f ms, sent at %.1f ms\n", ms, CounterMs(start_, a));
                  ++answers_;
                  Sleep(20);
              }
          }) {}
    ~Responsiveness() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    double Slowest() const { return slowest_; }
    int Answers() const { return answers_; }
    int Over100() const { return over100_; }

private:
    HWND window_;
    LARGE_INTEGER start_;
    std::atomic<bool> stop_{false};
    std::atomic<double> slowest_{0};
    std::atomic<int> answers_{0};
    std::atomic<int> over100_{0};
    std::thread thread_;
};

// Runs the window's messages until it has read and shown the period.
void PumpUntilLoaded(TForm5* form) {
    MSG msg;
    while (!form->Loaded() || PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (form->Loaded() && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) break;
    }
    UpdateWindow(form->Handle());
}

// Chooses the range from the oldest day offered to today, as the operator does.
void ChooseRange(TForm5* form) {
    HWND window = form->Handle();
    HWND from = GetDlgItem(window, form5::ComboBox1);
    const LRESULT count = SendMessageW(from, CB_GETCOUNT, 0, 0);
    SendMessageW(from, CB_SETCURSEL, count - 1, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(from));
    SendMessageW(GetDlgItem(window, form5::ComboBox2), CB_SETCURSEL, 0, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(form5::RadioButton4, BN_CLICKED), 0);
}

// Wine leaves PrivateUsage empty; its PagefileUsage counts the same private pages.
double PrivateMb(HANDLE process = GetCurrentProcess()) {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / (1 << 20);
}

// The log folder's files, for the rows the window must come to show.
class Files : public DayLogSource {
public:
    explicit Files(std::string folder) : folder_(std::move(folder)) {}
    LogFileStamp Stamp(const std::string& day) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(LogFileName(folder_, day).c_str(), GetFileExInfoStandard, &data)) return {};
        return {true, data.nFileSizeLow, data.ftLastWriteTime.dwLowDateTime};
    }
    bool Read(const std::string& day, uint64_t offset, size_t maxBytes, std::string& bytes) override {
        return ReadFileFrom(LogFileName(folder_, day), offset, bytes, maxBytes);
    }

private:
    std::string folder_;
};

std::string ShortDatePattern() {
    char pattern[80] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, sizeof pattern);
    return pattern;
}

int Bench() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "bench_report_" + std::to_string(GetCurrentProcessId()) + "\\";
    const int64_t today = Today();
    const auto files = MakeLogs(today - 29, 30, -1, true);
    if (!WriteLogs(folder, files)) {
        std::printf("cannot write the logs into %s\n", folder.c_str());
        return 1;
    }
    uint64_t total = 0;
    for (const auto& file : files) total += file.second.size();
    std::printf("%zu logs, %.1f MB in all, %.2f MB a day\n", files.size(), static_cast<double>(total) / (1 << 20),
                static_cast<double>(total) / (1 << 20) / static_cast<double>(files.size()));

    // The parse alone, all days at once, as a yardstick.
    Files source(folder);
    LARGE_INTEGER a = CounterNow();
    const PeriodRows rows = ReadPeriod(source, {today - 29, today}, today, ShortDatePattern());
    std::printf("read and parsed alone (ReadPeriod): %.1f ms, %zu connections\n", CounterMs(a, CounterNow()), rows.rows.size());

    HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    TForm5* form = TForm5::Create(instance, nullptr);
    if (!form) return 1;
    WorkingHours hours;
    hours.disabled = false;
    // What today's log grows by in the refresh runs: one connection, made now.
    std::string more = MakeLogs(today, 1, -1, true).begin()->second.substr(0, 4000);
    more = more.substr(0, more.rfind('\n') + 1);

    auto slowest = [](const Responsiveness& r) {
        char text[96];
        std::snprintf(text, sizeof text, "slowest WM_NULL answer %.1f ms (%d of %d over 100 ms)", r.Slowest(), r.Over100(),
                      r.Answers());
        return std::string(text);
    };
    double day, month;
    std::string opening;
    {
        Responsiveness answers(form->Handle());
        a = CounterNow();
        form->Show(folder, hours);
        PumpUntilLoaded(form);
        day = CounterMs(a, CounterNow());
        a = CounterNow();
        ChooseRange(form);
        PumpUntilLoaded(form);
        month = CounterMs(a, CounterNow());
        answers.Stop();
        opening = slowest(answers);
    }
    std::printf("opened: the window with today's log %.1f ms, then the 30 days read, parsed and drawn %.1f ms; %s\n",
                day, month, opening.c_str());

    // Closed and opened again: the days are kept, none has changed. Hiding
    // and showing the window waits on the X server under Wine: timed apart.
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    a = CounterNow();
    form->Show(folder, hours);
    const double shown = CounterMs(a, CounterNow());
    PumpUntilLoaded(form);
    {
        Responsiveness answers(form->Handle());
        const LARGE_INTEGER b = CounterNow();
        ChooseRange(form);
        PumpUntilLoaded(form);
        answers.Stop();
        std::printf("opened again on the same 30 days: shown %.1f ms, the 30 days %.1f ms; %s\n", shown, CounterMs(b, CounterNow()),
                    slowest(answers).c_str());
    }

    // The once-a-second refresh: today's log grown by one connection, and with nothing new.
    const std::string todayLog = LogFileName(folder, ShortDateText([] {
                                                 SYSTEMTIME now;
                                                 GetLocalTime(&now);
                                                 return now;
                                             }()));
    std::vector<double> grown, idle;
    {
        Responsiveness answers(form->Handle());
        for (int i = 0; i < 5; ++i) {
            UniqueHandle out(CreateFileA(todayLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, 0, nullptr));
            DWORD written = 0;
            WriteFile(out.Get(), more.data(), static_cast<DWORD>(more.size()), &written, nullptr);
            out.Reset();
            a = CounterNow();
            SendMessageW(form->Handle(), WM_TIMER, 1, 0);
            PumpUntilLoaded(form);
            grown.push_back(CounterMs(a, CounterNow()));
            a = CounterNow();
            SendMessageW(form->Handle(), WM_TIMER, 1, 0);
            PumpUntilLoaded(form);
            idle.push_back(CounterMs(a, CounterNow()));
        }
        answers.Stop();
        std::sort(grown.begin(), grown.end());
        std::sort(idle.begin(), idle.end());
        std::printf("refresh after today's log grew (median of 5): %.1f ms; with nothing new: %.2f ms; %s\n", grown[2],
                    idle[2], slowest(answers).c_str());
    }
    std::printf("private memory %.1f MB\n", PrivateMb());
    DestroyWindow(form->Handle());
    for (const auto& file : files) DeleteFileA(LogFileName(folder, file.first).c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}

// What a console did with one period.
struct ConsoleFigures {
    bool done = false;
    double openMs = 0;     // from the command until the period is read and listed
    double slowestMs = 0;  // the slowest answer of the console's window meanwhile
    int answers = 0, over100 = 0;
    double ownMb = 0, openMb = 0, closedMb = 0;  // before opening, open, after closing
};

// The process's private memory once it has settled: the same within 0.2 MB
// over a second, or after 30 s.
double SettledMb(HANDLE process) {
    double last = PrivateMb(process);
    for (int i = 0; i < 30; ++i) {
        Sleep(1000);
        const double now = PrivateMb(process);
        if (now - last < 0.2 && last - now < 0.2) return now;
        last = now;
    }
    return last;
}

// Until the report has read its period and lists `rows` rows.
bool WaitListed(HWND report, size_t rows) {
    const LARGE_INTEGER start = CounterNow();
    HWND list = GetDlgItem(report, form5::ListView1);
    while (CounterMs(start, CounterNow()) < 300000) {
        if (ui::ControlText(report, form5::StaticText3).find(L"читается") == std::wstring::npos &&
            ui::ListViewRowCount(list) == static_cast<int>(rows))
            return true;
        Sleep(5);
    }
    return false;
}

// `program` in a folder of its own whose LOG_PATH is `logs`: the report
// opened from the menu and, for `range`, the range from the oldest day to
// today chosen; then closed.
ConsoleFigures RunConsole(const std::string& program, const std::string& logs, bool range, size_t rows) {
    static int runs = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "bench_report_console_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++runs) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteWholeFile(folder + "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + folder + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + folder +
                                                 "time.txt\r\n[LOG]\r\nLOG_PATH=" + logs +
                                                 "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
    CopyFileA(program.c_str(), (folder + "portwatch.exe").c_str(), FALSE);
    std::string line = "\"" + folder + "portwatch.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ConsoleFigures f;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return f;
    CloseHandle(pi.hThread);
    HWND window = nullptr;
    while (!window && WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT)
        window = ui::FindProcessWindow(pi.dwProcessId, kMainWindowClass);
    // The console's own: its log view has read today's log.
    f.ownMb = SettledMb(pi.hProcess);
    {
        LARGE_INTEGER start = CounterNow();
        PostMessageW(window, WM_COMMAND, ids::N19, 0);
        HWND report = nullptr;
        while (!report || !IsWindowVisible(report)) {
            report = ui::FindProcessWindow(pi.dwProcessId, kReportWindowClass);
            Sleep(1);
        }
        // The answers while it reads, once the window is up (under Wine its
        // first showing alone takes 100-300 ms, see above).
        std::unique_ptr<Responsiveness> answers(new Responsiveness(window));
        if (range && WaitListed(report, 0)) {
            answers.reset(new Responsiveness(window));
            start = CounterNow();
            HWND from = GetDlgItem(report, form5::ComboBox1);
            SendMessageW(from, CB_SETCURSEL, SendMessageW(from, CB_GETCOUNT, 0, 0) - 1, 0);
            SendMessageW(report, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(from));
            SendMessageW(report, WM_COMMAND, MAKEWPARAM(form5::RadioButton4, BN_CLICKED), 0);
        }
        f.done = WaitListed(report, rows);
        f.openMs = CounterMs(start, CounterNow());
        answers->Stop();
        f.slowestMs = answers->Slowest();
        f.answers = answers->Answers();
        f.over100 = answers->Over100();
        f.openMb = PrivateMb(pi.hProcess);
        // Sent, not posted: it returns once the window has given back what it
        // read. Hidden is not yet given back: in a prefix whose windows a
        // window manager takes, Wine waits for one for 2 s within the hiding.
        DWORD_PTR result;
        SendMessageTimeoutW(report, WM_CLOSE, 0, 0, SMTO_NORMAL, 60000, &result);
    }
    f.closedMb = SettledMb(pi.hProcess);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    DeleteFileA((folder + "portwatch.exe").c_str());
    DeleteFileA((folder + "qv_config.ini").c_str());
    RemoveDirectoryA(folder.c_str());
    return f;
}

void PrintFigures(const char* period, const std::string& program, const ConsoleFigures& f) {
    std::printf("%-5s | %-52s | %s %8.1f ms | %6.1f ms (%d of %d over 100 ms) | %6.1f | %6.1f (+%.1f) | %6.1f (%+.1f)\n",
                period, program.c_str(), f.done ? "listed" : "NOT LISTED", f.openMs, f.slowestMs, f.over100, f.answers,
                f.ownMb, f.openMb, f.openMb - f.ownMb, f.closedMb, f.closedMb - f.ownMb);
}

int BenchConsoles(const std::vector<std::string>& programs) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string logs = std::string(temp) + "bench_report_logs_" + std::to_string(GetCurrentProcessId()) + "\\";
    const int64_t today = Today();
    Files source(logs);
    std::printf("period | portwatch.exe | listed after | slowest answer | own MB | open MB | after closing MB\n");

    // A year before today, as the demonstration's logs, one day without a log; none today.
    const auto year = MakeLogs(today - 365, 365, today - 365 + 365 / 3, false);
    uint64_t bytes = 0;
    for (const auto& file : year) bytes += file.second.size();
    if (!WriteLogs(logs, year)) return 1;
    const size_t yearRows = ReadPeriod(source, {today - 365, today}, today, ShortDatePattern()).rows.size();
    std::printf("year: %zu logs, %.1f MB, %zu rows, the range chosen after the window showed today\n", year.size(),
                static_cast<double>(bytes) / (1 << 20), yearRows);
    for (const std::string& program : programs) PrintFigures("year", program, RunConsole(program, logs, true, yearRows));
    for (const auto& file : year) DeleteFileA(LogFileName(logs, file.first).c_str());

    // Today's log of 208 MB: a busy day's connections over and over.
    const std::string busy = MakeLogs(today, 1, -1, true).begin()->second;
    std::string day;
    day.reserve(208u << 20);
    while (day.size() + busy.size() <= (208u << 20)) day += busy;
    const std::string todayLog = LogFileName(logs, ShortDateText([] {
                                                   SYSTEMTIME now;
                                                   GetLocalTime(&now);
                                                   return now;
                                               }()));
    if (!WriteWholeFile(todayLog, day)) return 1;
    const size_t dayRows = ReadPeriod(source, {today, today}, today, ShortDatePattern()).rows.size();
    std::printf("day: %.1f MB, %zu rows, the window's first view\n", static_cast<double>(day.size()) / (1 << 20), dayRows);
    std::string().swap(day);
    for (const std::string& program : programs) PrintFigures("day", program, RunConsole(program, logs, false, dayRows));
    DeleteFileA(todayLog.c_str());
    RemoveDirectoryA(logs.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "logs" && argc > 2) {
        const int days = argc > 3 ? std::max(2, atoi(argv[3])) : 40;
        const bool busy = argc > 4 && std::string(argv[4]) == "busy";
        const int64_t first = Today() - days;
        // One day without a log, a third of the way in.
        const auto files = MakeLogs(first, days, first + days / 3, busy);
        if (!WriteLogs(argv[2], files)) return 1;
        std::printf("%zu logs written into %s\n", files.size(), argv[2]);
        return 0;
    }
    if (command == "console" && argc > 2) return BenchConsoles(std::vector<std::string>(argv + 2, argv + argc));
    if (!command.empty()) {
        std::fputs("usage: bench_report [console PORTWATCH... | logs FOLDER [DAYS [busy]]]\n", stderr);
        return 2;
    }
    return Bench();
}

#include "Events.h"

#include <atomic>
#include <utility>

#include "DialgateEvents.h"
#include "Win32Handles.h"

const EventKind kEventKinds[7] = {
    {MSG_PLUGIN_LOADED, EVENTLOG_INFORMATION_TYPE, 4},  {MSG_CONFIG_MISSING, EVENTLOG_WARNING_TYPE, 1},
    {MSG_LOG_UNWRITABLE, EVENTLOG_ERROR_TYPE, 3},       {MSG_LOG_WRITABLE_AGAIN, EVENTLOG_INFORMATION_TYPE, 2},
    {MSG_CONNECTION_GONE, EVENTLOG_WARNING_TYPE, 1},    {MSG_WORKER_NOT_ENDED, EVENTLOG_ERROR_TYPE, 0},
    {MSG_SECOND_COPY, EVENTLOG_ERROR_TYPE, 2},
};

namespace {

SRWLOCK sinkLock = SRWLOCK_INIT;
EventSink sink;

// Opened for each event and let go at once: events are rare, and nothing of
// the plug-in stays open between its calls.
void ReportToApplicationLog(const PluginEvent& e) {
    HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
    if (!source) return;
    std::vector<LPCWSTR> strings;
    for (const std::wstring& s : e.inserts) strings.push_back(s.c_str());
    ReportEventW(source, e.type, 0, e.id, nullptr, static_cast<WORD>(strings.size()), 0,
                 strings.empty() ? nullptr : strings.data(), nullptr);
    DeregisterEventSource(source);
}

WORD TypeOf(DWORD id) {
    for (const EventKind& k : kEventKinds)
        if (k.id == id) return k.type;
    return EVENTLOG_INFORMATION_TYPE;
}

void Report(DWORD id, std::vector<std::wstring> inserts) noexcept {
    try {
        const PluginEvent e{TypeOf(id), id, std::move(inserts)};
        EventSink own;
        {
            SharedLock lock(sinkLock);
            own = sink;
        }
        if (own) {
            own(e);
        } else {
            ReportToApplicationLog(e);
        }
    } catch (...) {
        // Out of memory: the event is lost, the caller goes on.
    }
}

// Paths as the file functions take them: in the system's ANSI code page.
std::wstring Wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

// The system's own words for an error, in the system's language.
std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error, 0,
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text;
}

// Whether the log lost its last line, and how many it has lost since it
// last got through.
std::atomic<bool> logDown{false};
std::atomic<uint64_t> linesLost{0};

}  // namespace

void SetEventSink(EventSink s) {
    ExclusiveLock lock(sinkLock);
    sink = std::move(s);
}

void ReportPluginLoaded(std::string_view version, const std::string& moduleFile, const std::string& configFile,
                        const std::string& logFolder) noexcept {
    try {
        Report(MSG_PLUGIN_LOADED, {Wide(version), Wide(moduleFile), Wide(configFile), Wide(logFolder)});
    } catch (...) {
    }
}

void ReportConfigMissing(const std::string& configFile) noexcept {
    try {
        Report(MSG_CONFIG_MISSING, {Wide(configFile)});
    } catch (...) {
    }
}

void NoteLogWrite(const std::string& logFile, DWORD error, size_t lines) noexcept {
    try {
        if (error == 0) {
            // Every line that gets through passes here: one read when all is well.
            if (!logDown.load(std::memory_order_relaxed) || !logDown.exchange(false)) return;
            Report(MSG_LOG_WRITABLE_AGAIN, {Wide(logFile), std::to_wstring(linesLost.exchange(0))});
            return;
        }
        linesLost += lines;
        if (logDown.exchange(true)) return;
        Report(MSG_LOG_UNWRITABLE, {Wide(logFile), std::to_wstring(error), SystemMessage(error)});
    } catch (...) {
    }
}

void ReportConnectionGone(int64_t secondsTimed) noexcept {
    try {
        Report(MSG_CONNECTION_GONE, {std::to_wstring(secondsTimed)});
    } catch (...) {
    }
}

void ReportWorkerNotEnded() noexcept { Report(MSG_WORKER_NOT_ENDED, {}); }

void ReportSecondCopy(const std::wstring& listed, const std::wstring& self) noexcept {
    try {
        Report(MSG_SECOND_COPY, {listed, self});
    } catch (...) {
    }
}

#include "PluginWatch.h"

#include <algorithm>
#include <memory>

#include "CodePage.h"
#include "DateText.h"
#include "LogFormat.h"
#include "Win32Files.h"
#include "Win32Handles.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kDay = 86400;
// Each log is read backwards in pieces of this size.
constexpr size_t kPiece = 64 * 1024;

int64_t Seconds(const FILETIME& t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / kTicksPerSecond);
}

SYSTEMTIME TimeOf(int64_t seconds) {
    const uint64_t ticks = static_cast<uint64_t>(seconds) * kTicksPerSecond;
    const FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME st{};
    FileTimeToSystemTime(&t, &st);
    return st;
}

int64_t LocalFromUtc(const FILETIME& utc) {
    FILETIME local;
    return FileTimeToLocalFileTime(&utc, &local) ? Seconds(local) : 0;
}

}  // namespace

int64_t LocalSeconds(const SYSTEMTIME& local) {
    FILETIME t;
    return SystemTimeToFileTime(&local, &t) ? Seconds(t) : 0;
}

std::string LocalTimeText(int64_t seconds) {
    const SYSTEMTIME st = TimeOf(seconds);
    return ShortDateText(st) + " " + LongTimeText(st);
}

int64_t LocalDayStart(int back, std::string* shortDate) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wHour = now.wMinute = now.wSecond = now.wMilliseconds = 0;
    const int64_t start = LocalSeconds(now) - back * kDay;
    if (shortDate) *shortDate = ShortDateText(TimeOf(start));
    return start;
}

PluginLifecycle FindLastLifecycle(const std::string& logFolder, int64_t notBefore, int maxDays) {
    PluginLifecycleSearch search;
    std::string bytes;
    for (int back = 0; back <= maxDays && !search.Done(); ++back) {
        std::string date;
        const int64_t dayStart = LocalDayStart(back, &date);
        // A line of a day that ended before the service started is not of its start.
        if (notBefore != 0 && dayStart + kDay <= notBefore) break;
        UniqueHandle file = OpenForReading(LogFileName(logFolder, date));
        LARGE_INTEGER size{};
        if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) continue;
        for (uint64_t end = static_cast<uint64_t>(size.QuadPart);;) {
            const uint64_t start = end > kPiece ? end - kPiece : 0;
            if (!ReadOpenFileFrom(file.Get(), start, static_cast<size_t>(end - start), bytes)) break;
            if (search.FeedEarlier(bytes, start == 0, dayStart) || start == 0) break;
            end = start;
        }
    }
    search.End();
    return search.Found();
}

ServiceProcess QueryServiceProcess(const char* name, const ServiceProcess& previous) {
    ServiceProcess now;
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return now;
    ScHandle service(OpenServiceA(manager.Get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof status, &needed))
        return now;
    now.state = status.dwCurrentState;
    now.processId = status.dwProcessId;
    if (now.processId == 0) return now;
    // The same process started when it started; asked again only for another one.
    if (now.processId == previous.processId && previous.started != 0) {
        now.started = previous.started;
        return now;
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, now.processId));
    FILETIME created, exited, kernel, user;
    if (process.Valid() && GetProcessTimes(process.Get(), &created, &exited, &kernel, &user))
        now.started = LocalFromUtc(created);
    return now;
}

namespace {

// Reads the Application log from the record after the last one seen.
class ApplicationLog {
public:
    std::vector<PluginEventRecord> NewEvents() {
        std::vector<PluginEventRecord> events;
        HANDLE log = OpenEventLogW(nullptr, L"Application");
        if (!log) return events;
        DWORD oldest = 0, count = 0;
        if (GetOldestEventLogRecord(log, &oldest) && GetNumberOfEventLogRecords(log, &count) && count > 0) {
            const DWORD newest = oldest + count - 1;
            // At the first look, the last records only: a plug-in's run is what matters.
            if (next_ == 0) next_ = newest >= kFirstLook ? std::max(oldest, newest - kFirstLook + 1) : oldest;
            if (next_ < oldest) next_ = oldest;  // the log was cleared or wrapped
            if (next_ <= newest) Read(log, events);
        }
        CloseEventLog(log);
        return events;
    }

private:
    static constexpr DWORD kFirstLook = 2000;

    void Read(HANDLE log, std::vector<PluginEventRecord>& events) {
        std::vector<BYTE> buffer(64 * 1024);
        DWORD flags = EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ;
        for (;;) {
            DWORD read = 0, needed = 0;
            if (!ReadEventLogW(log, flags, next_, buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed)) {
                if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
                    buffer.resize(needed);
                    continue;
                }
                return;
            }
            flags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
            for (DWORD at = 0; at + sizeof(EVENTLOGRECORD) <= read;) {
                const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at);
                if (record->Length == 0 || at + record->Length > read) return;
                Take(*record, events);
                next_ = record->RecordNumber + 1;
                at += record->Length;
            }
        }
    }

    static void Take(const EVENTLOGRECORD& record, std::vector<PluginEventRecord>& events) {
        const auto* base = reinterpret_cast<const BYTE*>(&record);
        const auto* source = reinterpret_cast<const wchar_t*>(base + sizeof record);
        if (lstrcmpiW(source, L"dialgate") != 0) return;
        PluginEventRecord e;
        e.id = record.EventID;
        // Seconds since 1970 (UTC), as FILETIME's ticks since 1601.
        const uint64_t ticks = (static_cast<uint64_t>(record.TimeGenerated) + 11644473600ull) * kTicksPerSecond;
        e.at = LocalFromUtc(FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)});
        e.atText = LocalTimeText(e.at);
        // Event 1 names the version first, event 4 the lines lost second.
        const int wanted = PluginEventKindOf(e.id) == PluginEventKind::Loaded             ? 0
                           : PluginEventKindOf(e.id) == PluginEventKind::LogWritableAgain ? 1
                                                                                         : -1;
        const auto* text = reinterpret_cast<const wchar_t*>(base + record.StringOffset);
        for (int i = 0; i < record.NumStrings && wanted >= 0; ++i) {
            if (i == wanted) e.detail = ToCp1251(text);
            text += lstrlenW(text) + 1;
        }
        events.push_back(std::move(e));
    }

    DWORD next_ = 0;
};

}  // namespace

PluginEventSource ApplicationLogEvents() {
    auto log = std::make_shared<ApplicationLog>();
    return [log] { return log->NewEvents(); };
}

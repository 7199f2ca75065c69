// The plug-in's events in the Windows Application log, source "dialgate", with
// their texts in the message table of dialgate.dll (DialgateEvents.mc). Only
// what the administrator must learn even when the log is lost: that the
// plug-in was loaded, and what went wrong beyond one line; never one event per
// log line.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The event source, as DllRegisterServer registers it.
inline constexpr wchar_t kEventSource[] = L"dialgate";

struct PluginEvent {
    WORD type;  // EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE
    DWORD id;   // the message's ID in the message table
    std::vector<std::wstring> inserts;
};

// Each event the plug-in reports, and how many inserts its text takes.
struct EventKind {
    DWORD id;
    WORD type;
    size_t inserts;
};
extern const EventKind kEventKinds[7];

// Where events go: the Application log, unless a test puts a sink of its own;
// an empty sink puts the Application log back.
using EventSink = std::function<void(const PluginEvent&)>;
void SetEventSink(EventSink sink);

// The plug-in was loaded: its version, its file, where it read its
// configuration and where it logs.
void ReportPluginLoaded(std::string_view version, const std::string& moduleFile, const std::string& configFile,
                        const std::string& logFolder) noexcept;
void ReportConfigMissing(const std::string& configFile) noexcept;

// The outcome of `lines` lines written at once into `logFile`: `error` 0 when
// they got through, the system's error when they are lost (the file could not be
// opened, or the write failed). The first loss reports the log as unwritable,
// the first line that gets through after it as writable again with the
// number of lines lost meanwhile.
void NoteLogWrite(const std::string& logFile, DWORD error, size_t lines = 1) noexcept;

// The worker ended a connection that the service no longer listed.
void ReportConnectionGone(int64_t secondsTimed) noexcept;
// A hang-up could not end its connection's worker.
void ReportWorkerNotEnded() noexcept;
// Registering the plug-in `self` was refused: the service's list already has
// the copy `listed`.
void ReportSecondCopy(const std::wstring& listed, const std::wstring& self) noexcept;

// The plug-in's daily log: LOG_PATH + date + "_log.txt", one line per call,
// each opened, written and closed, so the console sees every line at once.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "Win32Handles.h"

// One line of the log: dated ("[date] : [time] - message") or plain.
struct LogLine {
    std::string_view message;
    bool dated = true;
};

// Lines composed and their day's file opened, not yet written. Opening is
// where a line may wait (a file another program holds, a folder to make), so
// a caller that must write under a lock prepares first and writes under it.
class PendingLog {
public:
    PendingLog() = default;
    PendingLog(UniqueHandle file, std::string path, std::string bytes, size_t lines)
        : file_(std::move(file)), path_(std::move(path)), bytes_(std::move(bytes)), lines_(lines) {}
    // Appends the lines in one write, so that no line of another thread comes
    // between them; false when the file could not be opened or written. Only
    // writes, so that it may be done under a lock.
    bool Write() noexcept;
    // Tells the Application log what the write meant (the log lost, or back),
    // with no lock held: the event log is another service and may be slow.
    void NoteOutcome() noexcept;

private:
    UniqueHandle file_;
    std::string path_;
    std::string bytes_;
    size_t lines_ = 0;
    bool tried_ = false;
    DWORD outcome_ = ERROR_SUCCESS;
};

// Never fails towards its caller: lines that cannot be composed or whose file
// cannot be opened (after a short bounded wait) come to nothing.
PendingLog PrepareLog(const std::string& logFolder, std::initializer_list<LogLine> lines) noexcept;

// Writes lines into the log of `logFolder` at once. (LogWrite, in Config.h,
// writes into the latest load's log; a worker writes where its own load logs.)
void LogWriteTo(const std::string& logFolder, std::initializer_list<LogLine> lines) noexcept;
void LogWriteTo(const std::string& logFolder, std::string_view message, bool dated) noexcept;

// How long a line waits for a file that another program holds with writing
// denied for a moment. After a line has given up, the lines that follow try
// once only until one gets through again, so that a file held for good cannot
// make a caller wait once per line.
constexpr DWORD kLogShareWaitMs = 600;

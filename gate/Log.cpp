#include "Log.h"

#include <atomic>

#include "DateText.h"
#include "Events.h"
#include "LogFormat.h"
#include "Win32Files.h"

namespace {

// Lines from the service's threads and the worker meet here; one write at a
// time keeps each line whole.
SRWLOCK logLock = SRWLOCK_INIT;

// Set when a line gave up waiting; cleared by the next line that gets through.
std::atomic<bool> logHeld{false};

// The folder is made (one level deep) once for each folder value, and again
// whenever it has gone; not for every line, which cost a hang-up more than
// its own lines.
SRWLOCK folderLock = SRWLOCK_INIT;
std::string folderMade;

void MakeFolder(const std::string& folder, bool again) {
    {
        SharedLock lock(folderLock);
        if (!again && folderMade == folder) return;
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    ExclusiveLock lock(folderLock);
    folderMade = folder;
}

UniqueHandle OpenForAppend(const std::string& folder, const std::string& path) {
    const ULONGLONG deadline = GetTickCount64() + (logHeld ? 0 : kLogShareWaitMs);
    bool folderTried = false;
    for (;;) {
        UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Valid()) {
            logHeld = false;
            return file;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND && !folderTried) {
            folderTried = true;
            MakeFolder(folder, true);
            continue;
        }
        // Only a file held by another program is worth waiting for; a missing
        // folder or an impossible name will not get better.
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
        if (GetTickCount64() >= deadline) {
            logHeld = true;
            return file;
        }
        Sleep(5);
    }
}

}  // namespace

PendingLog PrepareLog(const std::string& folder, std::initializer_list<LogLine> lines) noexcept {
    try {
        // One reading of the clock: the lines' date always names their file,
        // also for lines written on the stroke of midnight.
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::string date = ShortDateText(now);
        std::string time;
        std::string bytes;
        for (const LogLine& line : lines) {
            if (line.dated && time.empty()) time = LongTimeText(now);
            bytes += ToTextMode(ComposeLogLine(line.message, line.dated, date, time));
        }
        const std::string path = LogFileName(folder, date);
        MakeFolder(folder, false);
        UniqueHandle file = OpenForAppend(folder, path);
        if (!file.Valid()) {
            NoteLogWrite(path, GetLastError(), lines.size());
            return PendingLog();
        }
        return PendingLog(std::move(file), path, std::move(bytes), lines.size());
    } catch (...) {
        // Out of memory: the lines are lost, the caller goes on.
        return PendingLog();
    }
}

bool PendingLog::Write() noexcept {
    if (!file_.Valid()) return false;
    // Appends from threads that write at the same moment can land on the
    // same offset (seen under Wine); the opening and closing need no turn.
    ExclusiveLock lock(logLock);
    DWORD written = 0;
    const bool ok = WriteFile(file_.Get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr);
    // A full disk fails here rather than at the open.
    outcome_ = ok ? ERROR_SUCCESS : GetLastError();
    tried_ = true;
    return ok;
}

void PendingLog::NoteOutcome() noexcept {
    if (tried_) NoteLogWrite(path_, outcome_, lines_);
    tried_ = false;
}

void LogWriteTo(const std::string& folder, std::initializer_list<LogLine> lines) noexcept {
    PendingLog pending = PrepareLog(folder, lines);
    pending.Write();
    pending.NoteOutcome();
}

void LogWriteTo(const std::string& folder, std::string_view message, bool dated) noexcept {
    LogWriteTo(folder, {LogLine{message, dated}});
}

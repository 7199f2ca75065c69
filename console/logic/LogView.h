// What the log view does with today's log file: keep what it shows, append
// what the plug-in wrote since, or load the file anew; and how much of it one
// step may hand to the edit control. Plain values in, plain values out: the
// window reads the file and hands the text over.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Monitor.h"

// The log file as its directory entry shows it.
struct LogStamp {
    std::string path;
    bool exists = false;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    bool operator==(const LogStamp& o) const {
        return path == o.path && exists == o.exists && size == o.size && writeTime == o.writeTime;
    }
};

// How many bytes at either end of what is shown are kept to check that the
// file still goes on from it.
constexpr size_t kLogCheckBytes = 4096;

// What the view shows, in terms of the file, without a copy of the text: the
// edit control holds the text; this holds what the append check needs.
struct ShownLog {
    // False until something is shown, and again after "Очистить лог".
    bool valid = false;
    // The file as last seen; `exists` false: the view says the file is missing.
    LogStamp stamp;
    // File bytes in the view, and the first and last of them (up to
    // kLogCheckBytes each, exactly as in the file).
    uint64_t bytes = 0;
    std::string head;
    std::string tail;
    LogLineCount lines;

    // A load is under way while the file holds more than the view.
    bool Loading() const { return valid && stamp.exists && bytes < stamp.size; }
    // The part of the file the next read must cover: from `ReadFrom()`, the
    // tail on show followed by whatever comes after it.
    uint64_t ReadFrom() const { return bytes - tail.size(); }
    size_t HeadBytes() const { return head.size(); }
};

enum class LogViewPlan {
    Keep,         // the file is as shown
    ShowMissing,  // no file today: the view says so
    Reload,       // empty the view and read the file from its start
    ReadOn,       // read the head and from ReadFrom() on, then ask LogViewChange
};
LogViewPlan PlanLogView(const ShownLog& shown, const LogStamp& now);

// Given the file's first shown.HeadBytes() bytes and the file from
// shown.ReadFrom() on: npos when the file no longer goes on from what is
// shown (replaced or cut: load it anew), otherwise the offset in `fileFrom`
// of the text still to show. A CR on show followed by the file's LF is
// already on show as a line end, so that LF is passed over.
size_t LogViewChange(const ShownLog& shown, std::string_view fileHead, std::string_view fileFrom);

// Takes `fileFrom` (read from shown.ReadFrom()) as shown from `offset` on,
// as LogViewChange gave it; the caller puts LogViewText of that part into the view.
void TakeLogBytes(ShownLog& shown, std::string_view fileFrom, size_t offset);

// How many file bytes the next step of a load hands to the edit control.
// The control's cost of an append grows with the text it holds (under Wine),
// so the size follows what the last step cost, aiming at `targetMs` a step;
// it grows at most twofold from one step to the next, so that one fast
// reading cannot make a step of seconds. It never falls below kMin nor
// below a 256th of what is shown (this floor comes first): where the control's own cost of one append is
// already past the target, smaller steps would answer no sooner and only
// make the load take many times longer.
struct LogSlicer {
    static constexpr size_t kFirst = 32 * 1024;
    static constexpr size_t kMin = 32 * 1024;
    static constexpr size_t kMax = 4 * 1024 * 1024;
    static constexpr uint64_t kShownShare = 256;
    double targetMs = 50.0;
    size_t next = kFirst;
    // A step handed `bytes` to the control, which then held `shownBytes`
    // of the file, and took `ms`.
    void Took(size_t bytes, uint64_t shownBytes, double ms);
};

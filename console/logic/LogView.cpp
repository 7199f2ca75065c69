#include "LogView.h"

#include <algorithm>

LogViewPlan PlanLogView(const ShownLog& shown, const LogStamp& now) {
    if (!now.exists) {
        const bool saysMissing = shown.valid && !shown.stamp.exists && shown.stamp.path == now.path;
        return saysMissing ? LogViewPlan::Keep : LogViewPlan::ShowMissing;
    }
    // A new day's file, or one cut below what is shown, starts over.
    if (!shown.valid || !shown.stamp.exists || shown.stamp.path != now.path || now.size < shown.bytes)
        return LogViewPlan::Reload;
    if (shown.stamp == now && shown.bytes >= now.size) return LogViewPlan::Keep;
    return LogViewPlan::ReadOn;
}

size_t LogViewChange(const ShownLog& shown, std::string_view fileHead, std::string_view fileFrom) {
    // A file rewritten rather than appended to shows at its start or at the
    // end of what is shown.
    if (fileHead != shown.head) return std::string_view::npos;
    const std::string_view tail = shown.tail;
    if (fileFrom.size() < tail.size() || fileFrom.compare(0, tail.size(), tail) != 0) return std::string_view::npos;
    size_t at = tail.size();
    if (!tail.empty() && tail.back() == '\r' && at < fileFrom.size() && fileFrom[at] == '\n') ++at;
    return at;
}

void TakeLogBytes(ShownLog& shown, std::string_view fileFrom, size_t offset) {
    shown.lines.Add(fileFrom.substr(std::min(offset, fileFrom.size())));
    shown.bytes = shown.ReadFrom() + fileFrom.size();
    // While fewer than kLogCheckBytes are shown, the read starts at the file's start.
    if (shown.head.size() < kLogCheckBytes) shown.head.assign(fileFrom.substr(0, kLogCheckBytes));
    const size_t keep = std::min(fileFrom.size(), kLogCheckBytes);
    shown.tail.assign(fileFrom.substr(fileFrom.size() - keep));
}

void LogSlicer::Took(size_t bytes, double ms) {
    // Short steps say more about the control's fixed cost than about a byte's.
    constexpr size_t kLearnFrom = 16 * 1024;
    ms = std::max(ms, 0.01);
    if (bytes >= kLearnFrom) {
        const double perByte = ms / static_cast<double>(bytes);
        if (msPerByte <= 0.0 || perByte < msPerByte) msPerByte = perByte;
    }
    if (msPerByte <= 0.0) return;
    const double fixedMs = std::max(0.0, ms - msPerByte * static_cast<double>(bytes));
    const double spendMs = std::max(targetMs - fixedMs, fixedMs);
    const double wanted = spendMs / msPerByte;
    // At most twice the last step, so that one bad reading cannot make a step of seconds.
    const double bound = std::min(static_cast<double>(kMax), 2.0 * static_cast<double>(std::max(bytes, kMin)));
    next = static_cast<size_t>(std::clamp(wanted, static_cast<double>(kMin), bound));
}

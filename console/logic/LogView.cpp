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

void LogSlicer::Took(size_t bytes, uint64_t shownBytes, double ms) {
    // A line or two says little about what a step costs.
    if (bytes < kMin) return;
    const double wanted = static_cast<double>(bytes) * targetMs / std::max(ms, 0.01);
    const double least = static_cast<double>(std::max<uint64_t>(kMin, std::min<uint64_t>(kMax, shownBytes / kShownShare)));
    const double most = std::max(least, std::min(static_cast<double>(kMax), 2.0 * static_cast<double>(bytes)));
    next = static_cast<size_t>(std::clamp(wanted, least, most));
}

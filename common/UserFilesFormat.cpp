#include "UserFilesFormat.h"

#include <algorithm>
#include <climits>

std::string CurrentUserFileName(std::string_view usersFolder) {
    return std::string(usersFolder) + "current.user";
}

std::string CurrentUserOpFileName(std::string_view usersFolder) {
    return std::string(usersFolder) + "current.userop";
}

std::string UserProfileFileName(std::string_view usersFolder, std::string_view login) {
    std::string name(usersFolder);
    name += '_';
    name += login;
    name += ".txt";
    return name;
}

namespace {

std::vector<std::string> RecordLines(std::string_view fileStart) {
    LineSplitter splitter(3, kUserRecordLineBytes);
    splitter.Feed(fileStart);
    splitter.Finish();
    return splitter.Lines();
}

UserRecordHead HeadOf(const std::vector<std::string>& lines) {
    UserRecordHead head;
    head.user = LineOrEmpty(lines, 1).substr(0, kUserFieldBytes);
    head.password = LineOrEmpty(lines, 2).substr(0, kPasswordFieldBytes);
    head.limitText = LineOrEmpty(lines, 3).substr(0, kLimitFieldBytes);
    return head;
}

}  // namespace

UserRecordHead ParseUserRecordHead(std::string_view fileStart) { return HeadOf(RecordLines(fileStart)); }

UserRecord ParseUserRecord(std::string_view fileStart) {
    UserRecord record;
    record.lines = RecordLines(fileStart);
    record.head = HeadOf(record.lines);
    record.lines.resize(std::min<size_t>(record.lines.size(), 2));
    return record;
}

RecordProgress UserRecordProgress(std::string_view fileStart, bool wholeFile) {
    if (fileStart.empty()) return RecordProgress::Empty;
    if (!wholeFile) return RecordProgress::Whole;
    size_t lineEnds = 0, thirdLine = 0;
    for (size_t i = 0; i < fileStart.size() && lineEnds < 3; ++i) {
        const char c = fileStart[i];
        if (c == '\r' || c == '\n') {
            ++lineEnds;
            if (c == '\r' && i + 1 < fileStart.size() && fileStart[i + 1] == '\n') ++i;
        } else if (lineEnds == 2) {
            ++thirdLine;
        }
    }
    return lineEnds == 3 || thirdLine >= kLimitFieldBytes ? RecordProgress::Whole : RecordProgress::Unfinished;
}

bool RecordWatch::Take(std::string_view bytes, bool wholeFile, double nowMs) {
    switch (UserRecordProgress(bytes, wholeFile)) {
        case RecordProgress::Whole: return true;
        case RecordProgress::Empty: unfinished_.clear(); return false;
        case RecordProgress::Unfinished: break;
    }
    if (unfinished_ != bytes) {
        unfinished_.assign(bytes);
        since_ = nowMs;
        return false;
    }
    return nowMs - since_ >= kRecordSettleMs;
}

int32_t LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate rather than overflow: a limit this large never runs out anyway.
        if (value < INT32_MAX) value = value * 10 + (text[i] - '0');
    }
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(negative ? -value : value);
}

LineSplitter::LineSplitter(size_t maxLines, size_t maxLineBytes)
    : maxLines_(maxLines), maxLineBytes_(maxLineBytes) {}

void LineSplitter::EndLine() {
    if (lines_.size() < maxLines_) lines_.push_back(std::move(current_));
    current_.clear();
    inLine_ = false;
}

bool LineSplitter::Feed(std::string_view chunk) {
    for (char c : chunk) {
        if (lines_.size() >= maxLines_) return false;
        if (afterCr_) {
            afterCr_ = false;
            if (c == '\n') continue;  // the LF of a CR LF pair
        }
        if (c == '\r' || c == '\n') {
            afterCr_ = c == '\r';
            EndLine();
            continue;
        }
        inLine_ = true;
        if (current_.size() < maxLineBytes_) current_ += c;
    }
    return lines_.size() < maxLines_;
}

void LineSplitter::Finish() {
    if (inLine_) EndLine();
}

std::string LineOrEmpty(const std::vector<std::string>& lines, size_t n) {
    return n >= 1 && n <= lines.size() ? lines[n - 1] : std::string();
}

std::string TimeFileText(int64_t seconds) {
    return std::to_string(seconds) + "\r\n\r\n";
}

std::string TimeFileHead(std::string_view fileStart) {
    std::string head;
    for (char c : fileStart) {
        if (c == '\r' || c == '\n' || c == '\x1a' || head.size() == 9) break;
        head += c;
    }
    return head;
}

#include "UserFilesFormat.h"

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

// The C runtime's text mode on Windows: CR LF arrives as LF and Ctrl-Z ends
// the text. Done here so that every build reads the same characters.
class TextModeReader {
public:
    explicit TextModeReader(std::string_view raw) : raw_(raw) {}
    int Get() {
        if (pos_ >= raw_.size() || raw_[pos_] == '\x1a') return EOF;
        char c = raw_[pos_++];
        if (c == '\r' && pos_ < raw_.size() && raw_[pos_] == '\n') c = raw_[pos_++];
        return static_cast<unsigned char>(c);
    }

private:
    std::string_view raw_;
    size_t pos_ = 0;
};

// fgets with a buffer of `bound` + 1 bytes, the line feed then dropped.
std::string ReadBoundedLine(TextModeReader& in, size_t bound) {
    std::string text;
    while (text.size() < bound) {
        const int c = in.Get();
        if (c == EOF) break;
        text += static_cast<char>(c);
        if (c == '\n') break;
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

UserRecordHead ParseUserRecordHead(std::string_view fileStart) {
    TextModeReader in(fileStart);
    UserRecordHead head;
    head.user = ReadBoundedLine(in, 29);
    head.password = ReadBoundedLine(in, 29);
    head.limitText = ReadBoundedLine(in, 4);
    return head;
}

UserRecord ParseUserRecord(std::string_view fileStart) {
    UserRecord record;
    record.head = ParseUserRecordHead(fileStart);
    LineSplitter splitter(2, kUserRecordLineBytes);
    splitter.Feed(fileStart);
    splitter.Finish();
    record.lines = splitter.Lines();
    return record;
}

bool UserRecordWritten(std::string_view fileStart, bool wholeFile) {
    if (fileStart.empty()) return false;
    if (!wholeFile || fileStart.back() == '\n') return true;
    size_t lineEnds = 0;
    for (char c : fileStart) lineEnds += c == '\n';
    // The last line is still open: a third line means login and password are whole.
    return lineEnds >= 2;
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

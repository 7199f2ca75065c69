// The worker's bounded reads of current.user, which the registration site
// writes: whatever the file holds, login and password never take more than 29
// bytes and the limit text more than 4, and the limit's number follows the
// leading-digits rule.
#include "FuzzCheck.h"
#include "UserFilesFormat.h"

#include <algorithm>
#include <climits>

namespace {

// The C runtime's text mode written out a second way: cut at the first
// Ctrl-Z, then every CR LF pair becomes LF; a lone CR stays.
std::string ReferenceTextMode(std::string_view raw) {
    raw = raw.substr(0, raw.find('\x1a'));
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

// fgets into a buffer of bound + 1 bytes: up to and including the next line
// feed, but no more than `bound` characters; then the line feed is dropped.
std::string ReferenceFgets(std::string_view& text, size_t bound) {
    const size_t end = text.find('\n');
    const size_t take = std::min(bound, end == std::string_view::npos ? text.size() : end + 1);
    std::string line(text.substr(0, take));
    text.remove_prefix(take);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

// Leading blanks, an optional sign, the digits; beyond the 32-bit range the
// number is held at its largest magnitude.
int32_t ReferenceLeadingNumber(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return 0;
    text.remove_prefix(start);
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') text.remove_prefix(1);
    text = text.substr(0, text.find_first_not_of("0123456789"));
    const size_t significant = text.find_first_not_of('0');
    if (significant == std::string_view::npos) return 0;
    text.remove_prefix(significant);
    int64_t magnitude = INT32_MAX;
    if (text.size() <= 10) magnitude = std::min<int64_t>(std::stoll(std::string(text)), INT32_MAX);
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

bool Same(const UserRecordHead& a, const UserRecordHead& b) {
    return a.user == b.user && a.password == b.password && a.limitText == b.limitText;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const std::string shown = fuzz::Shown(file);
    const UserRecordHead head = ParseUserRecordHead(file);

    FUZZ_CHECK(head.user.size() <= 29);
    FUZZ_CHECK(head.password.size() <= 29);
    FUZZ_CHECK(head.limitText.size() <= 4);
    for (const std::string* value : {&head.user, &head.password, &head.limitText})
        FUZZ_CHECK(value->find_first_of("\n\x1a") == std::string::npos);

    const std::string text = ReferenceTextMode(file);
    std::string_view rest = text;
    FUZZ_CHECK_EQ(ReferenceFgets(rest, 29), head.user, shown);
    FUZZ_CHECK_EQ(ReferenceFgets(rest, 29), head.password, shown);
    FUZZ_CHECK_EQ(ReferenceFgets(rest, 4), head.limitText, shown);

    // The plug-in reads only the start of the file; what lies beyond must not matter.
    FUZZ_CHECK(Same(head, ParseUserRecordHead(file.substr(0, kUserRecordHeadBytes))));

    // The one read of a cycle: the head as above, and two lines for the account
    // within their cap. A record the site has not finished is never taken
    // before its login and password lines are whole.
    const UserRecord record = ParseUserRecord(file);
    FUZZ_CHECK(Same(record.head, head));
    FUZZ_CHECK(record.lines.size() <= 2);
    for (const std::string& line : record.lines) FUZZ_CHECK(line.size() <= kUserRecordLineBytes);
    if (UserRecordWritten(file, true) && !file.empty() && file.back() != '\n')
        FUZZ_CHECK(std::count(file.begin(), file.end(), '\n') >= 2);
    FUZZ_CHECK(!UserRecordWritten(file.substr(0, 0), true));

    // The worker's limit: a text of at most 4 characters never leaves this range.
    const int32_t limit = LeadingNumber(head.limitText);
    FUZZ_CHECK_EQ(ReferenceLeadingNumber(head.limitText), limit, fuzz::Shown(head.limitText));
    FUZZ_CHECK(limit >= -999 && limit <= 9999);
    // And on any length of text, for the saturation beyond 32 bits.
    FUZZ_CHECK_EQ(ReferenceLeadingNumber(file), LeadingNumber(file), shown);
    return 0;
}

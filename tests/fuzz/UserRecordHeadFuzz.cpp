// The worker's fields of current.user, which the registration site writes:
// whatever the file holds, login, password and limit each come from their own
// line, split as the list reader splits, and never take more than 29, 29 and
// 4 bytes; the limit's number follows the leading-digits rule.
#include "FuzzCheck.h"
#include "UserFilesFormat.h"

#include <algorithm>
#include <climits>

namespace {

// The lines written out a second way: every line end (CR LF, LF, CR) becomes
// one LF, then the text is cut at the LFs.
std::vector<std::string> ReferenceLines(std::string_view file) {
    std::string text;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
        text += file[i] == '\r' ? '\n' : file[i];
    }
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Field(const std::vector<std::string>& lines, size_t n, size_t bound) {
    return n <= lines.size() ? lines[n - 1].substr(0, bound) : std::string();
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
        FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);

    const std::vector<std::string> lines = ReferenceLines(file);
    FUZZ_CHECK_EQ(Field(lines, 1, 29), head.user, shown);
    FUZZ_CHECK_EQ(Field(lines, 2, 29), head.password, shown);
    FUZZ_CHECK_EQ(Field(lines, 3, 4), head.limitText, shown);

    // The one read of a cycle: the head as above, and the first two lines
    // whole (within their cap) for the account.
    const UserRecord record = ParseUserRecord(file);
    FUZZ_CHECK(Same(record.head, head));
    FUZZ_CHECK(record.lines.size() == std::min<size_t>(lines.size(), 2));
    for (size_t n = 0; n < record.lines.size(); ++n)
        FUZZ_CHECK_EQ(lines[n].substr(0, kUserRecordLineBytes), record.lines[n], shown);

    // Whole once the third line has ended or holds the limit's 4 characters.
    const RecordProgress progress = UserRecordProgress(file, true);
    const bool whole = lines.size() > 3 || (lines.size() == 3 && (lines[2].size() >= 4 || file.back() == '\n' ||
                                                                   file.back() == '\r'));
    FUZZ_CHECK_EQ(file.empty(), progress == RecordProgress::Empty, shown);
    FUZZ_CHECK_EQ(whole, progress == RecordProgress::Whole, shown);
    // A site that goes on writing a record taken whole never changes what was taken.
    const std::string_view written = file.substr(0, size ? data[0] % (size + 1) : 0);
    if (UserRecordProgress(written, true) == RecordProgress::Whole)
        FUZZ_CHECK(Same(ParseUserRecordHead(written), head));

    // The worker's limit: a text of at most 4 characters never leaves this range.
    const int32_t limit = LeadingNumber(head.limitText);
    FUZZ_CHECK_EQ(ReferenceLeadingNumber(head.limitText), limit, fuzz::Shown(head.limitText));
    FUZZ_CHECK(limit >= -999 && limit <= 9999);
    // And on any length of text, for the saturation beyond 32 bits.
    FUZZ_CHECK_EQ(ReferenceLeadingNumber(file), LeadingNumber(file), shown);
    return 0;
}

// The small files in which the plug-in, the console and the registration site
// meet: their names, their byte formats and how each reader takes a value out.
// Platform-free: the callers open the files and hand over the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The users' folder is a plain prefix: no separator is put in.
std::string CurrentUserFileName(std::string_view usersFolder);
std::string CurrentUserOpFileName(std::string_view usersFolder);
std::string UserProfileFileName(std::string_view usersFolder, std::string_view login);

// Login, password and limit as the worker takes them: each from its own line
// (1, 2 and 3), the lines ended as the list reader ends them (CR LF, LF or
// CR), each cut at its bound, so that a long line never runs on into the
// next field.
struct UserRecordHead {
    std::string user;
    std::string password;
    std::string limitText;
};
constexpr size_t kUserFieldBytes = 29;
constexpr size_t kPasswordFieldBytes = 29;
constexpr size_t kLimitFieldBytes = 4;
UserRecordHead ParseUserRecordHead(std::string_view fileStart);

// The whole of what the worker takes from one read of the current-user file:
// the head for the log and the limit, the first two lines for the FTP account.
struct UserRecord {
    UserRecordHead head;
    std::vector<std::string> lines;
};
// Lines longer than this are cut; the record's lines are short, this only
// bounds a file far outside the format.
constexpr size_t kUserRecordLineBytes = 4096;
// The one read never takes more of the file than this.
constexpr size_t kUserRecordReadBytes = 2 * (kUserRecordLineBytes + 2);
UserRecord ParseUserRecord(std::string_view fileStart);

// How far the site has written the record, as far as its bytes can tell.
enum class RecordProgress {
    Empty,       // nothing yet: never a record
    Unfinished,  // its third line may still grow
    Whole,       // its third line has ended, or holds the limit's 4 characters
};
// `wholeFile` is false when the read stopped at its bound: a file that long
// is taken as it is.
RecordProgress UserRecordProgress(std::string_view fileStart, bool wholeFile);

// How long an unfinished record must stay the same before it is taken as it
// is (a file that really holds only "ivan" and a line end means limit 0): a
// site that pauses between its writes is never caught half-way.
constexpr double kRecordSettleMs = 1000;

// The worker's watch on current.user from one cycle to the next: whether the
// bytes read now are the record to take.
class RecordWatch {
public:
    // `bytes` as read at `nowMs` of the worker's clock.
    bool Take(std::string_view bytes, bool wholeFile, double nowMs);

private:
    std::string unfinished_;  // as last read, while unfinished
    double since_ = 0;        // since when it has read so
};

// The limit's number: blanks skipped, an optional sign, the digits up to the
// first other character; no digits give 0.
int32_t LeadingNumber(std::string_view text);

// Splits a file into lines at CR LF, LF or CR, fed in chunks of any size.
// Keeps only the first `maxLines` lines and the first `maxLineBytes` bytes of
// each, so its memory does not grow with the file.
class LineSplitter {
public:
    LineSplitter(size_t maxLines, size_t maxLineBytes);
    // False once `maxLines` lines are complete: the rest of the file is not needed.
    bool Feed(std::string_view chunk);
    // The end of the file: a last line without a line end still counts.
    void Finish();
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    void EndLine();
    size_t maxLines_;
    size_t maxLineBytes_;
    std::vector<std::string> lines_;
    std::string current_;
    bool inLine_ = false;
    bool afterCr_ = false;
};

// The line `n` (1 = first) or an empty text when the file has no such line.
std::string LineOrEmpty(const std::vector<std::string>& lines, size_t n);

// The time file's bytes for a number of seconds: "%d\n\n" in text mode.
std::string TimeFileText(int64_t seconds);
// What the console shows of the time file: at most 9 characters of its first
// line, without the line end.
constexpr size_t kTimeFileHeadBytes = 32;
std::string TimeFileHead(std::string_view fileStart);

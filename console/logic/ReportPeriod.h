// The connections of a period of days, read from one log file a day: the
// dates the files are named by, the days on offer, the period around a chosen
// day, and a reader that keeps every day it has parsed and reads again only
// what changed. Plain code: the window hands over the files' bytes through
// DayLogSource.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConnectionReport.h"

// Calendar days as numbers: 0 is 1 January 1970.
int64_t DayNumber(int year, int month, int day);
void CivilDate(int64_t dayNumber, int& year, int& month, int& day);

// A date written by the locale's short date pattern (d, dd, M, MM, yy, yyyy
// and literal separators), as the log's file names carry it; -1 when the
// text does not follow the pattern, and for patterns with day or month names.
int64_t ParseShortDate(std::string_view text, std::string_view pattern);
// The same rendering the other way; empty for a pattern it cannot follow.
std::string FormatShortDate(int64_t dayNumber, std::string_view pattern);

// The days that have a log, from the names of the files in the log folder:
// LOG_PATH is a plain prefix, so the names begin with `namePrefix` (what
// LOG_PATH has after its last backslash), then the date, then "_log.txt".
// Newest first by the locale's short date pattern (as "dd.MM.yyyy"); dates
// that do not follow it come last. `today` is always there.
std::vector<std::string> LogDays(const std::vector<std::string>& fileNames, std::string_view namePrefix,
                                 std::string_view shortDatePattern, const std::string& today);

// The period around a chosen day: the day itself, its week (Monday to
// Sunday), its calendar month, or from it to another day (either order).
enum class PeriodKind { Day, Week, Month, Range };
struct DayRange {
    int64_t first = 0;
    int64_t last = 0;
};
DayRange PeriodAround(PeriodKind kind, int64_t day, int64_t otherDay = 0);

// What the window learns of a day's file without reading it.
struct LogFileStamp {
    bool exists = false;
    uint64_t size = 0;
    uint64_t writeTime = 0;
};

// The window's side: each day's file by its date text.
class DayLogSource {
public:
    virtual ~DayLogSource() = default;
    virtual LogFileStamp Stamp(const std::string& dayText) = 0;
    // The file's bytes from `offset` to its end, or the first `maxBytes` of
    // them; false when it cannot be read now.
    virtual bool Read(const std::string& dayText, uint64_t offset, size_t maxBytes, std::string& bytes) = 0;
};

enum class DayState {
    Missing,     // no log for the day
    Unreadable,  // there is one, but it could not be read (held by its writer)
    Read,
    Future,      // after today: nothing to look for yet
};

struct PeriodDay {
    int64_t day = 0;
    std::string text;
    DayState state = DayState::Missing;
    size_t cutLines = 0;  // lines of its log too long to be read whole
};

// The period's connections: every day of it, oldest first, and the rows of
// each, a connection under the day it was dialled (a connection whose dial
// is in no log of the period, under the day its first line is in). The rows
// are shared with the reader that read them, and never change.
struct PeriodRows {
    std::vector<PeriodDay> days;
    RowList rows;
    std::vector<uint32_t> rowDay;  // per row, its index in `days`

    bool Empty() const { return days.empty(); }
    bool OneDay() const { return days.size() == 1; }
};

// Reads a period's logs day by day. A connection open at the end of one
// day's log goes on in the next day's log; to see how the period's first
// connections began and its last ones ended, the day before and the day
// after are read as well. A day is read again only when its file changed:
// grown, only what was added. A file is read a piece at a time, so that a
// window reading a day of hundreds of MB answers between the pieces, and the
// piece's storage is given back once every day is read.
class PeriodReader {
public:
    // The days first to last; those after `today` have no log yet. `datePattern`
    // renders a day as the files are named. Days read before are kept.
    void Choose(DayRange range, int64_t today, std::string_view datePattern);
    // Looks at the files again at the next Step (the once-a-second refresh).
    void Recheck();
    // Brings the next day that needs it up to date, reading at most one
    // piece of one file. False when every day is current.
    bool Step(DayLogSource& source);
    // Every day read or looked at since Choose or Recheck.
    bool Current() const { return next_ >= chain_.size() && !read_; }
    // The days looked at so far, out of all, for a progress line.
    size_t DaysLookedAt() const { return next_; }
    size_t DaysToLookAt() const { return chain_.size(); }
    // Bumped whenever a day's rows change.
    uint64_t Version() const { return version_; }

    // The rows as they stand now, sharing the days' rows rather than copying
    // them: a day of hundreds of MB has rows of hundreds of thousands.
    PeriodRows Rows() const;
    void Rows(PeriodRows& out) const;
    const DayRange& Range() const { return range_; }

private:
    struct CachedDay {
        std::string text;
        LogFileStamp stamp;
        DayState state = DayState::Missing;
        ConnectionLogReader reader;
        uint64_t version = 0;  // of this day's reader
        // What the next day goes on from: the connections open at this log's
        // end, and a version that changes only when they do, so that a day
        // read again does not make every later day be read again.
        ConnectionLogReader end;
        uint64_t endVersion = 0;
        uint64_t seedVersion = 0;  // the day before's end version it went on from; 0 for none
    };
    void Keep();
    void ReadPiece(DayLogSource& source);
    void DayRead();

    DayRange range_;
    int64_t today_ = 0;
    std::string pattern_;
    std::vector<int64_t> chain_;  // the day before, the period up to today, the day after
    size_t next_ = 0;             // the first day of the chain not yet looked at
    std::map<int64_t, CachedDay> cache_;
    uint64_t version_ = 0;
    // The day being read, its pieces into the same storage each time. None
    // but while reading: a reader made anew holds no memory.
    int64_t readDay_ = 0;
    std::optional<CachedDay> read_;
    LogFileStamp readStamp_;
    uint64_t readSeed_ = 0;
    std::string buffer_;
};

// The most a Step reads: a few milliseconds of parsing.
inline constexpr size_t kReadPieceBytes = 2u << 20;

// Reads every day at once.
PeriodRows ReadPeriod(DayLogSource& source, DayRange range, int64_t today, std::string_view datePattern);

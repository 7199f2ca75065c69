// The day's connections, read back from the plug-in's daily log: one row per
// connection, the totals, the CSV the operator saves, and the days that have
// a log. Plain functions over bytes: the report window reads the files.
//
// The log carries no connection number. A connection's lines follow one
// another because the plug-in times one connection at a time; what falls
// between them is a refused second caller, whose own hang-up lines may
// follow, and the late hang-up of the connection before.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class ConnectionEnding {
    LimitRanOut,     // the caller's record came; the plug-in disconnected at the limit
    CallerHungUp,    // hung up before the plug-in disconnected
    Refused,         // a second caller while one was timed, or no worker could be started
    NoRegistration,  // the registration window ran out without a record
    Going,           // no end in the log yet
    EndNotLogged,    // the plug-in was unloaded or loaded again before the end was logged
};

struct ConnectionRow {
    // The dial's date and time as the log writes them; empty for a connection
    // that began before the log does (the day before, across midnight).
    std::string date;
    std::string dialTime;
    std::string login;  // empty until the caller's record has come
    bool hasLimit = false;
    int32_t limitMinutes = 0;
    ConnectionEnding ending = ConnectionEnding::Going;
    // From the hang-up's lines; absent while the connection goes on.
    bool hasStatistics = false;
    uint32_t durationSeconds = 0;
    uint32_t bytesReceived = 0;
    uint32_t bytesSent = 0;
};

// Reads the log as it grows: each Feed takes the bytes that follow the ones
// fed before. Only whole lines count; a half-written last line waits for the
// rest of it in the next Feed.
class ConnectionLogReader {
public:
    void Feed(std::string_view bytes);
    // Every byte fed so far, the waiting half line included: where the next read of the file starts.
    uint64_t BytesFed() const { return fed_; }
    // The rows as the log stands now; a connection without its end is "going".
    std::vector<ConnectionRow> Rows() const;

private:
    struct Track {
        bool userSeen = false;
        bool disconnectSeen = false;  // the worker's disconnect at the limit began
        bool hangupSeen = false;
        bool refused = false;
        bool closed = false;  // the plug-in went away before its end was logged
    };
    void Line(std::string_view line);
    void Message(std::string_view date, std::string_view time, std::string_view message);
    size_t NewRow(std::string_view date, std::string_view time);
    size_t CurrentOrCarriedOver();
    size_t HangupTarget(bool workerEnded);
    void CloseOpen();
    ConnectionEnding EndingOf(size_t row) const;

    std::vector<ConnectionRow> rows_;
    std::vector<Track> tracks_;
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t current_ = kNone;        // the connection being timed
    size_t hangupTarget_ = kNone;   // whose hang-up lines are being written
    std::deque<size_t> awaiting_;   // refused callers and earlier connections still owed their hang-up
    bool startSeen_ = false;        // a connection or a load has begun in this log
    std::string partial_;
    bool skipping_ = false;  // inside a line too long to be one of the plug-in's
    uint64_t fed_ = 0;
};

// The whole day's log at once.
std::vector<ConnectionRow> ReadConnectionReport(std::string_view logBytes);

struct ReportTotals {
    size_t connections = 0;  // refused callers not included
    size_t refused = 0;
    uint64_t seconds = 0;
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
};
ReportTotals TotalsOf(const std::vector<ConnectionRow>& rows);

// "h:mm:ss"; the hours are not wrapped at a day.
std::string DurationText(uint64_t seconds);
// The texts of a row's columns, as the list and the CSV show them (Windows-1251).
const char* EndingText(ConnectionEnding ending);
std::vector<std::string> RowTexts(const ConnectionRow& row);
std::string TotalsText(const ReportTotals& totals);

// The CSV for Excel on a Russian Windows: Windows-1251, ";" between fields,
// CR LF, a header row, the rows, then a totals row.
std::string ConnectionReportCsv(const std::vector<ConnectionRow>& rows);

// The days that have a log, from the names of the files in the log folder:
// LOG_PATH is a plain prefix, so the names begin with `namePrefix` (what
// LOG_PATH has after its last backslash), then the date, then "_log.txt".
// Newest first by the locale's short date pattern (as "dd.MM.yyyy"); dates
// that do not follow it come last. `today` is always there.
std::vector<std::string> LogDays(const std::vector<std::string>& fileNames, std::string_view namePrefix,
                                 std::string_view shortDatePattern, const std::string& today);

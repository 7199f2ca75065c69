// A day's connections, read back from the plug-in's daily log: one row per
// connection and the totals. Plain functions over bytes, using the log's own
// texts only: the report window reads the files, and ReportTable.h says what
// the rows look like in the list and the CSV.
//
// The log carries no connection number. A connection's lines follow one
// another because the plug-in times one connection at a time; what falls
// between them is a refused second caller, whose own hang-up lines may
// follow, and the late hang-up of the connection before. A hang-up that
// belongs to no timed connection comes after a line that says so, and is
// left out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class ConnectionEnding : uint8_t {
    LimitRanOut,     // the caller's record came; the plug-in disconnected at the limit
    CallerHungUp,    // hung up before the plug-in disconnected
    Refused,         // a second caller while one was timed, or no worker could be started
    NoRegistration,  // the registration window ran out without a record
    FoundGone,       // the service lost the hang-up; the worker found the connection gone
    Going,           // no end in the log yet
    EndNotLogged,    // the plug-in was unloaded or loaded again, or the log ended, before the end was logged
};
inline constexpr size_t kEndingCount = 7;

// A text of a row, kept in the row itself up to 15 bytes: the log's date and
// time texts and nearly every login. A longer one (a login is what its line
// holds) has a block of its own. A day of hundreds of MB has hundreds of
// thousands of rows: a std::string would take twice the room.
class SmallText {
public:
    SmallText() = default;
    SmallText(std::string_view text);
    SmallText(const SmallText& other) : SmallText(other.View()) {}
    SmallText(SmallText&& other) noexcept;
    SmallText& operator=(SmallText other) noexcept;
    ~SmallText();

    std::string_view View() const;
    operator std::string_view() const { return View(); }
    size_t size() const { return View().size(); }
    bool empty() const { return size() == 0; }

    friend bool operator==(const SmallText& a, const SmallText& b) { return a.View() == b.View(); }
    friend bool operator==(const SmallText& a, std::string_view b) { return a.View() == b; }
    friend bool operator!=(const SmallText& a, std::string_view b) { return a.View() != b; }

private:
    static constexpr size_t kLength = 15;  // the byte that holds the length, or kLong
    static constexpr char kLong = 16;      // the first bytes say where the text is and how long
    bool Long() const { return bytes_[kLength] == kLong; }
    char bytes_[16] = {};
};
// For messages (tests' among them); a template, so that a program that
// writes none does not link the streams.
template <class Stream>
auto operator<<(Stream& out, const SmallText& text) -> decltype(out << text.View()) {
    return out << text.View();
}

struct ConnectionRow {
    // The dial's date and time as the log writes them; empty for a connection
    // that began before the log does (the day before, across midnight).
    SmallText date;
    SmallText dialTime;
    SmallText login;  // empty until the caller's record has come
    int32_t limitMinutes = 0;
    // From the hang-up's lines; absent while the connection goes on. A
    // connection found gone has its seconds and no byte counts.
    uint32_t durationSeconds = 0;
    uint32_t bytesReceived = 0;
    uint32_t bytesSent = 0;
    // The second of the day of the last line that spoke of it (-1 for a line
    // whose time does not read as one), for a connection whose duration the
    // log does not give.
    int32_t lastSecond = -1;
    ConnectionEnding ending = ConnectionEnding::Going;
    bool hasLimit = false;
    bool hasStatistics = false;
    bool hasBytes = false;
    // Its hang-up's lines were interleaved with another's (two service
    // threads at once, in logs of earlier plug-ins): its figures may be the other's.
    bool figuresMixed = false;

    bool operator==(const ConnectionRow& o) const;
};

// Rows that nobody changes any longer, shared by whoever shows them. A
// period's rows are runs of its days' rows, handed over by the days' readers
// without a copy: a reader that reads on changes a copy of its own.
class RowList {
public:
    using Rows = std::vector<ConnectionRow>;
    RowList() = default;
    // Rows read whole, as one run.
    RowList(Rows rows);
    RowList(std::initializer_list<ConnectionRow> rows) : RowList(Rows(rows)) {}

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const ConnectionRow& operator[](size_t row) const;
    const ConnectionRow& at(size_t row) const;
    void clear();

    // `count` rows of `rows` from `first` on.
    void Append(std::shared_ptr<const Rows> rows, size_t first, size_t count);
    // A row of the list's own.
    void Append(ConnectionRow row);

private:
    struct Run {
        std::shared_ptr<const Rows> rows;
        size_t first;
        size_t count;
        size_t start;  // its first row's number in the list
    };

public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ConnectionRow;
        using difference_type = std::ptrdiff_t;
        using pointer = const ConnectionRow*;
        using reference = const ConnectionRow&;
        const_iterator(const Run* run, size_t at) : run_(run), at_(at) {}
        reference operator*() const { return (*run_->rows)[run_->first + at_]; }
        pointer operator->() const { return &**this; }
        const_iterator& operator++() {
            if (++at_ == run_->count) {
                ++run_;
                at_ = 0;
            }
            return *this;
        }
        bool operator==(const const_iterator& o) const { return run_ == o.run_ && at_ == o.at_; }
        bool operator!=(const const_iterator& o) const { return !(*this == o); }

    private:
        const Run* run_;
        size_t at_;
    };
    const_iterator begin() const { return {runs_.data(), 0}; }
    const_iterator end() const { return {runs_.data() + runs_.size(), 0}; }

    friend bool operator==(const RowList& a, const RowList& b);

private:
    std::vector<Run> runs_;
    size_t size_ = 0;
};

// Reads the log as it grows: each Feed takes the bytes that follow the ones
// fed before. Only whole lines count, ended by CR LF, LF or a lone CR, as
// the log view reads them; a half-written last line waits for the rest of it
// in the next Feed.
class ConnectionLogReader {
public:
    void Feed(std::string_view bytes);
    // Every byte fed so far, the waiting half line included: where the next read of the file starts.
    uint64_t BytesFed() const { return fed_; }
    // Lines longer than any the plug-in writes, of which only the head (64 KB) was read.
    size_t CutLines() const { return cutLines_; }
    // The rows as the log stands now; a connection without its end is
    // "going", or, when `logEnded` (no later log goes on with it), its end was not logged.
    std::vector<ConnectionRow> Rows(bool logEnded = false) const;
    // One row of those, without copying the others.
    size_t RowCount() const { return rowCount_; }
    const ConnectionRow& Row(size_t row) const { return (*chunks_[row / kChunkRows])[row % kChunkRows]; }
    void CopyRow(size_t row, bool logEnded, ConnectionRow& into) const;
    // The rows from `first` up to `end`, as they stand now, without a copy:
    // read on, this reader changes rows of its own.
    void ShareRows(size_t first, size_t end, RowList& into) const;

    // A reader for the next day's log that goes on with the connections still
    // open at the end of this one: they come first in its rows, in this
    // reader's order; CarriedFrom() gives the row each of them was here.
    ConnectionLogReader NextDay() const;
    const std::vector<size_t>& CarriedFrom() const { return carriedFrom_; }
    // The same state: fed the same lines, two readers read the same rows.
    bool operator==(const ConnectionLogReader& other) const;

private:
    // What the log has said of a connection, one bit each.
    enum Track : uint8_t {
        kUserSeen = 1,
        kDisconnectSeen = 2,  // the worker's disconnect at the limit began
        kHangupSeen = 4,
        kGone = 8,  // the worker found the connection gone
        kRefused = 16,
        kClosed = 32,  // the plug-in went away before its end was logged
    };
    // A hang-up's lines under way: its row and the figures it still expects.
    struct Block {
        size_t row;
        bool wantsDuration = true;
        bool wantsBytesReceived = true;
        bool wantsBytesSent = true;
        bool operator==(const Block& o) const;
    };
    // Where a hang-up marked as belonging to no connection stands.
    enum class Skip { None, Expected, Inside };

    void Line(std::string_view line);
    void Message(std::string_view date, std::string_view time, std::string_view message);
    bool SkipUnmatched(std::string_view message);
    size_t NewRow(std::string_view date, std::string_view time);
    size_t CurrentOrCarriedOver();
    size_t HangupTarget(bool workerEnded);
    void BeginBlock(size_t row, bool gone);
    void Figure(std::string_view message, std::string_view time);
    void EndBlock();
    void CloseOpen();
    void Touch(size_t row, std::string_view time);
    bool Has(size_t row, Track track) const { return (tracks_[row] & track) != 0; }
    // Notes what the log said of a row; the row's ending follows.
    void Mark(size_t row, Track track);
    ConnectionEnding EndingOf(size_t row) const;
    size_t AppendRow(ConnectionRow row);
    // A row to change: its chunk copied first when a list holds it.
    ConnectionRow& Change(size_t row);

    // The rows in chunks, which the lists handed out share.
    using RowChunk = std::vector<ConnectionRow>;
    static constexpr size_t kChunkRows = 4096;
    std::vector<std::shared_ptr<RowChunk>> chunks_;
    size_t rowCount_ = 0;
    std::vector<uint8_t> tracks_;
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t current_ = kNone;       // the connection being timed
    std::vector<Block> blocks_;    // hang-ups whose lines are being written
    size_t lastBlockRow_ = kNone;  // whose hang-up began last, for the worker's last lines
    std::deque<size_t> awaiting_;  // refused callers and earlier connections still owed their hang-up
    bool startSeen_ = false;       // a connection or a load has begun in this log
    // A hang-up was marked as nobody's: this plug-in marks them all, so a
    // refused caller is owed none.
    bool marking_ = false;
    Skip skip_ = Skip::None;
    std::vector<size_t> carriedFrom_;
    std::string partial_;  // the head of a line whose end is still to come
    bool cut_ = false;      // the line under way is longer than what is read of it
    bool afterCr_ = false;  // the bytes fed so far ended with a CR: an LF next is its
    size_t cutLines_ = 0;
    uint64_t fed_ = 0;
};

// The whole day's log at once.
std::vector<ConnectionRow> ReadConnectionReport(std::string_view logBytes);

// The connections' sums; a refused caller is counted apart, and his seconds
// and bytes are in none of them, as the picture leaves him out too.
struct ReportTotals {
    size_t connections = 0;  // refused callers not included
    size_t refused = 0;
    uint64_t seconds = 0;
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
};
ReportTotals TotalsOf(const RowList& rows);

// "h:mm:ss"; the hours are not wrapped at a day.
std::string DurationText(uint64_t seconds);

// Seconds since midnight of a log line's time ("20:10:34", also "8:10:34 PM"),
// or -1 when it is not one.
int32_t SecondOfDay(std::string_view time);

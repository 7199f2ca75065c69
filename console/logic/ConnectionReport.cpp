#include "ConnectionReport.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "LogFormat.h"
#include "LogTexts.h"
#include "UserFilesFormat.h"

namespace {

// The plug-in composes its lines in 100 bytes, and a login is a name: what a
// line holds past this is not read.
constexpr size_t kMaxLineBytes = 65536;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A login whose line lost its end (an earlier plug-in could tear lines that
// threads wrote at once) runs on into the next line, which may be the
// password's: it ends where a dated line's head begins, or where the
// password's mark is, whatever is left of the head before it.
std::string_view CutAtRunOnLine(std::string_view text) {
    text = text.substr(0, text.find(log_text::kPassLine));
    const size_t separator = text.find("] : [");
    if (separator == std::string_view::npos || text.find("] - ", separator + 5) == std::string_view::npos)
        return text;
    const size_t open = text.rfind('[', separator);
    return text.substr(0, open == std::string_view::npos ? separator : open);
}

// A statistics number as the plug-in writes it ("%u"); anything else gives 0.
uint32_t StatisticValue(std::string_view digits) {
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(value);
}

// The lines of the worker's disconnect at the end of the limit.
bool IsDisconnectLine(std::string_view message) {
    if (message == log_text::kDisconnected || message == log_text::kExitThread) return true;
    for (std::string_view call : log_text::kDisconnectCalls) {
        if (StartsWith(message, call)) {
            const std::string_view outcome = message.substr(call.size());
            if (outcome == log_text::kCallOk || outcome == log_text::kCallFailed) return true;
        }
    }
    return false;
}

// A chunk's copy, with the room the chunk had, so that it grows as the chunk would have.
std::shared_ptr<std::vector<ConnectionRow>> CopyOf(const std::vector<ConnectionRow>& rows) {
    auto copy = std::make_shared<std::vector<ConnectionRow>>();
    copy->reserve(rows.capacity());
    copy->assign(rows.begin(), rows.end());
    return copy;
}

}  // namespace

SmallText::SmallText(std::string_view text) {
    if (text.size() <= kLength) {
        if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
        bytes_[kLength] = static_cast<char>(text.size());
        return;
    }
    const uint32_t size = static_cast<uint32_t>(std::min<size_t>(text.size(), UINT32_MAX));
    char* block = new char[size];
    std::memcpy(block, text.data(), size);
    std::memcpy(bytes_, &block, sizeof block);
    std::memcpy(bytes_ + sizeof block, &size, sizeof size);
    bytes_[kLength] = kLong;
}

SmallText::SmallText(SmallText&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.bytes_[kLength] = 0;
}

SmallText& SmallText::operator=(SmallText other) noexcept {
    std::swap(bytes_, other.bytes_);
    return *this;
}

SmallText::~SmallText() {
    if (!Long()) return;
    char* block;
    std::memcpy(&block, bytes_, sizeof block);
    delete[] block;
}

std::string_view SmallText::View() const {
    if (!Long()) return std::string_view(bytes_, static_cast<size_t>(bytes_[kLength]));
    const char* block;
    uint32_t size;
    std::memcpy(&block, bytes_, sizeof block);
    std::memcpy(&size, bytes_ + sizeof block, sizeof size);
    return std::string_view(block, size);
}

RowList::RowList(Rows rows) {
    const size_t count = rows.size();
    Append(std::make_shared<const Rows>(std::move(rows)), 0, count);
}

const ConnectionRow& RowList::operator[](size_t row) const {
    const auto run = std::upper_bound(runs_.begin(), runs_.end(), row,
                                      [](size_t at, const Run& r) { return at < r.start; }) - 1;
    return (*run->rows)[run->first + row - run->start];
}

const ConnectionRow& RowList::at(size_t row) const {
    if (row >= size_) throw std::out_of_range("RowList::at");
    return (*this)[row];
}

void RowList::clear() {
    runs_.clear();
    size_ = 0;
}

void RowList::Append(std::shared_ptr<const Rows> rows, size_t first, size_t count) {
    if (count == 0) return;
    runs_.push_back({std::move(rows), first, count, size_});
    size_ += count;
}

void RowList::Append(ConnectionRow row) { Append(std::make_shared<const Rows>(1, std::move(row)), 0, 1); }

bool operator==(const RowList& a, const RowList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

void ConnectionLogReader::Feed(std::string_view bytes) {
    fed_ += bytes.size();
    const char* const data = bytes.data();
    const size_t size = bytes.size();
    // memchr for each kind of line end, as a log is mostly text between them.
    auto next = [&](char c, size_t from) {
        const void* at = from < size ? std::memchr(data + from, c, size - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char*>(at) - data) : size;
    };
    size_t i = 0;
    // The LF of a CR LF whose CR ended the bytes fed before.
    if (afterCr_ && size > 0 && data[0] == '\n') i = 1;
    afterCr_ = false;
    size_t lf = next('\n', i), cr = next('\r', i);
    while (i < size) {
        const size_t end = std::min(lf, cr);
        const std::string_view piece(data + i, end - i);
        // Of a line longer than any of the plug-in's, its head is read.
        const size_t room = kMaxLineBytes - std::min(kMaxLineBytes, partial_.size());
        if (piece.size() > room) cut_ = true;
        if (end == size) {
            partial_.append(piece.substr(0, room));
            break;
        }
        if (partial_.empty()) {
            Line(piece.substr(0, room));
        } else {
            partial_.append(piece.substr(0, room));
            Line(partial_);
            partial_.clear();
        }
        if (cut_) ++cutLines_;
        cut_ = false;
        i = end + 1;
        if (end == cr) {
            if (i < size && data[i] == '\n') ++i;
            else afterCr_ = i == size;
        }
        if (lf < i) lf = next('\n', i);
        if (cr < i) cr = next('\r', i);
    }
}

void ConnectionLogReader::Line(std::string_view line) {
    std::string_view date, time, message;
    // Plain lines (the configuration dump, rules, empty lines) say nothing of a connection.
    if (SplitLogLine(line, date, time, message)) Message(date, time, message);
}

size_t ConnectionLogReader::NewRow(std::string_view date, std::string_view time) {
    ConnectionRow row;
    row.date = date;
    row.dialTime = time;
    return AppendRow(std::move(row));
}

size_t ConnectionLogReader::AppendRow(ConnectionRow row) {
    if (rowCount_ % kChunkRows == 0) chunks_.push_back(std::make_shared<RowChunk>());
    std::shared_ptr<RowChunk>& last = chunks_.back();
    if (last.use_count() > 1) last = CopyOf(*last);
    last->push_back(std::move(row));
    tracks_.push_back(0);
    return rowCount_++;
}

ConnectionRow& ConnectionLogReader::Change(size_t row) {
    std::shared_ptr<RowChunk>& chunk = chunks_[row / kChunkRows];
    if (chunk.use_count() > 1) chunk = CopyOf(*chunk);
    return (*chunk)[row % kChunkRows];
}

void ConnectionLogReader::Mark(size_t row, Track track) {
    tracks_[row] |= track;
    const ConnectionEnding ending = EndingOf(row);
    if (Row(row).ending != ending) Change(row).ending = ending;
}

void ConnectionLogReader::Touch(size_t row, std::string_view time) {
    // Most lines speak of the row the line before spoke of, at the same second.
    if (row == kNone) return;
    const int32_t second = SecondOfDay(time);
    if (Row(row).lastSecond != second) Change(row).lastSecond = second;
}

// The connection that lines of a worker belong to; at the start of a log
// that begins in the middle of one, a row for it without a dial time.
size_t ConnectionLogReader::CurrentOrCarriedOver() {
    if (current_ == kNone && !startSeen_) {
        current_ = NewRow({}, {});
        startSeen_ = true;
    }
    return current_;
}

// Whose hang-up begins here. An ended worker is the timed connection's; a
// hang-up that ended no worker belongs first to one that is owed its
// hang-up (a refused caller, or the connection before a new one).
size_t ConnectionLogReader::HangupTarget(bool workerEnded) {
    size_t target = kNone;
    auto takeAwaiting = [&] {
        target = awaiting_.front();
        awaiting_.pop_front();
    };
    if (workerEnded) {
        if (current_ != kNone) std::swap(target, current_);
        else if (!awaiting_.empty()) takeAwaiting();
    } else {
        if (!awaiting_.empty()) takeAwaiting();
        else if (current_ != kNone) std::swap(target, current_);
    }
    // A hang-up with no dial before it in this log: its own row.
    if (target == kNone) target = NewRow({}, {});
    startSeen_ = true;
    Mark(target, kHangupSeen);
    return target;
}

void ConnectionLogReader::BeginBlock(size_t row, bool gone) {
    // The worker's own end of a connection found gone logs its seconds only.
    blocks_.push_back(Block{row, true, !gone, !gone});
    lastBlockRow_ = row;
}

// A figure of a hang-up goes to the first block under way that still expects
// it. When two blocks expect it, two hang-ups are being written at once and
// which figure is whose cannot be told: both rows say so.
void ConnectionLogReader::Figure(std::string_view message, std::string_view time) {
    enum { kDurationFigure, kReceivedFigure, kSentFigure } kind;
    std::string_view digits;
    if (StartsWith(message, log_text::kDuration)) {
        kind = kDurationFigure;
        digits = message.substr(std::string_view(log_text::kDuration).size());
    } else if (StartsWith(message, log_text::kBytesReceived)) {
        kind = kReceivedFigure;
        digits = message.substr(std::string_view(log_text::kBytesReceived).size());
    } else {
        kind = kSentFigure;
        digits = message.substr(std::string_view(log_text::kBytesSent).size());
    }
    auto wants = [kind](Block& block) -> bool& {
        return kind == kDurationFigure ? block.wantsDuration
                                       : kind == kReceivedFigure ? block.wantsBytesReceived : block.wantsBytesSent;
    };
    size_t first = kNone;
    size_t expecting = 0;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (!wants(blocks_[i])) continue;
        if (first == kNone) first = i;
        ++expecting;
    }
    if (first == kNone) {
        // A log that begins inside a hang-up's lines; or, with blocks under
        // way, a figure whose block lost its first line.
        const bool unexplained = !blocks_.empty();
        if (unexplained)
            for (const Block& block : blocks_) Change(block.row).figuresMixed = true;
        BeginBlock(HangupTarget(true), false);
        first = blocks_.size() - 1;
        if (unexplained) Change(blocks_[first].row).figuresMixed = true;
    } else if (expecting > 1) {
        for (Block& block : blocks_)
            if (wants(block)) Change(block.row).figuresMixed = true;
    }
    Block& block = blocks_[first];
    wants(block) = false;
    ConnectionRow& row = Change(block.row);
    row.hasStatistics = true;
    const uint32_t value = StatisticValue(digits);
    if (kind == kDurationFigure) {
        row.durationSeconds = value;
    } else {
        row.hasBytes = true;
        (kind == kReceivedFigure ? row.bytesReceived : row.bytesSent) = value;
    }
    Touch(block.row, time);
}

// The last line of a hang-up ends the block that has all its figures; of
// interleaved ones, the first.
void ConnectionLogReader::EndBlock() {
    if (blocks_.empty()) return;
    auto done = std::find_if(blocks_.begin(), blocks_.end(), [](const Block& b) {
        return !b.wantsDuration && !b.wantsBytesReceived && !b.wantsBytesSent;
    });
    blocks_.erase(done == blocks_.end() ? blocks_.begin() : done);
    if (blocks_.empty()) lastBlockRow_ = kNone;
}

// The lines of a hang-up marked as belonging to no connection: from its first
// line to its last. True for a line that is left out.
bool ConnectionLogReader::SkipUnmatched(std::string_view message) {
    if (message == log_text::kWorkerEnded || message == log_text::kWorkerNotEnded) {
        if (skip_ == Skip::Expected) {
            skip_ = Skip::Inside;
            return true;
        }
        // A second hang-up while one was being left out: that one was cut short.
        skip_ = Skip::None;
        return false;
    }
    if (StartsWith(message, log_text::kDuration) || StartsWith(message, log_text::kBytesReceived) ||
        StartsWith(message, log_text::kBytesSent))
        return true;
    if (message == log_text::kUserHungUp) {
        skip_ = Skip::None;
        return true;
    }
    if (message == log_text::kConnectionGone) skip_ = Skip::None;
    return false;
}

// The plug-in went away (unloaded, or loaded anew): what is still open will
// get no more lines.
void ConnectionLogReader::CloseOpen() {
    if (current_ != kNone) Mark(current_, kClosed);
    for (size_t row : awaiting_)
        if (!Has(row, kRefused)) Mark(row, kClosed);
    current_ = kNone;
    blocks_.clear();
    lastBlockRow_ = kNone;
    awaiting_.clear();
    skip_ = Skip::None;
    startSeen_ = true;
}

void ConnectionLogReader::Message(std::string_view date, std::string_view time, std::string_view message) {
    if (skip_ != Skip::None && SkipUnmatched(message)) return;
    if (message == log_text::kUnmatchedHangup) {
        skip_ = Skip::Expected;
        // This plug-in marks every hang-up that is nobody's, a refused
        // caller's too: no refused caller waits for one any longer.
        marking_ = true;
        awaiting_.erase(std::remove_if(awaiting_.begin(), awaiting_.end(),
                                       [&](size_t row) { return Has(row, kRefused); }),
                        awaiting_.end());
    } else if (message == log_text::kConnectionAccepted) {
        // A connection still timed here (an older plug-in took a second
        // caller) or one whose worker is done waits for its hang-up.
        if (current_ != kNone) awaiting_.push_back(current_);
        // A refused caller's hang-up, if the service sends one, comes before
        // the line is free again; after that no hang-up is theirs.
        awaiting_.erase(std::remove_if(awaiting_.begin(), awaiting_.end(),
                                       [&](size_t row) { return Has(row, kRefused); }),
                        awaiting_.end());
        current_ = NewRow(date, time);
        Touch(current_, time);
        startSeen_ = true;
    } else if (message == log_text::kSecondConnectionRefused || message == log_text::kSecondConnectionRefused100) {
        const size_t row = NewRow(date, time);
        Touch(row, time);
        Mark(row, kRefused);
        if (!marking_) awaiting_.push_back(row);
        startSeen_ = true;
    } else if (message == log_text::kAcceptedAfterHangup) {
        // The caller's hang-up came before his acceptance, marked as nobody's:
        // a refusal that is owed no hang-up.
        const size_t row = NewRow(date, time);
        Touch(row, time);
        Mark(row, kRefused);
        startSeen_ = true;
    } else if (message == log_text::kWorkerNotStarted) {
        // The service refuses the connection just accepted.
        if (current_ != kNone) {
            Mark(current_, kRefused);
            if (!marking_) awaiting_.push_back(current_);
            current_ = kNone;
        }
    } else if (message == log_text::kUserArrived) {
        Touch(CurrentOrCarriedOver(), time);
    } else if (StartsWith(message, log_text::kUserLine)) {
        const size_t row = CurrentOrCarriedOver();
        // The worker reads one record per connection.
        if (row != kNone && !Has(row, kUserSeen)) {
            Change(row).login = CutAtRunOnLine(message.substr(std::string_view(log_text::kUserLine).size()));
            Mark(row, kUserSeen);
        }
        Touch(row, time);
    } else if (StartsWith(message, log_text::kLimitLine)) {
        const size_t row = CurrentOrCarriedOver();
        if (row != kNone && Has(row, kUserSeen) && !Row(row).hasLimit) {
            ConnectionRow& changed = Change(row);
            changed.hasLimit = true;
            changed.limitMinutes = LeadingNumber(message.substr(std::string_view(log_text::kLimitLine).size()));
        }
        Touch(row, time);
    } else if (IsDisconnectLine(message)) {
        // After the hang-up has begun the worker's last lines may still come.
        size_t row = CurrentOrCarriedOver();
        if (row == kNone) row = lastBlockRow_;
        if (row != kNone) Mark(row, kDisconnectSeen);
        Touch(row, time);
    } else if (message == log_text::kWorkerEnded || message == log_text::kWorkerNotEnded) {
        const size_t row = HangupTarget(message == log_text::kWorkerEnded);
        BeginBlock(row, false);
        Touch(row, time);
    } else if (message == log_text::kConnectionGone) {
        // The service lost the hang-up; the worker ends the timed connection
        // itself, with the seconds it timed and no byte counts.
        const size_t row = HangupTarget(true);
        Mark(row, kGone);
        BeginBlock(row, true);
        Touch(row, time);
    } else if (StartsWith(message, log_text::kDuration) || StartsWith(message, log_text::kBytesReceived) ||
               StartsWith(message, log_text::kBytesSent)) {
        Figure(message, time);
    } else if (message == log_text::kUserHungUp) {
        EndBlock();
    } else if (message == log_text::kInitialized || message == log_text::kTerminated ||
               StartsWith(message, log_text::kConfigLoadFrom)) {
        CloseOpen();
    }
    // Every other line (IP requests, links, FTP steps, the banner) names no connection.
}

ConnectionEnding ConnectionLogReader::EndingOf(size_t row) const {
    if (Has(row, kRefused)) return ConnectionEnding::Refused;
    if (Has(row, kDisconnectSeen))
        return Has(row, kUserSeen) ? ConnectionEnding::LimitRanOut : ConnectionEnding::NoRegistration;
    if (Has(row, kGone)) return ConnectionEnding::FoundGone;
    if (Has(row, kHangupSeen)) return ConnectionEnding::CallerHungUp;
    if (Has(row, kClosed)) return ConnectionEnding::EndNotLogged;
    return ConnectionEnding::Going;
}

void ConnectionLogReader::CopyRow(size_t row, bool logEnded, ConnectionRow& into) const {
    into = Row(row);
    if (logEnded && into.ending == ConnectionEnding::Going) into.ending = ConnectionEnding::EndNotLogged;
}

void ConnectionLogReader::ShareRows(size_t first, size_t end, RowList& into) const {
    while (first < end) {
        const size_t at = first % kChunkRows;
        const size_t count = std::min(end - first, kChunkRows - at);
        into.Append(chunks_[first / kChunkRows], at, count);
        first += count;
    }
}

std::vector<ConnectionRow> ConnectionLogReader::Rows(bool logEnded) const {
    std::vector<ConnectionRow> rows(rowCount_);
    for (size_t i = 0; i < rows.size(); ++i) CopyRow(i, logEnded, rows[i]);
    return rows;
}

ConnectionLogReader ConnectionLogReader::NextDay() const {
    std::vector<size_t> open(awaiting_.begin(), awaiting_.end());
    if (current_ != kNone) open.push_back(current_);
    for (const Block& block : blocks_) open.push_back(block.row);
    std::sort(open.begin(), open.end());
    open.erase(std::unique(open.begin(), open.end()), open.end());
    auto moved = [&](size_t row) {
        if (row == kNone) return kNone;
        return static_cast<size_t>(std::lower_bound(open.begin(), open.end(), row) - open.begin());
    };

    ConnectionLogReader next;
    for (size_t row : open) {
        next.AppendRow(Row(row));
        next.tracks_.back() = tracks_[row];
    }
    next.current_ = moved(current_);
    for (Block block : blocks_) {
        block.row = moved(block.row);
        next.blocks_.push_back(block);
    }
    next.lastBlockRow_ = moved(lastBlockRow_);
    for (size_t row : awaiting_) next.awaiting_.push_back(moved(row));
    // What is not open here has ended: the next log invents no row for lines of it.
    next.startSeen_ = true;
    next.marking_ = marking_;
    next.skip_ = skip_;
    next.carriedFrom_ = std::move(open);
    return next;
}

bool ConnectionRow::operator==(const ConnectionRow& o) const {
    return std::tie(date, dialTime, login, hasLimit, limitMinutes, ending, hasStatistics, hasBytes, durationSeconds,
                    bytesReceived, bytesSent, figuresMixed, lastSecond) ==
           std::tie(o.date, o.dialTime, o.login, o.hasLimit, o.limitMinutes, o.ending, o.hasStatistics, o.hasBytes,
                    o.durationSeconds, o.bytesReceived, o.bytesSent, o.figuresMixed, o.lastSecond);
}

bool ConnectionLogReader::Block::operator==(const Block& o) const {
    return std::tie(row, wantsDuration, wantsBytesReceived, wantsBytesSent) ==
           std::tie(o.row, o.wantsDuration, o.wantsBytesReceived, o.wantsBytesSent);
}

bool ConnectionLogReader::operator==(const ConnectionLogReader& o) const {
    if (rowCount_ != o.rowCount_) return false;
    for (size_t i = 0; i < rowCount_; ++i)
        if (!(Row(i) == o.Row(i))) return false;
    return std::tie(tracks_, current_, blocks_, lastBlockRow_, awaiting_, startSeen_, marking_, skip_,
                    carriedFrom_, partial_, cut_, afterCr_, cutLines_, fed_) ==
           std::tie(o.tracks_, o.current_, o.blocks_, o.lastBlockRow_, o.awaiting_, o.startSeen_, o.marking_,
                    o.skip_, o.carriedFrom_, o.partial_, o.cut_, o.afterCr_, o.cutLines_, o.fed_);
}

std::vector<ConnectionRow> ReadConnectionReport(std::string_view logBytes) {
    ConnectionLogReader reader;
    reader.Feed(logBytes);
    return reader.Rows();
}

ReportTotals TotalsOf(const RowList& rows) {
    ReportTotals totals;
    for (const ConnectionRow& row : rows) {
        // A refused caller is no connection: his own figures (earlier
        // plug-ins log them) stay on his row, out of the connections' sums.
        if (row.ending == ConnectionEnding::Refused) {
            ++totals.refused;
            continue;
        }
        ++totals.connections;
        totals.seconds += row.durationSeconds;
        totals.bytesReceived += row.bytesReceived;
        totals.bytesSent += row.bytesSent;
    }
    return totals;
}

std::string DurationText(uint64_t seconds) {
    const uint64_t minutes = seconds / 60 % 60;
    const uint64_t secs = seconds % 60;
    std::string out = std::to_string(seconds / 3600) + ":";
    out += static_cast<char>('0' + minutes / 10);
    out += static_cast<char>('0' + minutes % 10);
    out += ':';
    out += static_cast<char>('0' + secs / 10);
    out += static_cast<char>('0' + secs % 10);
    return out;
}

int32_t SecondOfDay(std::string_view time) {
    int32_t parts[3] = {0, 0, 0};
    size_t count = 0;
    size_t at = 0;
    while (at < time.size() && count < 3) {
        if (time[at] < '0' || time[at] > '9') {
            ++at;
            continue;
        }
        int32_t value = 0;
        size_t digits = 0;
        for (; at < time.size() && time[at] >= '0' && time[at] <= '9' && digits < 3; ++at, ++digits)
            value = value * 10 + (time[at] - '0');
        parts[count++] = value;
    }
    if (count < 2) return -1;
    int32_t hour = parts[0];
    // A twelve-hour clock's designator after the digits.
    const bool pm = time.find("PM") != std::string_view::npos || time.find("pm") != std::string_view::npos;
    const bool am = time.find("AM") != std::string_view::npos || time.find("am") != std::string_view::npos;
    if (pm && hour < 12) hour += 12;
    if (am && hour == 12) hour = 0;
    if (hour > 23 || parts[1] > 59 || parts[2] > 59) return -1;
    return hour * 3600 + parts[1] * 60 + parts[2];
}

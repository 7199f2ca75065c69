#include "ConnectionReport.h"

#include <algorithm>

#include "LogTexts.h"
#include "../ConsoleTexts.h"
#include "LogFormat.h"
#include "UserFilesFormat.h"

namespace {

// The plug-in composes its lines in 100 bytes; anything much longer is not one of them.
constexpr size_t kMaxLineBytes = 4096;

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

}  // namespace

void ConnectionLogReader::Feed(std::string_view bytes) {
    fed_ += bytes.size();
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (skipping_) {
            if (end != std::string_view::npos) skipping_ = false;
        } else if (partial_.size() + piece.size() > kMaxLineBytes) {
            // Not a line of the plug-in: dropped up to its end.
            partial_.clear();
            skipping_ = end == std::string_view::npos;
        } else if (end == std::string_view::npos) {
            partial_.append(piece);
        } else if (partial_.empty()) {
            Line(piece);
        } else {
            partial_.append(piece);
            Line(partial_);
            partial_.clear();
        }
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
}

void ConnectionLogReader::Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view date, time, message;
    // Plain lines (the configuration dump, rules, empty lines) say nothing of a connection.
    if (SplitLogLine(line, date, time, message)) Message(date, time, message);
}

size_t ConnectionLogReader::NewRow(std::string_view date, std::string_view time) {
    ConnectionRow row;
    row.date = std::string(date);
    row.dialTime = std::string(time);
    rows_.push_back(std::move(row));
    tracks_.emplace_back();
    return rows_.size() - 1;
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
    tracks_[target].hangupSeen = true;
    return target;
}

// The plug-in went away (unloaded, or loaded anew): what is still open will
// get no more lines.
void ConnectionLogReader::CloseOpen() {
    if (current_ != kNone) tracks_[current_].closed = true;
    for (size_t row : awaiting_)
        if (!tracks_[row].refused) tracks_[row].closed = true;
    current_ = kNone;
    hangupTarget_ = kNone;
    awaiting_.clear();
    startSeen_ = true;
}

void ConnectionLogReader::Message(std::string_view date, std::string_view time, std::string_view message) {
    if (message == log_text::kConnectionAccepted) {
        // A connection still timed here (an older plug-in took a second
        // caller) or one whose worker is done waits for its hang-up.
        if (current_ != kNone) awaiting_.push_back(current_);
        // A refused caller's hang-up, if the service sends one, comes before
        // the line is free again; after that no hang-up is theirs.
        awaiting_.erase(std::remove_if(awaiting_.begin(), awaiting_.end(),
                                       [&](size_t row) { return tracks_[row].refused; }),
                        awaiting_.end());
        current_ = NewRow(date, time);
        startSeen_ = true;
    } else if (message == log_text::kSecondConnectionRefused) {
        const size_t row = NewRow(date, time);
        tracks_[row].refused = true;
        awaiting_.push_back(row);
        startSeen_ = true;
    } else if (message == log_text::kWorkerNotStarted) {
        // The service refuses the connection just accepted.
        if (current_ != kNone) {
            tracks_[current_].refused = true;
            awaiting_.push_back(current_);
            current_ = kNone;
        }
    } else if (message == log_text::kUserArrived) {
        CurrentOrCarriedOver();
    } else if (StartsWith(message, log_text::kUserLine)) {
        const size_t row = CurrentOrCarriedOver();
        // The worker reads one record per connection.
        if (row != kNone && !tracks_[row].userSeen) {
            rows_[row].login = std::string(CutAtRunOnLine(message.substr(std::string_view(log_text::kUserLine).size())));
            tracks_[row].userSeen = true;
        }
    } else if (StartsWith(message, log_text::kLimitLine)) {
        const size_t row = CurrentOrCarriedOver();
        if (row != kNone && tracks_[row].userSeen && !rows_[row].hasLimit) {
            rows_[row].hasLimit = true;
            rows_[row].limitMinutes = LeadingNumber(message.substr(std::string_view(log_text::kLimitLine).size()));
        }
    } else if (IsDisconnectLine(message)) {
        // After the hang-up has begun the worker's last lines may still come.
        size_t row = CurrentOrCarriedOver();
        if (row == kNone) row = hangupTarget_;
        if (row != kNone) tracks_[row].disconnectSeen = true;
    } else if (message == log_text::kWorkerEnded || message == log_text::kWorkerNotEnded) {
        hangupTarget_ = HangupTarget(message == log_text::kWorkerEnded);
    } else if (message == log_text::kConnectionGone) {
        // The service lost the hang-up; the worker ends the timed connection
        // itself, with the seconds it timed and no byte counts.
        hangupTarget_ = HangupTarget(true);
    } else if (StartsWith(message, log_text::kDuration) || StartsWith(message, log_text::kBytesReceived) ||
               StartsWith(message, log_text::kBytesSent)) {
        // A log that begins inside a hang-up's lines.
        if (hangupTarget_ == kNone) hangupTarget_ = HangupTarget(true);
        ConnectionRow& row = rows_[hangupTarget_];
        row.hasStatistics = true;
        if (StartsWith(message, log_text::kDuration))
            row.durationSeconds = StatisticValue(message.substr(std::string_view(log_text::kDuration).size()));
        else if (StartsWith(message, log_text::kBytesReceived))
            row.bytesReceived = StatisticValue(message.substr(std::string_view(log_text::kBytesReceived).size()));
        else
            row.bytesSent = StatisticValue(message.substr(std::string_view(log_text::kBytesSent).size()));
    } else if (message == log_text::kUserHungUp) {
        hangupTarget_ = kNone;
    } else if (message == log_text::kInitialized || message == log_text::kTerminated ||
               StartsWith(message, log_text::kConfigLoadFrom)) {
        CloseOpen();
    }
    // Every other line (IP requests, links, FTP steps, the banner) names no connection.
}

ConnectionEnding ConnectionLogReader::EndingOf(size_t row) const {
    const Track& t = tracks_[row];
    if (t.refused) return ConnectionEnding::Refused;
    if (t.disconnectSeen) return t.userSeen ? ConnectionEnding::LimitRanOut : ConnectionEnding::NoRegistration;
    if (t.hangupSeen) return ConnectionEnding::CallerHungUp;
    if (t.closed) return ConnectionEnding::EndNotLogged;
    return ConnectionEnding::Going;
}

std::vector<ConnectionRow> ConnectionLogReader::Rows() const {
    std::vector<ConnectionRow> rows = rows_;
    for (size_t i = 0; i < rows.size(); ++i) rows[i].ending = EndingOf(i);
    return rows;
}

std::vector<ConnectionRow> ReadConnectionReport(std::string_view logBytes) {
    ConnectionLogReader reader;
    reader.Feed(logBytes);
    return reader.Rows();
}

ReportTotals TotalsOf(const std::vector<ConnectionRow>& rows) {
    ReportTotals totals;
    for (const ConnectionRow& row : rows) {
        if (row.ending == ConnectionEnding::Refused) ++totals.refused;
        else ++totals.connections;
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

const char* EndingText(ConnectionEnding ending) {
    switch (ending) {
        case ConnectionEnding::LimitRanOut: return text::kEndingLimit;
        case ConnectionEnding::CallerHungUp: return text::kEndingHungUp;
        case ConnectionEnding::Refused: return text::kEndingRefused;
        case ConnectionEnding::NoRegistration: return text::kEndingNoRegistration;
        case ConnectionEnding::Going: return text::kEndingGoing;
        case ConnectionEnding::EndNotLogged: return text::kEndingNotLogged;
    }
    return "";
}

std::vector<std::string> RowTexts(const ConnectionRow& row) {
    return {row.date,
            row.dialTime,
            row.login,
            row.hasLimit ? std::to_string(row.limitMinutes) : std::string(),
            EndingText(row.ending),
            row.hasStatistics ? DurationText(row.durationSeconds) : std::string(),
            row.hasStatistics ? std::to_string(row.bytesReceived) : std::string(),
            row.hasStatistics ? std::to_string(row.bytesSent) : std::string()};
}

std::string TotalsText(const ReportTotals& t) {
    return text::kTotalsConnections + std::to_string(t.connections) + text::kTotalsRefused +
           std::to_string(t.refused) + text::kTotalsTime + DurationText(t.seconds) + text::kTotalsReceived +
           std::to_string(t.bytesReceived) + text::kTotalsSent + std::to_string(t.bytesSent);
}

namespace {

// A field as Excel reads it back: quoted when it holds a separator, a quote
// or a line break; a login that Excel would take for a formula keeps its
// text by a leading apostrophe.
std::string CsvField(std::string field, bool outsideText) {
    if (outsideText && !field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos)
        field.insert(field.begin(), '\'');
    if (field.find_first_of(";\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void AppendCsvRow(std::string& csv, const std::vector<std::string>& fields, size_t outsideColumn) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) csv += ';';
        csv += CsvField(fields[i], i == outsideColumn);
    }
    csv += "\r\n";
}

}  // namespace

std::string ConnectionReportCsv(const std::vector<ConnectionRow>& rows) {
    constexpr size_t kLoginColumn = 2;
    std::string csv;
    AppendCsvRow(csv, std::vector<std::string>(std::begin(text::kReportColumns), std::end(text::kReportColumns)),
                 std::string::npos);
    for (const ConnectionRow& row : rows) AppendCsvRow(csv, RowTexts(row), kLoginColumn);
    const ReportTotals t = TotalsOf(rows);
    AppendCsvRow(csv,
                 {text::kCsvTotal, text::kCsvConnections + std::to_string(t.connections), "", "",
                  text::kCsvRefused + std::to_string(t.refused), DurationText(t.seconds),
                  std::to_string(t.bytesReceived), std::to_string(t.bytesSent)},
                 std::string::npos);
    return csv;
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// yyyymmdd of a date written by the pattern (d, dd, M, MM, yy, yyyy and
// literal separators); -1 when it does not follow it.
int64_t DateKey(std::string_view date, std::string_view pattern) {
    int day = -1, month = -1, year = -1;
    size_t at = 0;
    for (size_t p = 0; p < pattern.size();) {
        const char c = pattern[p];
        size_t run = 1;
        while (p + run < pattern.size() && pattern[p + run] == c) ++run;
        p += run;
        if (c == 'd' || c == 'M' || c == 'y') {
            const size_t most = c == 'y' ? (run <= 2 ? 2 : 4) : 2;
            if (run > 2 && c != 'y') return -1;  // day and month names are not read
            size_t n = 0;
            int value = 0;
            while (n < most && at + n < date.size() && date[at + n] >= '0' && date[at + n] <= '9')
                value = value * 10 + (date[at + n++] - '0');
            if (n == 0 || (run == 2 && c != 'y' && n != 2) || (c == 'y' && n != most)) return -1;
            at += n;
            if (c == 'd') day = value;
            else if (c == 'M') month = value;
            else year = run <= 2 ? 2000 + value : value;
        } else {
            if (c == '\'') continue;
            for (size_t i = 0; i < run; ++i, ++at)
                if (at >= date.size() || date[at] != c) return -1;
        }
    }
    if (at != date.size() || day < 1 || day > 31 || month < 1 || month > 12 || year < 0) return -1;
    return static_cast<int64_t>(year) * 10000 + month * 100 + day;
}

}  // namespace

std::vector<std::string> LogDays(const std::vector<std::string>& fileNames, std::string_view namePrefix,
                                 std::string_view shortDatePattern, const std::string& today) {
    const std::string_view suffix = kLogFileSuffix;
    std::vector<std::string> days;
    for (const std::string& name : fileNames) {
        if (name.size() <= namePrefix.size() + suffix.size()) continue;
        if (!EqualsNoCase(std::string_view(name).substr(0, namePrefix.size()), namePrefix) ||
            !EqualsNoCase(std::string_view(name).substr(name.size() - suffix.size()), suffix))
            continue;
        days.push_back(name.substr(namePrefix.size(), name.size() - namePrefix.size() - suffix.size()));
    }
    if (std::find(days.begin(), days.end(), today) == days.end()) days.push_back(today);
    std::vector<std::pair<int64_t, std::string>> keyed;
    for (std::string& day : days) keyed.emplace_back(DateKey(day, shortDatePattern), std::move(day));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first > b.first;
        return a.second > b.second;
    });
    std::vector<std::string> sorted;
    for (auto& k : keyed) sorted.push_back(std::move(k.second));
    return sorted;
}

#include "ReportPeriod.h"

#include <algorithm>

#include "LogFormat.h"

int64_t DayNumber(int year, int month, int day) {
    // Days from the civil calendar, with March as the year's first month so
    // that the leap day comes last.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilDate(int64_t dayNumber, int& year, int& month, int& day) {
    const int64_t z = dayNumber + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthPart = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthPart + 2) / 5 + 1);
    month = static_cast<int>(monthPart < 10 ? monthPart + 3 : monthPart - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

namespace {

// A run of one pattern letter, as "dd" or "yyyy".
struct PatternRun {
    char letter;
    size_t length;
};

template <class Visit>
bool WalkPattern(std::string_view pattern, Visit visit) {
    for (size_t p = 0; p < pattern.size();) {
        const char c = pattern[p];
        size_t run = 1;
        while (p + run < pattern.size() && pattern[p + run] == c) ++run;
        p += run;
        if (c == '\'') continue;
        if ((c == 'd' || c == 'M') && run > 2) return false;  // day and month names
        if (!visit(PatternRun{c, run})) return false;
    }
    return true;
}

bool IsField(char c) { return c == 'd' || c == 'M' || c == 'y'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

int DaysInMonth(int year, int month) {
    return static_cast<int>(DayNumber(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                            DayNumber(year, month, 1));
}

}  // namespace

int64_t ParseShortDate(std::string_view text, std::string_view pattern) {
    int day = -1, month = -1, year = -1;
    size_t at = 0;
    const bool followed = WalkPattern(pattern, [&](PatternRun run) {
        if (!IsField(run.letter)) {
            for (size_t i = 0; i < run.length; ++i, ++at)
                if (at >= text.size() || text[at] != run.letter) return false;
            return true;
        }
        const size_t most = run.letter == 'y' ? (run.length <= 2 ? 2 : 4) : 2;
        size_t n = 0;
        int value = 0;
        while (n < most && at + n < text.size() && text[at + n] >= '0' && text[at + n] <= '9')
            value = value * 10 + (text[at + n++] - '0');
        if (n == 0 || (run.length == 2 && run.letter != 'y' && n != 2) || (run.letter == 'y' && n != most))
            return false;
        at += n;
        if (run.letter == 'd') day = value;
        else if (run.letter == 'M') month = value;
        else year = run.length <= 2 ? 2000 + value : value;
        return true;
    });
    if (!followed || at != text.size() || month < 1 || month > 12 || year < 0 || day < 1 ||
        day > DaysInMonth(year, month))
        return -1;
    return DayNumber(year, month, day);
}

std::string FormatShortDate(int64_t dayNumber, std::string_view pattern) {
    int year, month, day;
    CivilDate(dayNumber, year, month, day);
    std::string out;
    auto number = [&](int value, size_t width) {
        std::string digits = std::to_string(value);
        if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
        out += digits;
    };
    const bool followed = WalkPattern(pattern, [&](PatternRun run) {
        if (run.letter == 'd') number(day, run.length);
        else if (run.letter == 'M') number(month, run.length);
        else if (run.letter == 'y') number(run.length <= 2 ? year % 100 : year, run.length <= 2 ? run.length : 4);
        else out.append(run.length, run.letter);
        return true;
    });
    return followed ? out : std::string();
}

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
    for (std::string& day : days) keyed.emplace_back(ParseShortDate(day, shortDatePattern), std::move(day));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first > b.first;
        return a.second > b.second;
    });
    std::vector<std::string> sorted;
    for (auto& k : keyed) sorted.push_back(std::move(k.second));
    return sorted;
}

DayRange PeriodAround(PeriodKind kind, int64_t day, int64_t otherDay) {
    switch (kind) {
        case PeriodKind::Day: return {day, day};
        case PeriodKind::Week: {
            // 1 January 1970 was a Thursday.
            const int64_t fromMonday = ((day + 3) % 7 + 7) % 7;
            return {day - fromMonday, day - fromMonday + 6};
        }
        case PeriodKind::Month: {
            int year, month, dayOfMonth;
            CivilDate(day, year, month, dayOfMonth);
            const int64_t first = DayNumber(year, month, 1);
            return {first, first + DaysInMonth(year, month) - 1};
        }
        case PeriodKind::Range: return {std::min(day, otherDay), std::max(day, otherDay)};
    }
    return {day, day};
}

void PeriodReader::Choose(DayRange range, int64_t today, std::string_view datePattern) {
    if (read_) {
        // A day left half read: its rows may have been taken out of the cache; it is read anew.
        read_.reset();
        cache_.erase(readDay_);
    }
    if (datePattern != pattern_) cache_.clear();
    pattern_ = std::string(datePattern);
    range_ = range;
    today_ = today;
    chain_.clear();
    for (int64_t day = range.first - 1; day <= std::min(range.last + 1, today); ++day) chain_.push_back(day);
    next_ = 0;
    Keep();
}

void PeriodReader::Recheck() { next_ = 0; }

// Days of other periods are kept for going back to them, up to about three months.
void PeriodReader::Keep() {
    constexpr size_t kKeptDays = 100;
    for (auto it = cache_.begin(); it != cache_.end() && cache_.size() > kKeptDays;) {
        if (std::find(chain_.begin(), chain_.end(), it->first) == chain_.end()) it = cache_.erase(it);
        else ++it;
    }
}

bool PeriodReader::Step(DayLogSource& source) {
    if (read_) {
        ReadPiece(source);
        return true;
    }
    while (next_ < chain_.size()) {
        const size_t i = next_++;
        CachedDay& day = cache_[chain_[i]];
        if (day.text.empty()) day.text = FormatShortDate(chain_[i], pattern_);
        const CachedDay* before = i > 0 ? &cache_[chain_[i - 1]] : nullptr;
        const uint64_t seed = before && before->state == DayState::Read ? before->endVersion : 0;
        const LogFileStamp stamp = day.text.empty() ? LogFileStamp{} : source.Stamp(day.text);
        const bool sameStart = day.state == DayState::Read && day.seedVersion == seed;
        if (stamp.exists && sameStart && stamp.size == day.stamp.size && stamp.writeTime == day.stamp.writeTime)
            continue;
        if (!stamp.exists && day.state == DayState::Missing) continue;

        if (stamp.exists && sameStart && stamp.size == day.reader.BytesFed()) {
            // Read up to here already: the read went on past the size seen then.
            day.stamp = stamp;
            continue;
        }
        readDay_ = chain_[i];
        read_.emplace();
        read_->text = day.text;
        readStamp_ = stamp;
        readSeed_ = seed;
        if (!stamp.exists) {
            read_->state = DayState::Missing;
            DayRead();
            return true;
        }
        // Grown, as today's log does: only what was added; else the whole
        // file, going on from the day before's open connections.
        if (sameStart && stamp.size > day.reader.BytesFed()) read_->reader = std::move(day.reader);
        else if (seed) read_->reader = before->end;
        ReadPiece(source);
        return true;
    }
    std::string().swap(buffer_);
    return false;
}

void PeriodReader::ReadPiece(DayLogSource& source) {
    CachedDay& read = *read_;
    if (!source.Read(read.text, read.reader.BytesFed(), kReadPieceBytes, buffer_)) {
        read.reader = ConnectionLogReader();
        read.state = DayState::Unreadable;
        DayRead();
        return;
    }
    read.reader.Feed(buffer_);
    // A short piece is the file's end.
    if (buffer_.size() < kReadPieceBytes) {
        read.state = DayState::Read;
        DayRead();
    }
}

// The day read (or found missing or unreadable) takes its place in the cache.
void PeriodReader::DayRead() {
    CachedDay& read = *read_;
    CachedDay& day = cache_[readDay_];
    if (read.state == DayState::Read) {
        read.stamp = readStamp_;
        read.seedVersion = readSeed_;
        read.end = read.reader.NextDay();
        read.endVersion = day.state == DayState::Read && read.end == day.end ? day.endVersion : ++version_;
    }
    read.version = ++version_;
    day = std::move(read);
    read_.reset();
}

PeriodRows PeriodReader::Rows() const {
    PeriodRows out;
    Rows(out);
    return out;
}

void PeriodReader::Rows(PeriodRows& out) const {
    out.days.clear();
    out.rows.clear();
    out.rowDay.clear();
    const size_t n = chain_.size();
    auto cached = [&](size_t i) -> const CachedDay* {
        const auto it = i < n ? cache_.find(chain_[i]) : cache_.end();
        return it == cache_.end() ? nullptr : &it->second;
    };
    auto readDay = [&](size_t i) {
        const CachedDay* day = cached(i);
        return day && day->state == DayState::Read ? day : nullptr;
    };
    // Whether a day's open connections go on in the next day's log.
    auto goesOn = [&](size_t i) {
        const CachedDay* day = readDay(i);
        const CachedDay* next = readDay(i + 1);
        return day && next && next->seedVersion == day->endVersion;
    };
    auto logEnded = [&](size_t i) { return i + 1 < n ? !goesOn(i) : chain_[i] < today_; };
    auto carried = [&](size_t i) {
        const CachedDay* day = readDay(i);
        return day && i > 0 && goesOn(i - 1) ? day->reader.CarriedFrom().size() : 0;
    };

    // A row open at the end of day i, as the last day it goes on in has it.
    auto latest = [&](size_t i, size_t row) {
        while (goesOn(i)) {
            const std::vector<size_t>& open = readDay(i)->end.CarriedFrom();
            row = static_cast<size_t>(std::lower_bound(open.begin(), open.end(), row) - open.begin());
            ++i;
            const std::vector<size_t>& stillOpen = readDay(i)->end.CarriedFrom();
            if (!std::binary_search(stillOpen.begin(), stillOpen.end(), row)) break;
        }
        ConnectionRow version;
        readDay(i)->reader.CopyRow(row, logEnded(i), version);
        return version;
    };

    // The period's days and their own rows; the day before the period (the
    // chain's first) only says where the first ones began.
    for (int64_t dayNumber = range_.first; dayNumber <= range_.last; ++dayNumber) {
        const size_t i = static_cast<size_t>(dayNumber - (range_.first - 1));
        const CachedDay* day = cached(i);
        out.days.push_back({dayNumber, day ? day->text : FormatShortDate(dayNumber, pattern_),
                            dayNumber > today_ ? DayState::Future : day ? day->state : DayState::Missing,
                            readDay(i) ? day->reader.CutLines() : 0});
        if (!readDay(i)) continue;
        const ConnectionLogReader& reader = day->reader;
        const size_t total = reader.RowCount();
        // Rows shown otherwise than this day's reader has them: those that
        // go on in the next day's log, which has their latest version, and,
        // in a log that ended, those whose end it did not get to. The others
        // are shared.
        std::vector<size_t> changed;
        if (goesOn(i)) {
            changed = day->end.CarriedFrom();
        } else if (logEnded(i)) {
            for (size_t row = 0; row < total; ++row)
                if (reader.Row(row).ending == ConnectionEnding::Going) changed.push_back(row);
        }
        size_t from = carried(i);
        for (size_t row : changed) {
            if (row < from) continue;
            reader.ShareRows(from, row, out.rows);
            out.rows.Append(latest(i, row));
            from = row + 1;
        }
        reader.ShareRows(from, total, out.rows);
        out.rowDay.resize(out.rows.size(), static_cast<uint32_t>(out.days.size() - 1));
    }
}

PeriodRows ReadPeriod(DayLogSource& source, DayRange range, int64_t today, std::string_view datePattern) {
    PeriodReader reader;
    reader.Choose(range, today, datePattern);
    while (reader.Step(source)) {
    }
    return reader.Rows();
}

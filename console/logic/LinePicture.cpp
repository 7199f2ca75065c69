#include "LinePicture.h"

#include <algorithm>

#include "Monitor.h"

namespace {

// Where a row lies on the period's time line, in seconds from the start of
// its first day; false for a row that has none.
bool SpanOf(const ConnectionRow& row, int64_t dayOffset, const PictureOptions& options, int64_t periodDay,
            int64_t& from, int64_t& to) {
    const int32_t dial = SecondOfDay(row.dialTime);
    int32_t last = row.lastSecond;
    const int64_t base = dayOffset * kSecondsPerDay;
    if (dial >= 0 && last >= 0 && last < dial) last += kSecondsPerDay;  // its last line after midnight
    if (row.hasStatistics) {
        // The service's own count of seconds; from the dial, or back from
        // the hang-up when the dial is in no log.
        if (dial >= 0) from = base + dial;
        else if (last >= 0) from = base + last - row.durationSeconds;
        else return false;
        to = from + row.durationSeconds;
        return true;
    }
    if (dial < 0) return false;
    from = base + dial;
    if (row.ending == ConnectionEnding::Going && periodDay <= options.today)
        to = (options.today - periodDay) * kSecondsPerDay + options.nowSecond + base;
    else
        to = last >= 0 ? base + last : from;
    to = std::max(to, from);
    return true;
}

}  // namespace

LinePicture BuildLinePicture(const PeriodRows& period, const PictureOptions& options) {
    LinePicture picture;
    picture.days = period.days.size();
    picture.grid = picture.days > kStripDaysAtMost;
    if (options.watchOn)
        for (int hour = 0; hour < 24; ++hour)
            picture.workingHour[hour] = IsWorkingTime(hour, options.timeBegin, options.timeEnd);
    picture.busySeconds.assign(picture.days * 24, 0);
    picture.refusals.assign(picture.days * 24, 0);
    const int64_t end = static_cast<int64_t>(picture.days) * kSecondsPerDay;
    // A span a row but the refused ones, and one more for each midnight a connection goes over.
    picture.spans.reserve(period.rows.size() + period.days.size());
    uint32_t i = 0;
    for (auto it = period.rows.begin(); it != period.rows.end(); ++it, ++i) {
        const ConnectionRow& row = *it;
        const uint32_t day = period.rowDay[i];
        const int64_t dayNumber = period.days[day].day;
        if (row.ending == ConnectionEnding::Refused) {
            const int32_t at = SecondOfDay(row.dialTime);
            if (at < 0) continue;
            picture.ticks.push_back({day, at, i});
            ++picture.refusals[static_cast<size_t>(day) * 24 + static_cast<size_t>(at / 3600)];
            continue;
        }
        int64_t from, to;
        if (!SpanOf(row, static_cast<int64_t>(day), options, dayNumber, from, to)) continue;
        from = std::max<int64_t>(from, 0);
        to = std::min(to, end);
        if (from >= end) continue;
        if (to <= from) {
            // Its dial alone: a span of no length, still to be seen and pointed at.
            const int64_t strip = from / kSecondsPerDay;
            const int32_t at = static_cast<int32_t>(from - strip * kSecondsPerDay);
            picture.spans.push_back({static_cast<uint32_t>(strip), at, at, row.ending, i});
            continue;
        }
        // Split at midnight: each day's strip shows its part.
        for (int64_t at = from; at < to;) {
            const int64_t strip = at / kSecondsPerDay;
            const int64_t stripEnd = std::min(to, (strip + 1) * kSecondsPerDay);
            picture.spans.push_back({static_cast<uint32_t>(strip), static_cast<int32_t>(at - strip * kSecondsPerDay),
                                     static_cast<int32_t>(stripEnd - strip * kSecondsPerDay), row.ending, i});
            // The hours are counted from the period's start, 24 a day.
            for (int64_t hour = at / 3600; hour * 3600 < stripEnd; ++hour) {
                const int64_t overlap = std::min(stripEnd, (hour + 1) * 3600) - std::max(at, hour * 3600);
                uint16_t& cell = picture.busySeconds[static_cast<size_t>(hour)];
                // Two connections at once (earlier plug-ins) fill an hour at most.
                cell = static_cast<uint16_t>(std::min<int64_t>(3600, cell + overlap));
            }
            at = stripEnd;
        }
    }
    auto byDayThenRow = [](const auto& a, const auto& b) {
        return a.day != b.day ? a.day < b.day : a.row < b.row;
    };
    std::stable_sort(picture.spans.begin(), picture.spans.end(), byDayThenRow);
    std::stable_sort(picture.ticks.begin(), picture.ticks.end(), byDayThenRow);
    return picture;
}

size_t RowAt(const LinePicture& picture, size_t day, int32_t second, int32_t slack) {
    size_t best = static_cast<size_t>(-1);
    int32_t bestDistance = slack + 1;
    auto consider = [&](int32_t from, int32_t to, size_t row) {
        const int32_t distance = second < from ? from - second : second > to ? second - to : 0;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = row;
        }
    };
    // A refused call's tick lies on top of the span it fell into: near one, it is the one meant.
    for (const PictureTick& tick : picture.ticks)
        if (tick.day == day) consider(tick.at, tick.at, tick.row);
    if (best != static_cast<size_t>(-1)) return best;
    for (const PictureSpan& span : picture.spans)
        if (span.day == day) consider(span.from, span.to, span.row);
    return best;
}

std::vector<size_t> RowsInHour(const LinePicture& picture, size_t day, int hour, size_t dayCount) {
    const int32_t from = hour * 3600, to = from + 3600;
    auto inDays = [&](size_t d) { return d >= day && d - day < dayCount; };
    std::vector<size_t> rows;
    for (const PictureSpan& span : picture.spans)
        if (inDays(span.day) && span.from < to && (span.to > from || (span.from == span.to && span.from >= from)))
            rows.push_back(span.row);
    for (const PictureTick& tick : picture.ticks)
        if (inDays(tick.day) && tick.at >= from && tick.at < to) rows.push_back(tick.row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

size_t DaysPerRow(size_t days, int room, int leastRow) {
    if (days == 0) return 1;
    const size_t rowsThatFit = static_cast<size_t>(std::max(1, room / std::max(1, leastRow)));
    return (days + rowsThatFit - 1) / rowsThatFit;
}

HourLoad LoadOfHour(const PeriodRows& period, const LinePicture& picture, size_t day, int hour, size_t dayCount) {
    HourLoad load;
    uint32_t read = 0;
    for (size_t d = day; d < day + dayCount && d < picture.days; ++d) {
        const size_t cell = d * 24 + static_cast<size_t>(hour);
        if (cell < picture.busySeconds.size()) load.busySeconds += picture.busySeconds[cell];
        if (cell < picture.refusals.size()) load.refusals += picture.refusals[cell];
        if (d < period.days.size() && period.days[d].state == DayState::Read) ++read;
    }
    load.ofSeconds = 3600 * std::max<uint32_t>(1, read);
    return load;
}

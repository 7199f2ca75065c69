// The line's period as a picture, as a model the drawing and the tests share:
// each day a 24-hour strip with the busy spans coloured by how they ended and
// the refused calls as ticks; a longer period a grid of days by hours whose
// shade is the share of each hour the line was busy. The working hours are
// shaded when the watch is on. Seconds and rows only, no pixels.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "ReportPeriod.h"

inline constexpr int32_t kSecondsPerDay = 86400;

struct PictureOptions {
    // The working-hours watch: off, nothing is shaded.
    bool watchOn = false;
    int32_t timeBegin = 23;
    int32_t timeEnd = 7;
    // Now, for a connection that is still going.
    int64_t today = 0;
    int32_t nowSecond = 0;
};

// A span and a tick a row, nearly: 32 bits hold any period's days and rows.
struct PictureSpan {
    uint32_t day;  // index in the period's days
    int32_t from;  // seconds of that day
    int32_t to;    // up to kSecondsPerDay; a span that crosses midnight goes on in the next day's strip
    ConnectionEnding ending;
    uint32_t row;  // in the period's rows
};

struct PictureTick {
    uint32_t day;
    int32_t at;
    uint32_t row;
};

struct LinePicture {
    size_t days = 0;
    bool grid = false;  // more days than a week: the grid of days by hours
    std::vector<PictureSpan> spans;  // by day, then by start
    std::vector<PictureTick> ticks;  // refused calls, by day, then by time
    std::array<bool, 24> workingHour{};  // all false when the watch is off
    // Each day's hours, 24 a day (the grid's cells): seconds the line was
    // busy in that hour (at most 3600) and the calls refused in it.
    std::vector<uint16_t> busySeconds;
    std::vector<uint16_t> refusals;
};

inline constexpr size_t kStripDaysAtMost = 7;

LinePicture BuildLinePicture(const PeriodRows& period, const PictureOptions& options);

// The row under a point of a day's strip: a span that covers `second`, or
// else the nearest tick or span within `slack` seconds; the row count when none.
size_t RowAt(const LinePicture& picture, size_t day, int32_t second, int32_t slack);
// The rows busy or refused in an hour of `dayCount` days from `day`, in the
// order of the list.
std::vector<size_t> RowsInHour(const LinePicture& picture, size_t day, int hour, size_t dayCount = 1);

// How many days share a row of the grid so that all of them fit `room`
// pixels with rows at least `leastRow` high: one when they fit one a row,
// and so on up to all days in one row.
size_t DaysPerRow(size_t days, int room, int leastRow);
// An hour of `dayCount` days from `day`: the seconds the line was busy in
// it, out of the hour's seconds on those days whose log was read (one
// hour's at least), and the calls refused in it.
struct HourLoad {
    uint32_t busySeconds = 0;
    uint32_t ofSeconds = 3600;
    uint32_t refusals = 0;
    uint32_t Percent() const { return (busySeconds * 100 + ofSeconds / 2) / ofSeconds; }
};
HourLoad LoadOfHour(const PeriodRows& period, const LinePicture& picture, size_t day, int hour, size_t dayCount = 1);

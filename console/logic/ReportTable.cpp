#include "ReportTable.h"

#include <algorithm>
#include <string_view>

#include "../ReportTexts.h"

const char* EndingText(ConnectionEnding ending) {
    switch (ending) {
        case ConnectionEnding::LimitRanOut: return text::kEndingLimit;
        case ConnectionEnding::CallerHungUp: return text::kEndingHungUp;
        case ConnectionEnding::Refused: return text::kEndingRefused;
        case ConnectionEnding::NoRegistration: return text::kEndingNoRegistration;
        case ConnectionEnding::FoundGone: return text::kEndingFoundGone;
        case ConnectionEnding::Going: return text::kEndingGoing;
        case ConnectionEnding::EndNotLogged: return text::kEndingNotLogged;
    }
    return "";
}

std::vector<std::string> RowTexts(const ConnectionRow& row) {
    return {std::string(row.date),
            std::string(row.dialTime),
            std::string(row.login),
            row.hasLimit ? std::to_string(row.limitMinutes) : std::string(),
            EndingText(row.ending),
            row.hasStatistics ? DurationText(row.durationSeconds) : std::string(),
            row.hasBytes ? std::to_string(row.bytesReceived) : std::string(),
            row.hasBytes ? std::to_string(row.bytesSent) : std::string(),
            row.figuresMixed ? text::kNoteFiguresMixed : ""};
}

std::string TotalsText(const ReportTotals& t) {
    return text::kTotalsConnections + std::to_string(t.connections) + text::kTotalsRefused +
           std::to_string(t.refused) + text::kTotalsTime + DurationText(t.seconds) + text::kTotalsReceived +
           std::to_string(t.bytesReceived) + text::kTotalsSent + std::to_string(t.bytesSent);
}

namespace {

// The ending columns of the totals per login, in kLoginColumns' order.
constexpr ConnectionEnding kEndingColumns[] = {ConnectionEnding::LimitRanOut,  ConnectionEnding::CallerHungUp,
                                               ConnectionEnding::NoRegistration, ConnectionEnding::FoundGone,
                                               ConnectionEnding::EndNotLogged, ConnectionEnding::Going};

}  // namespace

std::vector<std::string> LoginTotalsTexts(const LoginTotals& t) {
    std::vector<std::string> texts = {t.noLogin ? text::kNoLogin : t.login,
                                      std::to_string(t.connections),
                                      std::to_string(t.refused),
                                      DurationText(t.seconds),
                                      std::to_string(t.bytesReceived),
                                      std::to_string(t.bytesSent)};
    for (ConnectionEnding ending : kEndingColumns) texts.push_back(std::to_string(t.endings[static_cast<size_t>(ending)]));
    texts.push_back(t.firstCall);
    texts.push_back(t.lastCall);
    texts.push_back(t.figuresMixed ? text::kNoteMixedRows + std::to_string(t.figuresMixed) : std::string());
    return texts;
}

namespace {

// A field as Excel reads it back: quoted when it holds a separator, a quote
// or a line break; outside text that Excel would take for a formula keeps
// its text by a leading apostrophe.
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

constexpr size_t kNoOutsideText = static_cast<size_t>(-1);

void AppendCsvRow(std::string& csv, const std::vector<std::string>& fields, size_t outsideColumn) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) csv += ';';
        csv += CsvField(fields[i], i == outsideColumn);
    }
    csv += "\r\n";
}

template <size_t N, size_t M>
std::vector<std::string> Headers(const char (&columns)[N][M]) {
    return std::vector<std::string>(std::begin(columns), std::end(columns));
}

}  // namespace

std::string ConnectionReportCsv(const RowList& rows) {
    constexpr size_t kLoginColumn = 2;
    std::string csv;
    AppendCsvRow(csv, Headers(text::kReportColumns), kNoOutsideText);
    for (const ConnectionRow& row : rows) AppendCsvRow(csv, RowTexts(row), kLoginColumn);
    const ReportTotals t = TotalsOf(rows);
    AppendCsvRow(csv,
                 {text::kCsvTotal, text::kCsvConnections + std::to_string(t.connections), "", "",
                  text::kCsvRefused + std::to_string(t.refused), DurationText(t.seconds),
                  std::to_string(t.bytesReceived), std::to_string(t.bytesSent), ""},
                 kNoOutsideText);
    return csv;
}

std::string LoginTotalsCsv(const std::vector<LoginTotals>& logins) {
    constexpr size_t kLoginColumn = 0;
    std::string csv;
    AppendCsvRow(csv, Headers(text::kLoginColumns), kNoOutsideText);
    LoginTotals all;
    for (const LoginTotals& t : logins) {
        AppendCsvRow(csv, LoginTotalsTexts(t), kLoginColumn);
        all.connections += t.connections;
        all.refused += t.refused;
        all.seconds += t.seconds;
        all.bytesReceived += t.bytesReceived;
        all.bytesSent += t.bytesSent;
        for (size_t e = 0; e < kEndingCount; ++e) all.endings[e] += t.endings[e];
        all.figuresMixed += t.figuresMixed;
    }
    std::vector<std::string> totals = LoginTotalsTexts(all);
    totals[0] = text::kCsvTotal;
    AppendCsvRow(csv, totals, kNoOutsideText);
    return csv;
}

namespace {

// Consecutive days as "first–last", others one by one.
std::string DayList(const PeriodRows& period, DayState state) {
    std::string out;
    for (size_t i = 0; i < period.days.size(); ++i) {
        if (period.days[i].state != state) continue;
        size_t last = i;
        while (last + 1 < period.days.size() && period.days[last + 1].state == state) ++last;
        if (!out.empty()) out += ", ";
        out += period.days[i].text;
        if (last > i) out += text::kDayRangeDash + period.days[last].text;
        i = last;
    }
    return out;
}

}  // namespace

std::string PeriodStatusText(const PeriodRows& period) {
    if (period.Empty()) return std::string();
    if (period.OneDay() && period.days[0].state == DayState::Missing) return text::kReportNoLog;
    std::string out = text::kStatusPeriod + period.days.front().text;
    if (!period.OneDay())
        out += text::kDayRangeDash + period.days.back().text + ", " + std::to_string(period.days.size()) + text::kStatusDays;
    const std::string missing = DayList(period, DayState::Missing);
    if (!missing.empty()) out += text::kStatusMissing + missing;
    const std::string unreadable = DayList(period, DayState::Unreadable);
    if (!unreadable.empty()) out += text::kStatusUnreadable + unreadable;
    size_t cut = 0;
    for (const PeriodDay& day : period.days) cut += day.cutLines;
    if (cut) out += text::kStatusCutLines + std::to_string(cut);
    return out;
}

namespace {

std::string TwoDigits(int64_t value) { return std::string(1, static_cast<char>('0' + value / 10 % 10)) + static_cast<char>('0' + value % 10); }

std::string ClockText(int64_t second) {
    second %= kSecondsPerDay;
    return TwoDigits(second / 3600) + ":" + TwoDigits(second / 60 % 60) + ":" + TwoDigits(second % 60);
}

}  // namespace

std::string SpanHoverText(const PeriodRows& period, size_t row, int64_t endSecond) {
    const ConnectionRow& r = period.rows[row];
    std::string out = period.days[period.rowDay[row]].text;
    if (!r.dialTime.empty()) {
        out += ' ';
        out += r.dialTime;
    }
    if (endSecond >= 0 && r.ending != ConnectionEnding::Refused)
        out += (r.dialTime.empty() ? " " : text::kDayRangeDash) + ClockText(endSecond);
    out += ", ";
    out += r.login.empty() ? std::string_view(text::kNoLogin) : r.login.View();
    out += ", ";
    out += r.ending == ConnectionEnding::Refused ? text::kLegendRefused : EndingText(r.ending);
    return out;
}

std::string HourHoverText(const PeriodRows& period, const LinePicture& picture, size_t day, int hour,
                          size_t dayCount) {
    const size_t last = std::min(day + dayCount, period.days.size()) - 1;
    size_t connections = 0;
    for (size_t row : RowsInHour(picture, day, hour, dayCount))
        if (period.rows[row].ending != ConnectionEnding::Refused) ++connections;
    std::string days = period.days[day].text;
    if (last > day) days += text::kDayRangeDash + period.days[last].text;
    const HourLoad load = LoadOfHour(period, picture, day, hour, dayCount);
    return days + ", " + TwoDigits(hour) + ":00" + text::kDayRangeDash + TwoDigits(hour + 1) + ":00" +
           text::kHoverBusy + std::to_string(load.Percent()) + text::kHoverConnections + std::to_string(connections) +
           text::kHoverRefusedCount + std::to_string(load.refusals);
}

std::string PictureSummaryText(const PeriodRows& period, const LinePicture& picture) {
    std::vector<std::pair<uint32_t, int>> hours;  // the share in per cent, the hour
    for (int hour = 0; hour < 24; ++hour) {
        const HourLoad load = LoadOfHour(period, picture, 0, hour, picture.days);
        if (load.busySeconds) hours.emplace_back(load.Percent(), hour);
    }
    // The busiest first, the earlier of equal ones.
    std::stable_sort(hours.begin(), hours.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string out = hours.empty() ? text::kSummaryNotBusy : text::kSummaryBusiest;
    for (size_t i = 0; i < hours.size() && i < 3; ++i) {
        const int hour = hours[i].second;
        out += (i ? ", " : "") + TwoDigits(hour) + ":00" + text::kDayRangeDash + TwoDigits(hour + 1) + ":00 (" +
               std::to_string(hours[i].first) + "%)";
    }
    out += text::kSummaryByDay;
    bool first = true;
    for (size_t d = 0; d < period.days.size() && d < picture.days; ++d) {
        const PeriodDay& day = period.days[d];
        if (day.state == DayState::Future) continue;
        out += (first ? "" : ", ") + day.text + ": ";
        first = false;
        if (day.state != DayState::Read) {
            out += text::kLegendNoLog;
            continue;
        }
        uint32_t busy = 0;
        for (int hour = 0; hour < 24; ++hour) busy += LoadOfHour(period, picture, d, hour).busySeconds;
        out += std::to_string((busy * 100 + kSecondsPerDay / 2) / kSecondsPerDay) + "%";
    }
    return out;
}

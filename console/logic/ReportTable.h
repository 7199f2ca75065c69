// The report's rows as the list shows them and the CSV holds them, in
// Windows-1251: the connections, the totals per login, the line under the
// list and the status line that names the days without a log.
#pragma once
#include <string>
#include <vector>

#include "ConnectionReport.h"
#include "LinePicture.h"
#include "LoginTotals.h"
#include "ReportPeriod.h"

const char* EndingText(ConnectionEnding ending);

// The columns of a connection: its date, dial time, login, limit, ending,
// duration, bytes each way and a note.
std::vector<std::string> RowTexts(const ConnectionRow& row);
std::string TotalsText(const ReportTotals& totals);

// The columns of a login's totals, as kLoginColumns names them.
std::vector<std::string> LoginTotalsTexts(const LoginTotals& totals);

// The CSV for Excel on a Russian Windows: Windows-1251, ";" between fields,
// CR LF, a header row, the rows, then a totals row. A login that Excel would
// take for a formula keeps its text by a leading apostrophe.
std::string ConnectionReportCsv(const RowList& rows);
std::string LoginTotalsCsv(const std::vector<LoginTotals>& logins);

// The period ("01.12.2026–31.12.2026, 31 дн."), then the days whose log is
// missing or cannot be read, consecutive ones as "first–last", and how many
// lines were too long to be read whole. For one day without a log, the day's
// own words.
std::string PeriodStatusText(const PeriodRows& period);

// What hovering over the picture shows: a connection, as "08.12.2026
// 08:00:01–08:10:01, ivan, лимит исчерпан" (the end from the picture's
// span, `endSecond` seconds after the dial day's midnight, -1 for none); an
// hour of the grid, as "08.12.2026, 14:00–15:00: линия занята 35%,
// соединений: 2, отклонено: 1", or of a row of `dayCount` days, as
// "08.12.2026–11.12.2026, 14:00–15:00: ..." with the share over those days.
std::string SpanHoverText(const PeriodRows& period, size_t row, int64_t endSecond);

// The picture in words, for those who cannot see it: the three hours of the
// day the line was busiest, over the days with a log, and each day's share:
// "Чаще всего линия занята: 20:00–21:00 (45%), ...; по дням: 01.12.2026: 12%,
// 02.12.2026: нет журнала, ...".
std::string PictureSummaryText(const PeriodRows& period, const LinePicture& picture);
std::string HourHoverText(const PeriodRows& period, const LinePicture& picture, size_t day, int hour,
                          size_t dayCount = 1);

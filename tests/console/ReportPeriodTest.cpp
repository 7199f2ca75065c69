// A month of the plug-in's logs, composed by its own line composer, read as a
// period: the rows and their CSV, the totals per login and their CSV, the
// picture's spans, the days without a log, and what is read again when a
// day's file changes.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "LinePicture.h"
#include "LogFormat.h"
#include "LogTexts.h"
#include "LoginTotals.h"
#include "ReportPeriod.h"
#include "ReportTable.h"

namespace {

constexpr char kPattern[] = "dd.MM.yyyy";

// A day's log, line by line as the plug-in writes it.
class DayLog {
public:
    explicit DayLog(std::string date) : date_(std::move(date)) {}
    const std::string& Bytes() const { return bytes_; }

    DayLog& Line(const std::string& time, const std::string& message) {
        bytes_ += ToTextMode(ComposeLogLine(message, true, date_, time));
        return *this;
    }
    DayLog& Plain(const std::string& message) {
        bytes_ += ToTextMode(ComposeLogLine(message, false, "", ""));
        return *this;
    }
    DayLog& Load(const std::string& time) {
        Line(time, LogBanner("1.0.0")).Line(time, std::string(log_text::kConfigLoadFrom) + "C:\\dialgate\\qv_config.ini");
        return Line(time, log_text::kConfigLoaded).Line(time, log_text::kInitialized);
    }
    DayLog& Accept(const std::string& time) {
        return Line(time, log_text::kConnectionAccepted).Line(time, log_text::kWorkerStarted).Line(time, log_text::kLinkUp);
    }
    DayLog& User(const std::string& time, const std::string& login, const std::string& limit) {
        Plain("\n").Line(time, log_text::kUserArrived).Line(time, log_text::kUserLine + login);
        Line(time, std::string(log_text::kPassLine) + "secret").Line(time, log_text::kLimitLine + limit + "\n");
        return Plain("\n");
    }
    DayLog& Disconnect(const std::string& time) {
        for (const char* call : log_text::kDisconnectCalls) Line(time, call + std::string(log_text::kCallOk));
        return Line(time, log_text::kDisconnected).Line(time, log_text::kExitThread);
    }
    // A hang-up's block; `nobodys` puts the line before it that marks it as
    // belonging to no timed connection (a duplicate, a late or a refused caller's).
    DayLog& Hangup(const std::string& time, bool ended, unsigned seconds, unsigned rx, unsigned tx,
                   bool nobodys = false) {
        if (nobodys) Line(time, log_text::kUnmatchedHangup);
        Line(time, ended ? log_text::kWorkerEnded : log_text::kWorkerNotEnded);
        Line(time, log_text::kDuration + std::to_string(seconds)).Line(time, log_text::kBytesReceived + std::to_string(rx));
        return Line(time, log_text::kBytesSent + std::to_string(tx)).Line(time, log_text::kUserHungUp);
    }
    DayLog& Gone(const std::string& time, unsigned seconds) {
        Line(time, log_text::kConnectionGone).Line(time, log_text::kDuration + std::to_string(seconds));
        return Line(time, log_text::kUserHungUp);
    }
    DayLog& Refusal(const std::string& time) { return Line(time, log_text::kSecondConnectionRefused); }

private:
    std::string date_;
    std::string bytes_;
};

// The log folder, as the window sees it: each file's bytes, which ones its
// writer holds, and every read made.
class FakeLogFolder : public DayLogSource {
public:
    std::map<std::string, std::string> files;
    std::map<std::string, uint64_t> writes;  // a file's write time
    std::set<std::string> held;
    std::vector<std::pair<std::string, uint64_t>> reads;  // day, offset

    void Put(const std::string& day, const std::string& bytes) {
        files[day] = bytes;
        ++writes[day];
    }
    LogFileStamp Stamp(const std::string& day) override {
        const auto it = files.find(day);
        if (it == files.end()) return {};
        return {true, it->second.size(), writes[day]};
    }
    bool Read(const std::string& day, uint64_t offset, size_t maxBytes, std::string& bytes) override {
        reads.emplace_back(day, offset);
        if (held.count(day) || !files.count(day)) return false;
        bytes = files[day].substr(offset, maxBytes);
        return true;
    }
};

int64_t Day(const char* text) { return ParseShortDate(text, kPattern); }

// December 2026, read on 1 January 2027: a day missing, connections across
// midnight at both ends of the month and in it, a refusal, a connection
// found gone, a duplicate hang-up, and quiet days on which the service was
// only started.
struct Month : testing::Test {
    FakeLogFolder folder;
    const DayRange december{Day("01.12.2026"), Day("31.12.2026")};
    const int64_t today = Day("01.01.2027");

    void SetUp() override {
        // November's last caller, whose end is in December's first log: November's.
        folder.Put("30.11.2026", DayLog("30.11.2026").Load("00:00:01").Accept("23:55:00").User("23:55:10", "olga", "30").Bytes());
        folder.Put("01.12.2026", DayLog("01.12.2026")
                                     .Hangup("00:05:00", true, 600, 111, 11)
                                     .Accept("10:00:00").User("10:00:09", "ivan", "10")
                                     .Disconnect("10:10:00").Hangup("10:10:00", true, 600, 1000, 100)
                                     .Bytes());
        folder.Put("02.12.2026", DayLog("02.12.2026")
                                     .Accept("12:00:00").User("12:00:05", "petr", "60")
                                     .Refusal("12:01:00").Hangup("12:01:00", false, 2, 7, 3, true)
                                     .Hangup("12:05:00", true, 300, 3000, 300)
                                     .Bytes());
        // 03.12: no log.
        folder.Put("04.12.2026", DayLog("04.12.2026")
                                     .Accept("20:00:00").User("20:00:05", "ivan", "60")
                                     .Gone("20:20:00", 1200).Hangup("20:20:05", false, 1205, 9999, 999, true)
                                     .Bytes());
        folder.Put("05.12.2026", DayLog("05.12.2026")
                                     .Accept("14:00:00").User("14:00:05", "maria", "60")
                                     .Hangup("14:30:00", true, 1800, 5000, 4000)
                                     .Hangup("14:30:01", false, 1801, 5001, 4001, true)
                                     .Bytes());
        folder.Put("06.12.2026", DayLog("06.12.2026").Load("23:00:00").Accept("23:50:00").User("23:50:05", "ivan", "20").Bytes());
        folder.Put("07.12.2026", DayLog("07.12.2026")
                                     .Disconnect("00:10:00").Hangup("00:10:00", true, 1200, 2000, 200)
                                     .Accept("01:00:00").Disconnect("01:05:00").Hangup("01:05:00", true, 300, 0, 0)
                                     .Bytes());
        for (int d = 8; d <= 30; ++d) {
            const std::string date = (d < 10 ? "0" : "") + std::to_string(d) + ".12.2026";
            folder.Put(date, DayLog(date).Load("23:00:00").Bytes());
        }
        folder.Put("31.12.2026", DayLog("31.12.2026").Load("23:00:00").Accept("23:59:00").User("23:59:10", "anna", "5").Bytes());
        // The day after: the month's last caller ends in it.
        folder.Put("01.01.2027", DayLog("01.01.2027").Hangup("00:01:30", true, 150, 10, 20).Bytes());
    }
};

TEST_F(Month, RowsAndTheirCsvByteForByte) {
    const PeriodRows period = ReadPeriod(folder, december, today, kPattern);
    ASSERT_EQ(period.days.size(), 31u);
    EXPECT_EQ(ConnectionReportCsv(period.rows),
              "Дата;Время дозвона;Логин;Лимит, мин;Окончание;Длительность;Байт принято;Байт отправлено;Примечание\r\n"
              "01.12.2026;10:00:00;ivan;10;лимит исчерпан;0:10:00;1000;100;\r\n"
              "02.12.2026;12:00:00;petr;60;абонент отключился;0:05:00;3000;300;\r\n"
              "02.12.2026;12:01:00;;;отклонен;;;;\r\n"
              "04.12.2026;20:00:00;ivan;60;не найдено службой;0:20:00;;;\r\n"
              "05.12.2026;14:00:00;maria;60;абонент отключился;0:30:00;5000;4000;\r\n"
              "06.12.2026;23:50:00;ivan;20;лимит исчерпан;0:20:00;2000;200;\r\n"
              "07.12.2026;01:00:00;;;нет регистрации;0:05:00;0;0;\r\n"
              "31.12.2026;23:59:00;anna;5;абонент отключился;0:02:30;10;20;\r\n"
              "Итого;соединений: 7;;;отклонено: 1;1:32:30;11010;4620;\r\n");
    EXPECT_EQ(PeriodStatusText(period), "Период: 01.12.2026–31.12.2026, 31 дн.; нет журнала за: 03.12.2026");
    EXPECT_EQ(ConnectionReportCsv(period.rows).find("secret"), std::string::npos);
}

TEST_F(Month, TotalsPerLoginAndTheirCsvByteForByte) {
    const std::vector<LoginTotals> logins = TotalsByLogin(ReadPeriod(folder, december, today, kPattern));
    EXPECT_EQ(LoginTotalsCsv(logins),
              "Логин;Соединений;Отклонено;Время;Байт принято;Байт отправлено;Лимит исчерпан;Абонент отключился;"
              "Нет регистрации;Не найдено службой;Конец не записан;Идет;Первый звонок;Последний звонок;Примечание\r\n"
              "anna;1;0;0:02:30;10;20;0;1;0;0;0;0;31.12.2026 23:59:00;31.12.2026 23:59:00;\r\n"
              "ivan;3;0;0:50:00;3000;300;2;0;0;1;0;0;01.12.2026 10:00:00;06.12.2026 23:50:00;\r\n"
              "maria;1;0;0:30:00;5000;4000;0;1;0;0;0;0;05.12.2026 14:00:00;05.12.2026 14:00:00;\r\n"
              "petr;1;0;0:05:00;3000;300;0;1;0;0;0;0;02.12.2026 12:00:00;02.12.2026 12:00:00;\r\n"
              "(без логина);1;1;0:05:00;0;0;0;0;1;0;0;0;02.12.2026 12:01:00;07.12.2026 01:00:00;\r\n"
              "Итого;7;1;1:32:30;11010;4620;2;3;1;1;0;0;;;\r\n");
}

TEST_F(Month, ThePictureFromTheModelTheDrawingUses) {
    PictureOptions options;
    options.watchOn = true;  // 23 to 7
    options.today = today;
    const PeriodRows period = ReadPeriod(folder, december, today, kPattern);
    const LinePicture month = BuildLinePicture(period, options);
    ASSERT_TRUE(month.grid);
    struct Span {
        size_t day;
        int32_t from, to;
        ConnectionEnding ending;
        size_t row;
        bool operator==(const Span& o) const {
            return day == o.day && from == o.from && to == o.to && ending == o.ending && row == o.row;
        }
    };
    std::vector<Span> spans;
    for (const PictureSpan& s : month.spans) spans.push_back({s.day, s.from, s.to, s.ending, s.row});
    const std::vector<Span> expected = {
        {0, 36000, 36600, ConnectionEnding::LimitRanOut, 0},     {1, 43200, 43500, ConnectionEnding::CallerHungUp, 1},
        {3, 72000, 73200, ConnectionEnding::FoundGone, 3},       {4, 50400, 52200, ConnectionEnding::CallerHungUp, 4},
        {5, 85800, 86400, ConnectionEnding::LimitRanOut, 5},     {6, 0, 600, ConnectionEnding::LimitRanOut, 5},
        {6, 3600, 3900, ConnectionEnding::NoRegistration, 6},    {30, 86340, 86400, ConnectionEnding::CallerHungUp, 7}};
    EXPECT_TRUE(spans == expected);
    ASSERT_EQ(month.ticks.size(), 1u);
    EXPECT_EQ(month.ticks[0].day, 1u);
    EXPECT_EQ(month.ticks[0].at, 43260);
    EXPECT_EQ(month.busySeconds[5 * 24 + 23], 600);
    EXPECT_EQ(month.busySeconds[6 * 24 + 0], 600);
    EXPECT_EQ(month.busySeconds[30 * 24 + 23], 60);
    EXPECT_EQ(month.refusals[1 * 24 + 12], 1);
    EXPECT_EQ(RowsInHour(month, 1, 12), (std::vector<size_t>{1, 2}));
    for (int hour = 0; hour < 24; ++hour) EXPECT_EQ(month.workingHour[hour], hour >= 23 || hour < 7) << hour;

    // The week around 2 December, one strip a day: November's last caller
    // crosses into its first strip; pointing at a span or near a tick finds the row.
    const PeriodRows week = ReadPeriod(folder, PeriodAround(PeriodKind::Week, Day("02.12.2026")), today, kPattern);
    ASSERT_EQ(week.days.front().text, "30.11.2026");
    const LinePicture strips = BuildLinePicture(week, PictureOptions{});
    ASSERT_FALSE(strips.grid);
    ASSERT_GE(strips.spans.size(), 2u);
    EXPECT_EQ(strips.spans[0].from, 86100);
    EXPECT_EQ(strips.spans[1].day, 1u);
    EXPECT_EQ(strips.spans[1].to, 300);
    EXPECT_EQ(week.rows[strips.spans[1].row].login, "olga");
    EXPECT_EQ(week.rows[RowAt(strips, 2, 43400, 60)].ending, ConnectionEnding::CallerHungUp);
    EXPECT_EQ(week.rows[RowAt(strips, 2, 43290, 60)].ending, ConnectionEnding::Refused);
    EXPECT_EQ(RowAt(strips, 2, 30000, 60), static_cast<size_t>(-1));
    for (bool working : strips.workingHour) EXPECT_FALSE(working);
}

// Days that do not fit one a row share a row of the grid; pointing at its hour tells of them all.
TEST_F(Month, SeveralDaysToARowWhenTheyDoNotFit) {
    EXPECT_EQ(DaysPerRow(366, 160, 3), 7u);
    EXPECT_EQ(DaysPerRow(366, 2, 3), 366u);
    const PeriodRows period = ReadPeriod(folder, december, today, kPattern);
    const LinePicture month = BuildLinePicture(period, PictureOptions{});
    // petr's five minutes and a refusal at noon of 2 December; 3 December has no log.
    EXPECT_EQ(HourHoverText(period, month, 0, 12, 7),
              "01.12.2026–07.12.2026, 12:00–13:00: линия занята 1%, соединений: 1, отклонено: 1");
}

// The picture in words: the busiest hours over the days with a log, then each day's share.
TEST_F(Month, ThePictureInWords) {
    const PeriodRows days = ReadPeriod(folder, PeriodAround(PeriodKind::Range, Day("01.12.2026"), Day("03.12.2026")),
                                       today, kPattern);
    // ivan's ten minutes at 10:00; petr's five at noon; no log.
    EXPECT_EQ(PictureSummaryText(days, BuildLinePicture(days, PictureOptions{})),
              "Чаще всего линия занята: 10:00–11:00 (8%), 12:00–13:00 (4%); "
              "по дням: 01.12.2026: 1%, 02.12.2026: 0%, 03.12.2026: нет журнала");
    const PeriodRows quiet = ReadPeriod(folder, PeriodAround(PeriodKind::Day, Day("20.12.2026")), today, kPattern);
    EXPECT_EQ(PictureSummaryText(quiet, BuildLinePicture(quiet, PictureOptions{})),
              "Линия не была занята; по дням: 20.12.2026: 0%");
}

TEST_F(Month, ReadsAgainOnlyWhatChanged) {
    PeriodReader reader;
    reader.Choose(december, today, kPattern);
    while (reader.Step(folder)) {
    }
    const size_t firstReads = folder.reads.size();
    EXPECT_EQ(firstReads, 32u);  // the day before, the month but 03.12, the day after

    folder.reads.clear();
    reader.Recheck();
    while (reader.Step(folder)) {
    }
    EXPECT_TRUE(folder.reads.empty());

    // Today's log grows: only what was added. A day rewritten: that day, and
    // the next only when what it goes on from changed.
    const std::string grown = folder.files["01.01.2027"];
    folder.Put("01.01.2027", grown + DayLog("01.01.2027").Accept("09:00:00").Bytes());
    folder.Put("05.12.2026", DayLog("05.12.2026").Load("23:00:00").Bytes());
    folder.Put("06.12.2026", DayLog("06.12.2026").Load("23:00:00").Bytes());
    reader.Recheck();
    while (reader.Step(folder)) {
    }
    using Read = std::pair<std::string, uint64_t>;
    EXPECT_EQ(folder.reads, (std::vector<Read>{{"05.12.2026", 0}, {"06.12.2026", 0}, {"07.12.2026", 0},
                                               {"01.01.2027", grown.size()}}));
    // Without maria's day and ivan's dial, his hang-up after midnight is a row of its own.
    EXPECT_EQ(TotalsOf(reader.Rows().rows).connections, 6u);
    EXPECT_EQ(TotalsOf(reader.Rows().rows).seconds, 5550u - 1800);

    // A day held by its writer is named, and nothing before it is read again.
    folder.reads.clear();
    const size_t heldSize = folder.files["20.12.2026"].size();
    folder.Put("20.12.2026", folder.files["20.12.2026"] + "\r\n");
    folder.held.insert("20.12.2026");
    reader.Recheck();
    while (reader.Step(folder)) {
    }
    ASSERT_FALSE(folder.reads.empty());
    EXPECT_EQ(folder.reads[0], Read("20.12.2026", heldSize));
    EXPECT_EQ(PeriodStatusText(reader.Rows()),
              "Период: 01.12.2026–31.12.2026, 31 дн.; нет журнала за: 03.12.2026; "
              "журнал сейчас не читается, попробуйте «Обновить»: 20.12.2026");
}

// An earlier plug-in's refused caller with figures on his hang-up: not a connection, so the line under
// the list, the CSV's totals rows and the picture leave his seconds and bytes out.
TEST_F(Month, ARefusedCallersFiguresStayOutOfEverySum) {
    folder.Put("02.12.2026", DayLog("02.12.2026").Accept("12:00:00").User("12:00:05", "petr", "60")
                                 .Refusal("12:01:00").Hangup("12:01:30", false, 30, 500, 50)
                                 .Hangup("12:05:00", true, 300, 1000, 100).Bytes());
    const PeriodRows day = ReadPeriod(folder, PeriodAround(PeriodKind::Day, Day("02.12.2026")), today, kPattern);
    EXPECT_EQ(RowTexts(day.rows.at(1))[5], "0:00:30");  // his own row keeps them
    EXPECT_EQ(TotalsText(TotalsOf(day.rows)),
              "Соединений: 1, отклонено: 1, время: 0:05:00, принято байт: 1000, отправлено байт: 100");
    const std::string csv = ConnectionReportCsv(day.rows);
    EXPECT_EQ(csv.substr(csv.rfind("Итого")), "Итого;соединений: 1;;;отклонено: 1;0:05:00;1000;100;\r\n");
    const std::string logins = LoginTotalsCsv(TotalsByLogin(day));
    EXPECT_EQ(logins.substr(logins.rfind("Итого")), "Итого;1;1;0:05:00;1000;100;0;1;0;0;0;0;;;\r\n");
    int64_t busy = 0;
    for (const PictureSpan& span : BuildLinePicture(day, PictureOptions{}).spans) busy += span.to - span.from;
    EXPECT_EQ(busy, 300);
}

// The window and its picture hold the rows they were handed while the reader
// reads on: two looks at days that did not change share one copy of the
// rows, and rows handed out stay as they were when today's log grows.
TEST_F(Month, RowsHandedOutAreSharedAndNeverChange) {
    folder.Put("01.01.2027", folder.files["01.01.2027"] + DayLog("01.01.2027").Accept("09:00:00").Bytes());
    PeriodReader reader;
    reader.Choose(PeriodAround(PeriodKind::Day, today), today, kPattern);
    while (reader.Step(folder)) {
    }
    const PeriodRows shown = reader.Rows(), again = reader.Rows();
    ASSERT_EQ(shown.rows.size(), 1u);
    EXPECT_EQ(&shown.rows[0], &again.rows[0]) << "each look copies the rows";

    folder.Put("01.01.2027", folder.files["01.01.2027"] + DayLog("01.01.2027").Hangup("09:05:00", true, 300, 1, 2).Bytes());
    reader.Recheck();
    while (reader.Step(folder)) {
    }
    EXPECT_EQ(reader.Rows().rows[0].ending, ConnectionEnding::CallerHungUp);
    EXPECT_EQ(shown.rows[0].ending, ConnectionEnding::Going);
}

// A day of many megabytes is read a piece of at most kReadPieceBytes a Step,
// and reads as a whole.
TEST_F(Month, ABigDayIsReadInPieces) {
    DayLog big("05.12.2026");
    for (int i = 0; big.Bytes().size() < 5 * kReadPieceBytes / 2; ++i) {
        const std::string time = "1" + std::to_string(i % 10) + ":00:00";
        big.Accept(time).User(time, "login" + std::to_string(i), "60").Hangup(time, true, 60, 1, 2);
    }
    folder.Put("05.12.2026", big.Bytes());
    PeriodReader reader;
    reader.Choose(PeriodAround(PeriodKind::Day, Day("05.12.2026")), today, kPattern);
    for (size_t reads = 0; reader.Step(folder); reads = folder.reads.size())
        ASSERT_LE(folder.reads.size(), reads + 1) << "more than one read a step";
    using Read = std::pair<std::string, uint64_t>;
    EXPECT_EQ(folder.reads, (std::vector<Read>{{"04.12.2026", 0}, {"05.12.2026", 0}, {"05.12.2026", kReadPieceBytes},
                                               {"05.12.2026", 2 * kReadPieceBytes}, {"06.12.2026", 0}}));
    EXPECT_EQ(reader.Rows().rows, ReadConnectionReport(big.Bytes()));
}

TEST(ReportPeriod, DatesAndPeriodsByTheLocalesPattern) {
    EXPECT_EQ(DayNumber(1970, 1, 1), 0);
    EXPECT_EQ(Day("29.02.2028") + 1, Day("01.03.2028"));
    EXPECT_EQ(Day("31.12.2026") + 1, Day("01.01.2027"));
    EXPECT_EQ(Day("29.02.2027"), -1);
    EXPECT_EQ(Day("1.12.2026"), -1);
    EXPECT_EQ(FormatShortDate(Day("07.03.2026"), "d.M.yy"), "7.3.26");
    EXPECT_EQ(FormatShortDate(Day("07.03.2026"), "yyyy-MM-dd"), "2026-03-07");
    EXPECT_EQ(ParseShortDate("7.3.26", "d.M.yy"), Day("07.03.2026"));
    EXPECT_EQ(FormatShortDate(0, "dd MMMM yyyy"), "");
    for (int64_t day = Day("01.01.1999"); day < Day("01.01.2031"); day += 37)
        EXPECT_EQ(ParseShortDate(FormatShortDate(day, kPattern), kPattern), day);

    // Monday to Sunday; the calendar month, February of a leap year too.
    const DayRange week = PeriodAround(PeriodKind::Week, Day("01.01.2027"));
    EXPECT_EQ(FormatShortDate(week.first, kPattern), "28.12.2026");
    EXPECT_EQ(FormatShortDate(week.last, kPattern), "03.01.2027");
    const DayRange february = PeriodAround(PeriodKind::Month, Day("15.02.2028"));
    EXPECT_EQ(february.last - february.first, 28);
    const DayRange range = PeriodAround(PeriodKind::Range, Day("10.12.2026"), Day("03.12.2026"));
    EXPECT_EQ(range.first, Day("03.12.2026"));
    EXPECT_EQ(range.last, Day("10.12.2026"));
}

}  // namespace

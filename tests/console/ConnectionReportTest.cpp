// The day's connections read back from the plug-in's log: what a row says for
// each way a connection ends, the log's rough edges, the CSV's bytes and the
// days on offer.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "ConnectionReport.h"
#include "ReportData.h"
#include "ReportPeriod.h"
#include "ReportTable.h"

namespace {

const std::string kDate = "08.12.2026";

std::string Dated(const std::string& time, const std::string& message) {
    std::string line = "[" + kDate + "] : [" + time + "] - ";
    for (char c : message) line += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return line + "\r\n";
}

std::string Load(const std::string& time) {
    return Dated(time, "dialgate.dll версии 1.0.0: модуль учета дозвона запускается") +
           Dated(time, "Загрузка из файла конфигурации: C:\\LINKWARD\\qv_config.ini") +
           "\r\nCURRENT_USER=E:\\server\\users\\current.user\r\nTIME_FOR_REG=5\r\nSHOW_VARS=1\r\n" +
           std::string(44, '_') + "\r\n" + Dated(time, "Файл конфигурации загружен") +
           Dated(time, "MprAdminInitializeDll - библиотека загружена");
}

std::string Unload(const std::string& time) {
    return Dated(time, "MprAdminTerminateDll - библиотека выгружена") + std::string(52, '*') + "\r\n";
}

std::string Accept(const std::string& time) {
    return Dated(time, "Принято новое подключение") + Dated(time, "***Поток таймера запущен***") +
           Dated(time, "Подключен интерфейс");
}

std::string UserBlock(const std::string& time, const std::string& user, const std::string& pass,
                      const std::string& limit) {
    return "\r\n\r\n" + Dated(time, "Пришел пользователь:") + Dated(time, ">USER: " + user) +
           Dated(time, ">PASS: " + pass) + Dated(time, ">LIMIT: " + limit + "\n") + "\r\n\r\n" +
           Dated(time, "FTP сервер останавливается") +
           Dated(time, "Изменяем users.ini (создаем аккаунт для юзера) ...") + Dated(time, "FTP сервер запускается");
}

std::string Disconnect(const std::string& time) {
    return Dated(time, "MprAdminServerConnect - ok") + Dated(time, "MprAdminPortClearStats - ok") +
           Dated(time, "MprAdminPortReset - ok") + Dated(time, "Отключен интерфейс") +
           Dated(time, "MprAdminPortDisconnect - ok") +
           Dated(time, "Пользователь отключен по окончании лимита времени") + Dated(time, "***ExitThread***");
}

std::string Hangup(const std::string& time, bool ended, unsigned seconds, unsigned rx, unsigned tx) {
    return Dated(time, ended ? "Поток успешно завершен" : "Поток не удалось завершить") +
           Dated(time, "Продолжительность соединения: " + std::to_string(seconds)) +
           Dated(time, "Байт принято: " + std::to_string(rx)) + Dated(time, "Байт отправлено: " + std::to_string(tx)) +
           Dated(time, "Произошло отключение пользователя от интерфейса");
}

std::string Refusal(const std::string& time) {
    return Dated(time, "Подключение отклонено: предыдущее соединение еще обслуживается");
}

// One row in a line, for messages that show expected and actual side by side.
std::string Describe(const ConnectionRow& r) {
    std::ostringstream out;
    for (const std::string& field : RowTexts(r)) out << field << " | ";
    return out.str();
}

std::string Describe(const std::vector<ConnectionRow>& rows) {
    std::string all;
    for (const ConnectionRow& r : rows) all += Describe(r) + "\n";
    return all;
}

void ExpectRow(const ConnectionRow& r, const std::string& time, const std::string& login, const std::string& limit,
               ConnectionEnding ending, const std::string& duration, const std::string& rx, const std::string& tx) {
    const std::vector<std::string> expected = {time.empty() ? "" : kDate, time, login, limit, EndingText(ending),
                                               duration, rx, tx, ""};
    EXPECT_EQ(RowTexts(r), expected) << Describe(r);
}

// A whole day as the plug-in writes it: its load, a caller timed to the end
// of the limit (with the hang-up racing the worker's last lines), a caller
// who hangs up before registering, one who hangs up after it, one whose
// registration window runs out, and the unload.
std::string OrdinaryDay() {
    return Load("07:00:00") + Dated("07:59:58", "Запрос IP адреса для пользователя") + Accept("08:00:01") +
           UserBlock("08:00:09", "ivan_petrov", "qwerty12", "10") + Disconnect("08:10:01") +
           Hangup("08:10:01", true, 600, 10240, 2048) + Dated("08:10:02", "Освобождение IP адреса") +
           Accept("09:15:00") + Dated("09:15:40", "Отключен интерфейс") + Hangup("09:15:40", true, 40, 100, 50) +
           Accept("10:00:00") + UserBlock("10:00:30", "maria", "секрет", "60") +
           Hangup("10:20:00", true, 1200, 999999, 123456) + Accept("11:00:00") + Disconnect("11:05:00") +
           Hangup("11:05:01", true, 301, 0, 0) + Unload("23:00:00");
}

TEST(ConnectionReport, EachWayOfEndingGivesItsRow) {
    const auto rows = ReadConnectionReport(OrdinaryDay());
    ASSERT_EQ(rows.size(), 4u) << Describe(rows);
    ExpectRow(rows[0], "08:00:01", "ivan_petrov", "10", ConnectionEnding::LimitRanOut, "0:10:00", "10240", "2048");
    ExpectRow(rows[1], "09:15:00", "", "", ConnectionEnding::CallerHungUp, "0:00:40", "100", "50");
    ExpectRow(rows[2], "10:00:00", "maria", "60", ConnectionEnding::CallerHungUp, "0:20:00", "999999", "123456");
    ExpectRow(rows[3], "11:00:00", "", "", ConnectionEnding::NoRegistration, "0:05:01", "0", "0");

    const ReportTotals t = TotalsOf(rows);
    EXPECT_EQ(t.connections, 4u);
    EXPECT_EQ(t.refused, 0u);
    EXPECT_EQ(t.seconds, 600u + 40 + 1200 + 301);
    EXPECT_EQ(t.bytesReceived, 10240u + 100 + 999999);
    EXPECT_EQ(t.bytesSent, 2048u + 50 + 123456);
}

// A hang-up that belongs to no timed connection (a duplicate, a refused
// caller's, or the service's after the worker found its connection gone)
// comes after a line that says so, and is left out.
std::string Unmatched(const std::string& time, bool ended, unsigned seconds, unsigned rx, unsigned tx) {
    return Dated(time, "Следующее отключение не относится к обслуживаемому соединению") +
           Hangup(time, ended, seconds, rx, tx);
}

// The service lost the hang-up: the worker found the connection gone and
// ended it with the seconds it timed; the service's own late hang-up, marked
// as nobody's, changes nothing; the next caller then got in.
TEST(ConnectionReport, AConnectionFoundGoneEndsItsRow) {
    const std::string log = Load("07:00:00") + Accept("08:00:00") + UserBlock("08:00:05", "ivan", "pw", "60") +
                            Refusal("08:03:00") + Dated("08:03:01", "Соединение не найдено службой: поток завершается") +
                            Dated("08:03:01", "Продолжительность соединения: 181") +
                            Dated("08:03:01", "Произошло отключение пользователя от интерфейса") +
                            Accept("08:03:05") + Unmatched("08:03:06", false, 186, 70, 7);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 3u) << Describe(rows);
    ExpectRow(rows[0], "08:00:00", "ivan", "60", ConnectionEnding::FoundGone, "0:03:01", "", "");
    EXPECT_EQ(rows[1].ending, ConnectionEnding::Refused);
    EXPECT_EQ(rows[2].ending, ConnectionEnding::Going);
}

TEST(ConnectionReport, AHangupMarkedAsNobodysEndsNoRowAndCountsForNothing) {
    const std::string log = Accept("12:00:00") + UserBlock("12:00:05", "ivan", "pw", "30") +
                            Unmatched("12:01:00", false, 99, 9999, 999) + Refusal("12:02:00") +
                            Unmatched("12:02:01", false, 1, 11, 1) + Hangup("12:30:00", true, 1800, 5000, 4000) +
                            Unmatched("12:30:01", false, 1801, 5001, 4001);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    ExpectRow(rows[0], "12:00:00", "ivan", "30", ConnectionEnding::CallerHungUp, "0:30:00", "5000", "4000");
    ExpectRow(rows[1], "12:02:00", "", "", ConnectionEnding::Refused, "", "", "");
    const ReportTotals t = TotalsOf(rows);
    EXPECT_EQ(t.seconds, 1800u);
    EXPECT_EQ(t.bytesReceived, 5000u);
    EXPECT_EQ(t.bytesSent, 4000u);
}

// Two hang-ups on two service threads at once, as an earlier plug-in wrote
// them line by line: whose figures are whose cannot be told, and both rows say so.
TEST(ConnectionReport, InterleavedHangupsMarkTheRowsWhoseFiguresMayBeSwapped) {
    const std::string a = Hangup("12:30:00", true, 1800, 5000, 4000);
    const std::string b = Hangup("12:30:00", false, 2, 7, 3);
    auto lines = [](const std::string& block) {
        std::vector<std::string> out;
        for (size_t at = 0; at < block.size();) {
            const size_t end = block.find('\n', at) + 1;
            out.push_back(block.substr(at, end - at));
            at = end;
        }
        return out;
    };
    std::string interleaved;
    for (size_t i = 0; i < lines(a).size(); ++i) interleaved += lines(a)[i] + lines(b)[i];
    const std::string start = Accept("12:00:00") + UserBlock("12:00:05", "ivan", "pw", "30") + Refusal("12:29:59");
    const auto rows = ReadConnectionReport(start + interleaved);
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    const std::string mixed = "два отключения сразу: цифры могут быть чужими";
    for (const ConnectionRow& r : rows) {
        ASSERT_EQ(RowTexts(r).size(), 9u) << Describe(r);
        EXPECT_EQ(RowTexts(r)[8], mixed) << Describe(r);
    }
    // The sums are the connection's figures; the refused caller's stay on his row.
    const ReportTotals t = TotalsOf(rows);
    EXPECT_EQ(t.seconds, 1800u);
    EXPECT_EQ(t.bytesReceived, 5000u);
    // One block after the other, or the second begun once the first had all
    // its figures: nothing is in doubt.
    for (const std::string& log : {start + a + b, start + lines(a)[0] + lines(a)[1] + lines(a)[2] + lines(a)[3] +
                                                       lines(b)[0] + lines(a)[4] + b.substr(lines(b)[0].size())}) {
        const auto clear = ReadConnectionReport(log);
        ASSERT_EQ(clear.size(), 2u) << Describe(clear);
        ExpectRow(clear[0], "12:00:00", "ivan", "30", ConnectionEnding::CallerHungUp, "0:30:00", "5000", "4000");
        ExpectRow(clear[1], "12:29:59", "", "", ConnectionEnding::Refused, "0:00:02", "7", "3");
    }
}

TEST(ConnectionReport, PasswordsAppearNowhere) {
    const auto rows = ReadConnectionReport(OrdinaryDay());
    const std::string csv = ConnectionReportCsv(rows);
    EXPECT_EQ(csv.find("qwerty12"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("секрет"), std::string::npos) << csv;
    for (const ConnectionRow& r : rows)
        for (const std::string& field : RowTexts(r)) EXPECT_EQ(field.find("PASS"), std::string::npos) << field;
}

TEST(ConnectionReport, ALoginLineThatLostItsEndDoesNotCarryThePasswordAlong) {
    // Two lines written at once by an earlier plug-in: the login's line end
    // is lost and the password's line runs on after it.
    std::string log = Accept("07:00:00") + Dated("07:00:05", "Пришел пользователь:") + Dated("07:00:05", ">USER: ivan");
    log.resize(log.size() - 2);
    log += Dated("07:00:05", ">PASS: qwerty12") + Dated("07:00:05", ">LIMIT: 5") + Hangup("07:01:00", true, 55, 1, 2);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 1u) << Describe(rows);
    ExpectRow(rows[0], "07:00:00", "ivan", "5", ConnectionEnding::CallerHungUp, "0:00:55", "1", "2");
    EXPECT_EQ(ConnectionReportCsv(rows).find("qwerty12"), std::string::npos);
    // A tear that also took the head of the password's line.
    std::string torn = Accept("07:00:00") + Dated("07:00:05", ">USER: ivan");
    torn.resize(torn.size() - 2);
    torn += "12.2026] : [07:00:05] - >PASS: qwerty12\r\n";
    torn += Accept("07:10:00") + Dated("07:10:05", ">USER: petr");
    torn.resize(torn.size() - 2);
    torn += ">PASS: qwerty12\r\n";
    const auto cut = ReadConnectionReport(torn);
    ASSERT_EQ(cut.size(), 2u) << Describe(cut);
    EXPECT_EQ(cut[0].login, "ivan12.2026");
    EXPECT_EQ(cut[1].login, "petr");
    // Brackets of its own in a login stay.
    const auto own = ReadConnectionReport(Accept("07:00:00") + Dated("07:00:05", ">USER: [a] : [b]"));
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].login, "[a] : [b]");
}

TEST(ConnectionReport, RefusedSecondCallerIsItsOwnRowAndTakesItsOwnHangup) {
    // As the plug-in writes it: the refusal and the refused caller's hang-up
    // fall between the timed connection's lines.
    const std::string log = Accept("12:00:00") + UserBlock("12:00:05", "ivan", "pw", "30") + Refusal("12:01:00") +
                            Dated("12:01:00", "Отключен интерфейс") + Hangup("12:01:00", false, 2, 7, 3) +
                            Dated("12:30:00", "Отключен интерфейс") + Hangup("12:30:00", true, 1800, 5000, 4000);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    ExpectRow(rows[0], "12:00:00", "ivan", "30", ConnectionEnding::CallerHungUp, "0:30:00", "5000", "4000");
    ExpectRow(rows[1], "12:01:00", "", "", ConnectionEnding::Refused, "0:00:02", "7", "3");
    const ReportTotals t = TotalsOf(rows);
    EXPECT_EQ(t.connections, 1u);
    EXPECT_EQ(t.refused, 1u);

    // A refused dial that never gets a hang-up (the caller tries again at
    // once) does not take the next connection's.
    const auto retried = ReadConnectionReport(Accept("13:00:00") + Hangup("13:00:01", true, 1, 0, 0) +
                                              Refusal("13:00:02") + Accept("13:00:03") +
                                              Hangup("13:00:09", false, 6, 60, 6));
    ASSERT_EQ(retried.size(), 3u) << Describe(retried);
    ExpectRow(retried[1], "13:00:02", "", "", ConnectionEnding::Refused, "", "", "");
    ExpectRow(retried[2], "13:00:03", "", "", ConnectionEnding::CallerHungUp, "0:00:06", "60", "6");

    // A worker that could not be started: the service refuses that caller.
    const auto noWorker = ReadConnectionReport(Dated("14:00:00", "Принято новое подключение") +
                                               Dated("14:00:00", "***Не удается запустить поток таймера***"));
    ASSERT_EQ(noWorker.size(), 1u);
    EXPECT_EQ(noWorker[0].ending, ConnectionEnding::Refused);

    // The refusal as release 1.0.0 spelled it.
    const auto earlier = ReadConnectionReport(
        Accept("15:00:00") + Dated("15:00:01", "Подключение отклонено: предыдущее соединение ещё обслуживается"));
    ASSERT_EQ(earlier.size(), 2u) << Describe(earlier);
    EXPECT_EQ(earlier[1].ending, ConnectionEnding::Refused);
}

TEST(ConnectionReport, LateHangupOfTheConnectionBeforeGoesToIt) {
    // The first caller's worker has disconnected and ended; the next caller
    // is accepted before the first one's hang-up arrives.
    const std::string log = Accept("15:00:00") + UserBlock("15:00:01", "first", "pw", "0") + Disconnect("15:00:02") +
                            Accept("15:00:03") + Dated("15:00:03", "Отключен интерфейс") +
                            Hangup("15:00:03", false, 3, 30, 3) + UserBlock("15:00:10", "next", "pw", "5") +
                            Hangup("15:02:00", true, 117, 70, 7);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    ExpectRow(rows[0], "15:00:00", "first", "0", ConnectionEnding::LimitRanOut, "0:00:03", "30", "3");
    ExpectRow(rows[1], "15:00:03", "next", "5", ConnectionEnding::CallerHungUp, "0:01:57", "70", "7");
}

TEST(ConnectionReport, LogsThatBeginOrEndInTheMiddleOfAConnection) {
    // After midnight: the rest of yesterday's connection.
    const std::string rest = UserBlock("00:00:02", "night", "pw", "90") + Disconnect("00:30:00") +
                             Hangup("00:30:01", true, 5400, 1, 2);
    auto rows = ReadConnectionReport(rest + Accept("01:00:00"));
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    ExpectRow(rows[0], "", "night", "90", ConnectionEnding::LimitRanOut, "1:30:00", "1", "2");
    ExpectRow(rows[1], "01:00:00", "", "", ConnectionEnding::Going, "", "", "");

    // A day that begins inside a hang-up's lines, and one that begins with
    // the worker's last lines only.
    rows = ReadConnectionReport(Dated("00:00:00", "Байт отправлено: 77") +
                                Dated("00:00:00", "Произошло отключение пользователя от интерфейса"));
    ASSERT_EQ(rows.size(), 1u) << Describe(rows);
    ExpectRow(rows[0], "", "", "", ConnectionEnding::CallerHungUp, "0:00:00", "0", "77");
    rows = ReadConnectionReport(Dated("00:00:00", "***ExitThread***") + Hangup("00:00:00", true, 300, 0, 0));
    ASSERT_EQ(rows.size(), 1u) << Describe(rows);
    EXPECT_EQ(rows[0].ending, ConnectionEnding::NoRegistration);

    // Before midnight: a caller still on the line, one whose limit ran out
    // and whose hang-up falls into the next day.
    rows = ReadConnectionReport(Accept("23:50:00") + UserBlock("23:50:05", "late", "pw", "20"));
    ASSERT_EQ(rows.size(), 1u);
    ExpectRow(rows[0], "23:50:00", "late", "20", ConnectionEnding::Going, "", "", "");
    rows = ReadConnectionReport(Accept("23:50:00") + UserBlock("23:50:05", "late", "pw", "1") + Disconnect("23:51:00"));
    ASSERT_EQ(rows.size(), 1u);
    ExpectRow(rows[0], "23:50:00", "late", "1", ConnectionEnding::LimitRanOut, "", "", "");
}

TEST(ConnectionReport, HalfWrittenLastLineWaitsForItsEnd) {
    const std::string log = Accept("16:00:00") + Hangup("16:00:20", true, 20, 10240, 2048);
    const size_t cut = log.find("10240") + 3;  // "Байт принято: 102"
    ConnectionLogReader reader;
    reader.Feed(log.substr(0, cut));
    auto rows = reader.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].bytesReceived, 0u) << "a half-written number was taken";
    reader.Feed(log.substr(cut));
    rows = reader.Rows();
    ASSERT_EQ(rows.size(), 1u);
    ExpectRow(rows[0], "16:00:00", "", "", ConnectionEnding::CallerHungUp, "0:00:20", "10240", "2048");
    EXPECT_EQ(reader.BytesFed(), log.size());

    // A last line without its line end at all does not count either.
    rows = ReadConnectionReport(Accept("16:00:00") + "[" + kDate + "] : [16:00:01] - Принято новое подключение");
    EXPECT_EQ(rows.size(), 1u) << Describe(rows);
}

TEST(ConnectionReport, FedInPiecesOfAnySizeItReadsAsAWhole) {
    const std::string log = OrdinaryDay() + Accept("23:10:00") + Refusal("23:10:05") +
                            Hangup("23:10:06", false, 0, 0, 0) + UserBlock("23:11:00", "x;y\"z", "pw", "12345");
    const std::string whole = Describe(ReadConnectionReport(log));
    for (size_t piece : {1u, 2u, 3u, 7u, 64u, 1000u}) {
        ConnectionLogReader reader;
        for (size_t at = 0; at < log.size(); at += piece) reader.Feed(log.substr(at, piece));
        EXPECT_EQ(Describe(reader.Rows()), whole) << "pieces of " << piece;
    }
}

// As the log view reads them: a line ends at CR LF, LF or a lone CR, also
// where a read's piece ends between CR and LF; a line longer than any of the
// plug-in's is read (its head), and the status line says so.
TEST(ConnectionReport, LinesEndAtCrLfOrLfOrCrAndMayBeOfAnyLength) {
    const std::string log = OrdinaryDay();
    std::string lf, cr;
    for (char c : log) {
        if (c != '\r') lf += c;
        if (c != '\n') cr += c;
    }
    const std::string whole = Describe(ReadConnectionReport(log));
    EXPECT_EQ(Describe(ReadConnectionReport(lf)), whole);
    EXPECT_EQ(Describe(ReadConnectionReport(cr)), whole);
    for (size_t piece : {1u, 2u, 7u}) {
        ConnectionLogReader reader;
        for (size_t at = 0; at < cr.size(); at += piece) reader.Feed(cr.substr(at, piece));
        EXPECT_EQ(Describe(reader.Rows()), whole) << "pieces of " << piece;
    }
    ConnectionLogReader reader;
    reader.Feed(Accept("12:00:00") + UserBlock("12:00:05", std::string(100000, 'x'), "pw", "30"));
    EXPECT_GT(reader.Rows().at(0).login.size(), 60000u);
    EXPECT_EQ(RowTexts(reader.Rows().at(0))[3], "30");
    EXPECT_EQ(reader.CutLines(), 1u);
    const PeriodRows day{{{0, kDate, DayState::Read, reader.CutLines()}}, {}, {}};
    EXPECT_EQ(PeriodStatusText(day), "Период: 08.12.2026; строк длиннее 64 КБ, прочитано только начало: 1");
}

// A row keeps a short text in itself and a longer one apart: logins on both
// sides of that come back whole, copied, moved and assigned with their rows.
TEST(ConnectionReport, LoginsOfAnyLengthComeBackWhole) {
    const std::vector<std::string> logins = {"a", std::string(15, 'b'), std::string(16, 'c'), std::string(300, 'd')};
    std::string log;
    for (const std::string& login : logins) log += Accept("12:00:00") + UserBlock("12:00:05", login, "pw", "30");
    auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), logins.size()) << Describe(rows);
    std::vector<ConnectionRow> swapped(rows.rbegin(), rows.rend());
    std::reverse(swapped.begin(), swapped.end());
    for (size_t i = 0; i < logins.size(); ++i) {
        EXPECT_EQ(rows[i].login, logins[i]);
        EXPECT_EQ(swapped[i].login, logins[i]);
    }
    rows[1] = rows[3];
    rows[2] = rows[2];
    EXPECT_EQ(rows[1].login, logins[3]);
    EXPECT_EQ(rows[2].login, logins[2]);
}

TEST(ConnectionReport, UnknownLinesDumpsAndReloadsAreTolerated) {
    std::string garbage = "no brackets here\r\n[broken] line\r\n[" + kDate + "] : [x\r\n";
    garbage += std::string("\0\0\xff\xfe", 4) + "\r\n" + std::string(100000, 'z') + "\r\n";
    // Plain lines that read like messages are the configuration dump or text, not events.
    garbage += "Принято новое подключение\r\nБайт принято: 5\r\n";
    garbage += Dated("06:00:00", "Какая-то строка будущей версии") + Dated("06:00:00", "Байт принятоXYZ");
    // A head that is not whole: a torn line, whatever follows it.
    garbage += "[" + kDate + "] :: 3[06:00:00] - Принято новое подключение\r\n";
    const std::string log = garbage + Load("06:00:01") + Accept("06:10:00") +
                            UserBlock("06:10:05", "ivan", "pw", "15") + Unload("06:12:00") + Load("06:13:00") +
                            Accept("06:20:00") + Load("06:21:00") + Accept("06:30:00") +
                            Hangup("06:31:00", true, 60, 1, 1) + Dated("06:31:00", "Отключен интерфейс");
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 3u) << Describe(rows);
    // The plug-in went away under these two: their end is not in the log.
    ExpectRow(rows[0], "06:10:00", "ivan", "15", ConnectionEnding::EndNotLogged, "", "", "");
    ExpectRow(rows[1], "06:20:00", "", "", ConnectionEnding::EndNotLogged, "", "", "");
    ExpectRow(rows[2], "06:30:00", "", "", ConnectionEnding::CallerHungUp, "0:01:00", "1", "1");
}

TEST(ConnectionReport, LogsOfTheEarlierPlugin) {
    // LF-only lines, no banner, no refusal line: the earlier plug-in took a
    // second caller while the first was timed, and ended neither worker at
    // the hang-ups ("не удалось") once they had disconnected.
    std::string log = Dated("05:00:00", "Загрузка из файла конфигурации: C:\\qv_config.ini") +
                      Dated("05:00:00", "MprAdminInitializeDll - библиотека загружена") + Accept("05:01:00") +
                      Accept("05:01:30") + UserBlock("05:01:40", "two", "pw", "abc") + Disconnect("05:02:00") +
                      Hangup("05:02:00", false, 60, 11, 12) + Hangup("05:02:01", false, 31, 21, 22);
    std::string lf;
    for (char c : log)
        if (c != '\r') lf += c;
    const auto rows = ReadConnectionReport(lf);
    ASSERT_EQ(rows.size(), 2u) << Describe(rows);
    ExpectRow(rows[0], "05:01:00", "", "", ConnectionEnding::CallerHungUp, "0:01:00", "11", "12");
    ExpectRow(rows[1], "05:01:30", "two", "0", ConnectionEnding::LimitRanOut, "0:00:31", "21", "22");
}

// The log of tools/demo.sh: the shipped plug-in under the stand-in service,
// one caller with a limit of one minute whom the plug-in disconnected.
TEST(ConnectionReport, DemoLogGivesTheDemosCaller) {
    const std::string_view log(k_demo_log_txt, sizeof k_demo_log_txt);
    const auto rows = ReadConnectionReport(log);
    ASSERT_EQ(rows.size(), 1u) << Describe(rows);
    ExpectRow(rows[0], "03:41:35", "ivan_petrov", "1", ConnectionEnding::LimitRanOut, "0:01:00", "10240", "2048");
    ASSERT_NE(log.find("qwerty12"), std::string_view::npos) << "the demo's log has the password in clear";
    EXPECT_EQ(ConnectionReportCsv(rows).find("qwerty12"), std::string::npos);
}

// A log the plug-in wrote during a soak: forty callers hung up at random
// moments, and beside it what the soak's driver made each of them do.
TEST(ConnectionReport, SoakLogGivesTheRowsTheDriverMade) {
    const auto rows = ReadConnectionReport(std::string_view(k_soak_log_txt, sizeof k_soak_log_txt));
    std::istringstream script(std::string(k_soak_log_rows, sizeof k_soak_log_rows));
    std::vector<std::pair<std::string, std::string>> made;  // login, moment
    for (std::string line; std::getline(script, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line == "refused") made.emplace_back("", line);
        else made.emplace_back(line.substr(0, line.find(' ')), line.substr(line.find(' ') + 1));
    }
    ASSERT_EQ(made.size(), 40u);
    ASSERT_EQ(rows.size(), made.size()) << Describe(rows);
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& login = made[i].first;
        const std::string& moment = made[i].second;
        const ConnectionRow& r = rows[i];
        SCOPED_TRACE("row " + std::to_string(i) + ": " + login + " " + moment + " | " + Describe(r));
        EXPECT_EQ(r.date, "08.12.2026");
        EXPECT_FALSE(r.dialTime.empty());
        EXPECT_TRUE(r.hasStatistics);
        if (moment == "refused") {
            EXPECT_EQ(r.ending, ConnectionEnding::Refused);
        } else if (moment == "before the record") {
            EXPECT_EQ(r.ending, ConnectionEnding::CallerHungUp);
            EXPECT_EQ(r.login, "");
        } else if (moment == "in the FTP step") {
            // The record said a limit of one minute.
            EXPECT_EQ(r.ending, ConnectionEnding::CallerHungUp);
            EXPECT_EQ(r.login, login);
            EXPECT_EQ(r.limitMinutes, 1);
        } else if (moment == "at the limit") {
            EXPECT_EQ(r.ending, ConnectionEnding::NoRegistration);
            EXPECT_EQ(r.login, "");
        } else {
            // A limit of 0: disconnected at once, the hang-up during or after the disconnect.
            EXPECT_EQ(r.ending, ConnectionEnding::LimitRanOut);
            EXPECT_EQ(r.login, login);
            EXPECT_TRUE(r.hasLimit);
            EXPECT_EQ(r.limitMinutes, 0);
        }
    }
}

TEST(ConnectionReport, DurationsAsHoursMinutesSeconds) {
    EXPECT_EQ(DurationText(0), "0:00:00");
    EXPECT_EQ(DurationText(59), "0:00:59");
    EXPECT_EQ(DurationText(3599), "0:59:59");
    EXPECT_EQ(DurationText(3600), "1:00:00");
    EXPECT_EQ(DurationText(90061), "25:01:01");
    EXPECT_EQ(DurationText(4294967295u), "1193046:28:15");
    // The plug-in writes "%u": the largest value is kept, not wrapped.
    const auto rows = ReadConnectionReport(Accept("01:00:00") + Hangup("01:00:00", true, 4294967295u, 4294967295u, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].durationSeconds, 4294967295u);
    EXPECT_EQ(TotalsOf({rows[0], rows[0]}).bytesReceived, 2 * uint64_t{4294967295u});
}

TEST(ConnectionReportCsv, BytesForExcelOnARussianWindows) {
    const std::string log = Accept("08:00:01") + UserBlock("08:00:09", "ivan_petrov", "qwerty12", "10") +
                            Disconnect("08:10:01") + Hangup("08:10:01", true, 600, 10240, 2048) + Accept("09:00:00") +
                            UserBlock("09:00:01", "a;b\"c", "pw", "5") + Refusal("09:00:02") +
                            Hangup("09:00:02", false, 0, 0, 0) + Hangup("09:01:00", true, 59, 1, 2) +
                            Accept("10:00:00") + UserBlock("10:00:01", "=HYPERLINK(1)", "pw", "5");
    const std::string csv = ConnectionReportCsv(ReadConnectionReport(log));
    const std::string expected =
        "Дата;Время дозвона;Логин;Лимит, мин;Окончание;Длительность;Байт принято;Байт отправлено;Примечание\r\n"
        "08.12.2026;08:00:01;ivan_petrov;10;лимит исчерпан;0:10:00;10240;2048;\r\n"
        "08.12.2026;09:00:00;\"a;b\"\"c\";5;абонент отключился;0:00:59;1;2;\r\n"
        "08.12.2026;09:00:02;;;отклонен;0:00:00;0;0;\r\n"
        "08.12.2026;10:00:00;'=HYPERLINK(1);5;идет;;;;\r\n"
        "Итого;соединений: 3;;;отклонено: 1;0:10:59;10241;2050;\r\n";
    EXPECT_EQ(csv, expected);
    // Windows-1251, one byte a letter: "Дата" is C4 E0 F2 E0.
    EXPECT_EQ(csv.substr(0, 4), "\xC4\xE0\xF2\xE0");
    // A day without connections: the header and a totals row of naughts.
    EXPECT_EQ(ConnectionReportCsv({}),
              "Дата;Время дозвона;Логин;Лимит, мин;Окончание;Длительность;Байт принято;Байт отправлено;Примечание\r\n"
              "Итого;соединений: 0;;;отклонено: 0;0:00:00;0;0;\r\n");
}

TEST(ConnectionReport, TotalsLineUnderTheList) {
    ReportTotals t;
    t.connections = 2;
    t.refused = 1;
    t.seconds = 3661;
    t.bytesReceived = 10;
    t.bytesSent = 20;
    EXPECT_EQ(TotalsText(t), "Соединений: 2, отклонено: 1, время: 1:01:01, принято байт: 10, отправлено байт: 20");
}

TEST(LogDays, NewestFirstByTheLocalesDateWithTodayAlwaysThere) {
    const std::vector<std::string> names = {"07.12.2026_log.txt", "31.12.2025_LOG.TXT", "01.01.2027_log.txt",
                                            "08.11.2026_log.txt", "notes.txt",          "_log.txt",
                                            "backup_log.txt",     "08.12.2026_log.txt.bak"};
    EXPECT_EQ(LogDays(names, "", "dd.MM.yyyy", "08.12.2026"),
              (std::vector<std::string>{"01.01.2027", "08.12.2026", "07.12.2026", "08.11.2026", "31.12.2025",
                                        "backup"}));
    // LOG_PATH without its last backslash: the folder's name is glued to the date.
    EXPECT_EQ(LogDays({"LOGS07.12.2026_log.txt", "logs06.12.2026_log.txt", "07.12.2026_log.txt"}, "LOGS",
                      "dd.MM.yyyy", "08.12.2026"),
              (std::vector<std::string>{"08.12.2026", "07.12.2026", "06.12.2026"}));
    // Other short date patterns: one-digit days and months, two-digit years.
    EXPECT_EQ(LogDays({"7.12.26_log.txt", "10.2.26_log.txt", "1.1.27_log.txt"}, "", "d.M.yy", "8.12.26"),
              (std::vector<std::string>{"1.1.27", "8.12.26", "7.12.26", "10.2.26"}));
    EXPECT_EQ(LogDays({"2026-12-07_log.txt", "2026-11-30_log.txt"}, "", "yyyy-MM-dd", "2026-12-08"),
              (std::vector<std::string>{"2026-12-08", "2026-12-07", "2026-11-30"}));
    EXPECT_EQ(LogDays({}, "", "dd.MM.yyyy", "08.12.2026"), (std::vector<std::string>{"08.12.2026"}));
}

}  // namespace

// One dial-in from start to end through the real pieces: the stand-in service
// loads the fast-cycle plug-in, a caller dials, the registration site's files
// arrive, the FTP account is written between a stop and a start of the FTP
// service, the plug-in disconnects the port when the caller's limit is used
// up, the stand-in delivers the hang-up; the console follows all of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "Expected.h"
#include "Gateway.h"
#include "Ids.h"
#include "TestService.h"
#include "UiDriver.h"

namespace {

// The registration window is 4 minutes (240 cycles of 50 ms, 12 s), room
// enough for the record under load; the caller's limit is 10 minutes (600
// cycles): the whole connection takes about 30 s.
constexpr int kRegMinutes = 4;
constexpr int kLimitMinutes = 10;

const char kRecord[] =
    "ivan_petrov\r\nqwerty12\r\n10\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n";
const char kProfile[] = "Иван Петров\r\nлюбит FTP\r\n";

struct Sample {
    int countdown;  // -1 when the field shows no number
    std::wstring nick;
};

struct Event {
    unsigned long long ms;
    std::string name;
};

std::vector<Event> Events(const std::string& text) {
    std::vector<Event> events;
    std::istringstream in(text);
    Event e;
    while (in >> e.ms >> e.name) events.push_back(e);
    return events;
}

std::string Names(const std::vector<Event>& events) {
    std::string names;
    for (const Event& e : events) names += (names.empty() ? "" : " ") + e.name;
    return names;
}

// The part of `log` from `from` (included) to `to` (excluded).
std::string Between(const std::string& log, const std::string& from, const std::string& to) {
    const size_t a = log.find(from);
    if (a == std::string::npos) return std::string();
    const size_t b = log.find(to, a);
    return b == std::string::npos ? std::string() : log.substr(a, b - a);
}

}  // namespace

TEST(DialIn, TheCallerIsTimedProvisionedDisconnectedAndTheConsoleFollows) {
    Gateway g("TIME_FOR_REG=" + std::to_string(kRegMinutes) + "\r\n", "DISABLE_CHECK_WORK_TIME=1\r\n");
    ASSERT_TRUE(g.Installed()) << g.ServicesProblem();
    ASSERT_TRUE(g.StartFtp());
    ASSERT_TRUE(g.StartRas()) << ReadAll(g.logs);
    ASSERT_TRUE(g.WaitLog(DatedLine("MprAdminInitializeDll - библиотека загружена"), 10000)) << g.Log();

    ASSERT_TRUE(g.StartConsole());
    EXPECT_TRUE(g.WaitText(ids::RAS, L"RAS сервер: включен"));
    EXPECT_TRUE(g.WaitText(ids::FTP, L"FTP сервер: включен"));
    EXPECT_TRUE(g.WaitText(ids::Label1, L"Юзеры отключены"));
    EXPECT_EQ(g.Text(ids::StaticText1), L"НИК:");

    const ToolRun dial = RunCaptured("rasstandin.exe", "dial --rx 10240 --tx 2048");
    ASSERT_EQ(dial.code, 0) << dial.out;
    ASSERT_NE(dial.out.find("connection 1 "), std::string::npos) << dial.out;

    // The registration window counts down before the record arrives.
    std::vector<Sample> samples;
    auto sample = [&] {
        samples.push_back({CountdownValue(g.Text(ids::Label1)), g.Text(ids::StaticText1)});
        return samples.back();
    };
    ASSERT_TRUE(WaitFor([&] { return sample().countdown > 0; }, 5000)) << ui::ToUtf8(g.Text(ids::Label1));
    const size_t registrationSamples = samples.size();
    EXPECT_LE(samples.back().countdown, kRegMinutes * 60);

    // The registration site: the profile first, then the record.
    ASSERT_TRUE(WriteAll(g.users + "_ivan_petrov.txt", kProfile));
    ASSERT_TRUE(WriteAll(g.users + "current.user", kRecord));

    EXPECT_TRUE(g.WaitText(ids::StaticText1, L"НИК: ivan_petrov"));
    EXPECT_EQ(g.Text(ids::StaticText2), L"ПАРОЛЬ: qwerty12");
    EXPECT_EQ(g.Text(ids::TLIMIT), L"ЛИМИТ: 10");

    // Until the hang-up the console shows the countdown of the caller's limit.
    const std::string hungUp = DatedLine("Произошло отключение пользователя от интерфейса");
    bool ended = false;
    WaitFor(
        [&] {
            sample();
            ended = g.Log().find(hungUp) != std::string::npos;
            Sleep(100);
            return ended;
        },
        90000);
    ASSERT_TRUE(ended) << g.Log();

    // The countdown went down through the registration window and then, with
    // the record read, jumped to what was left of the caller's 10 minutes.
    int last = kRegMinutes * 60 + 1, seen = 0;
    bool tookOver = false;
    for (size_t i = registrationSamples - 1; i < samples.size(); ++i) {
        const int v = samples[i].countdown;
        if (v < 0) continue;
        ++seen;
        EXPECT_GE(v, 1);
        if (!tookOver && v > kRegMinutes * 60) {
            tookOver = true;
            EXPECT_EQ(samples[i].nick, L"НИК: ivan_petrov") << "the limit changed before the console saw the record";
            last = v;
        }
        EXPECT_LE(v, last) << "the countdown went up at sample " << i;
        EXPECT_LE(v, kLimitMinutes * 60);
        last = v;
    }
    EXPECT_TRUE(tookOver) << "the countdown never went above the registration window";
    EXPECT_GE(seen, 8) << "the console showed the countdown too rarely";

    // After the hang-up: the bare console and no shared files but the profile.
    EXPECT_TRUE(g.WaitText(ids::Label1, L"Юзеры отключены", 5000)) << ui::ToUtf8(g.Text(ids::Label1));
    EXPECT_TRUE(g.WaitText(ids::StaticText1, L"НИК:", 5000));
    EXPECT_EQ(g.Text(ids::StaticText2), L"ПАРОЛЬ:");
    EXPECT_EQ(g.Text(ids::TLIMIT), L"ЛИМИТ:");
    EXPECT_FALSE(Exists(g.users + "current.user"));
    EXPECT_FALSE(Exists(g.timeFile));
    EXPECT_EQ(ReadAll(g.users + "_ivan_petrov.txt"), kProfile);
    EXPECT_TRUE(g.WaitText(ids::FTP, L"FTP сервер: включен"));

    // The FTP account, as the FTP server reads it.
    const std::string upload = g.ftpUpload + "\\ivan_petrov's upload\\";
    EXPECT_EQ(ReadAll(g.usersIni), "[ivan_petrov]\r\nLogin=ivan_petrov\r\nPass=qwerty12\r\nDir0=" + g.ftpRoot +
                                       "\r\nAttr0=R----LS-\r\nDir1=" + upload +
                                       "\r\nAttr1=RW-AMLS-\r\nRatioEnabled=1\r\nRatioMethod=2\r\nRatioUp=1\r\n"
                                       "RatioDown=3\r\nRatioCredit=7000\r\n");
    // Written while the FTP service was down: after it stopped, before it started again.
    const std::vector<Event> events = Events(g.FtpEvents());
    ASSERT_EQ(Names(events), "start running stop-requested stopped start running") << g.FtpEvents();
    const unsigned long long written = LastWriteMs(g.usersIni);
    EXPECT_GE(written, events[3].ms);
    EXPECT_LE(written, events[4].ms);

    // The stand-in's service is stopped: the plug-in is unloaded.
    g.CloseConsole();
    ASSERT_TRUE(g.StopRas());
    ASSERT_TRUE(g.WaitLog(UnloadLines(), 5000)) << g.Log();

    // The whole log, in order. Between the port's reset and the worker's end
    // the hang-up that the disconnect sets off runs beside the worker: its
    // "Отключен интерфейс" comes at any point there, and the worker's own
    // lines after the reset may be cut short once the hang-up has ended it.
    std::string log = MaskBanners(g.Log());
    const std::string linkDown = DatedLine("Отключен интерфейс");
    const std::string afterReset = DatedLine("MprAdminPortReset - ok");
    const std::string workerEnded = DatedLine("Поток успешно завершен");
    const std::string stretch = Between(log, afterReset, workerEnded);
    ASSERT_FALSE(stretch.empty()) << log;
    const std::string race = stretch.substr(afterReset.size());
    ASSERT_EQ(Occurrences(race, linkDown), 1u) << log;
    std::string workerTail = race;
    workerTail.erase(workerTail.find(linkDown), linkDown.size());
    const std::string fullTail = DatedLine("MprAdminPortDisconnect - ok") +
                                 DatedLine("Пользователь отключен по окончании лимита времени") +
                                 DatedLine("***ExitThread***");
    EXPECT_EQ(fullTail.compare(0, workerTail.size(), workerTail), 0)
        << "the worker's lines after the reset are not a beginning of\n"
        << fullTail << "but\n"
        << workerTail;
    log.replace(log.find(afterReset) + afterReset.size(), race.size(), "<hang-up race>\r\n");

    // The duration is whole seconds of about 30.
    const std::string durationMark = DatedLine("Продолжительность соединения: ");
    const size_t durationAt = log.find(durationMark.substr(0, durationMark.size() - 2));
    ASSERT_NE(durationAt, std::string::npos) << log;
    const size_t digitsAt = durationAt + durationMark.size() - 2;
    const size_t digitsEnd = log.find("\r\n", digitsAt);
    const int seconds = std::atoi(log.substr(digitsAt, digitsEnd - digitsAt).c_str());
    EXPECT_GE(seconds, kLimitMinutes * 60 * 50 / 1000 - 1);
    EXPECT_LE(seconds, kLimitMinutes * 60 * 50 / 1000 + 10);
    log.replace(digitsAt, digitsEnd - digitsAt, "N");

    const std::string expected =
        "<banner>\r\n" + LoadLines(g, kRegMinutes) + DatedLine("Принято новое подключение") +
        DatedLine("***Поток таймера запущен***") + DatedLine("Подключен интерфейс") + PlainLine("\n") +
        DatedLine("Пришел пользователь:") + DatedLine(">USER: ivan_petrov") + DatedLine(">PASS: qwerty12") +
        DatedLine(">LIMIT: 10\n") + PlainLine("\n") + DatedLine("FTP сервер останавливается") +
        DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") + DatedLine("FTP сервер запускается") +
        DatedLine("MprAdminServerConnect - ok") + DatedLine("MprAdminPortClearStats - ok") + afterReset +
        "<hang-up race>\r\n" + workerEnded + DatedLine("Продолжительность соединения: N") +
        DatedLine("Байт принято: 10240") + DatedLine("Байт отправлено: 2048") + hungUp + UnloadLines();
    EXPECT_EQ(log, expected);
}

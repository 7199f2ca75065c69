// The real dialgate.dll through the stand-in: started, dialled, hung up and
// stopped as the remote-access service would drive it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "StandinHost.h"

namespace {

// Every daily log file in the folder, whatever date the host's locale wrote.
std::string AllLogs(const std::string& folder) {
    std::string text;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*_log.txt").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return text;
    do {
        text += ReadAll(folder + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return text;
}

// The plug-in in a folder of its own with everything it writes inside it and
// no FTP service touched, registered as the stand-in's administration DLL.
// `build` is "" for the shipped plug-in, "fast\\" for the 50 ms cycle.
struct PluginFolder {
    explicit PluginFolder(const std::string& build, const std::string& options = "") {
        CreateDirectoryA(users.c_str(), nullptr);
        ready = CopyFileA((ExeFolder() + build + "dialgate.dll").c_str(), (dir / "dialgate.dll").c_str(), FALSE) &&
                WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                                    timeFile + "\r\n" + options + "[LOG]\r\nLOG_PATH=" + logs +
                                                    "\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=0\r\n") &&
                Standin("register \"" + (dir / "dialgate.dll") + "\"").code == 0;
    }
    std::string Log() const { return MaskTimes(AllLogs(logs)); }
    bool LogHas(const std::string& part) const { return Log().find(part) != std::string::npos; }

    TempDir dir{"dialgate"};
    std::string logs = dir / "LOGS\\";
    std::string users = dir / "users\\";
    std::string currentUser = users + "current.user";
    std::string timeFile = dir / "time.txt";
    bool ready = false;
};

// The seconds the worker wrote into the time file, or -1 without one.
long TimeLeft(const std::string& timeFile) {
    const std::string text = ReadAll(timeFile);
    return text.empty() || text[0] < '0' || text[0] > '9' ? -1 : std::atol(text.c_str());
}

// How often the plug-in asked the stand-in which connections exist.
unsigned EnumerationsAnswered() {
    const std::string state = Standin("state").out;
    const size_t at = state.find("connection-enum calls ");
    unsigned n = 0;
    return at != std::string::npos && sscanf(state.c_str() + at, "connection-enum calls %u", &n) == 1 ? n : 0;
}

// The registration window of 20 minutes is 60 s in the fast build, the
// caller's limit of 30 minutes 90 s: longer than any of these tests.
const char kLongWindow[] = "TIME_FOR_REG=20\r\n";
const char kRecord[] = "ivan_petrov\r\nqwerty12\r\n30\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n";

const char kFoundGone[] = "Соединение не найдено службой: поток завершается";
const char kDuration[] = "Продолжительность соединения: ";
const char kHungUp[] = "Произошло отключение пользователя от интерфейса";
const char kAccepted[] = "Принято новое подключение";
const char kRefused[] = "Подключение отклонено: предыдущее соединение еще обслуживается";
const char kLinkDown[] = "Отключен интерфейс";

// The lines of a worker that found its connection gone, once, in order, and
// no hang-up of the service's: it never told the plug-in of one. Returns where
// the stretch ends.
size_t ExpectFoundGoneOnce(const std::string& log) {
    const std::string gone = DatedLine(kFoundGone);
    EXPECT_EQ(Occurrences(log, gone), 1u) << log;
    const size_t goneAt = log.find(gone);
    const std::string duration = DatedLine(kDuration);
    const size_t durationAt = log.find(duration.substr(0, duration.size() - 2), goneAt);
    const size_t hungUpAt = log.find(DatedLine(kHungUp), goneAt);
    EXPECT_NE(goneAt, std::string::npos) << log;
    EXPECT_NE(durationAt, std::string::npos) << log;
    EXPECT_NE(hungUpAt, std::string::npos) << log;
    EXPECT_LT(durationAt, hungUpAt) << log;
    EXPECT_EQ(log.find(kLinkDown), std::string::npos) << log;
    return hungUpAt;
}

// A caller on the line, registered: the worker has read his record.
void DialAndRegister(const PluginFolder& f) {
    const ToolRun dial = Standin("dial --rx 100 --tx 200");
    ASSERT_EQ(dial.code, 0) << dial.out << f.Log();
    ASSERT_NE(dial.out.find("connection 1 "), std::string::npos) << dial.out;
    ASSERT_TRUE(WriteAll(f.currentUser, kRecord));
    ASSERT_TRUE(WaitFor([&] { return f.LogHas(">USER: ivan_petrov"); }, 10000)) << f.Log();
    ASSERT_TRUE(WaitFor([&] { return TimeLeft(f.timeFile) > 0; }, 5000));
}

}  // namespace

TEST(RasStandinDialgate, TheRealPluginIsLoadedAndUnloadedAroundACall) {
    PluginFolder f("");
    ASSERT_TRUE(f.ready);
    const std::string logs = f.logs;

    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    const ToolRun dial = Standin("dial --rx 10240 --tx 2048");
    EXPECT_EQ(dial.code, 0) << dial.out;
    unsigned id = 0;
    ASSERT_EQ(sscanf(dial.out.c_str(), "connection %u", &id), 1) << dial.out;
    EXPECT_EQ(Standin("hangup " + std::to_string(id)).code, 0);
    EXPECT_EQ(host.Stop(), 0) << host.Output();

    const std::string log = AllLogs(logs);
    const size_t loaded = log.find("MprAdminInitializeDll - библиотека загружена\r\n");
    const size_t unloaded = log.find("MprAdminTerminateDll - библиотека выгружена\r\n");
    ASSERT_NE(loaded, std::string::npos) << log;
    ASSERT_NE(unloaded, std::string::npos) << log;
    EXPECT_LT(loaded, unloaded);
    // The hang-up and its worker's end came before the library's last lines.
    EXPECT_EQ(log.substr(log.size() - 54), std::string(52, '*') + "\r\n");
}

// The service lost the first caller's hang-up: his line is dead and the
// service no longer lists his connection. The next caller, refused at first,
// makes the worker ask; it finds its connection gone, ends as a hang-up would
// and lets him in.
TEST(RasStandinDialgate, ADroppedHangupLetsTheNextCallerInWithinSeconds) {
    PluginFolder f("fast\\", kLongWindow);
    ASSERT_TRUE(f.ready);
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    DialAndRegister(f);
    if (HasFatalFailure()) return;
    ASSERT_EQ(Standin("drop 1").code, 0);

    // The caller redials every half second until he gets in.
    const ULONGLONG dropped = GetTickCount64();
    ToolRun redial;
    int refusals = 0;
    for (;;) {
        redial = Standin("dial");
        if (redial.code != 3 || GetTickCount64() - dropped > 10000) break;
        ++refusals;
        Sleep(500);
    }
    ASSERT_EQ(redial.code, 0) << refusals << " refusals: " << redial.out << f.Log();
    // Each refused dial was a connection of its own.
    EXPECT_NE(redial.out.find("connection " + std::to_string(refusals + 2) + " "), std::string::npos) << redial.out;

    const std::string log = f.Log();
    const size_t goneEnds = ExpectFoundGoneOnce(log);
    EXPECT_EQ(Occurrences(log, DatedLine(kAccepted)), 2u) << log;
    EXPECT_GT(log.rfind(DatedLine(kAccepted)), goneEnds) << log;
    EXPECT_EQ(Occurrences(log, DatedLine(kRefused)), static_cast<size_t>(refusals)) << log;
    // The first caller's record went with his connection.
    EXPECT_FALSE(Exists(f.currentUser));
    EXPECT_GE(EnumerationsAnswered(), 1u);
    EXPECT_EQ(host.Stop(), 0) << host.Output();
}

// Nobody dials after the loss: the worker's own periodic question finds the
// connection gone; it clears the users' files and writes nothing more.
TEST(RasStandinDialgate, AConnectionFoundGoneEndsItsWorkerWithoutANewCaller) {
    PluginFolder f("fast\\", kLongWindow);
    ASSERT_TRUE(f.ready);
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    DialAndRegister(f);
    if (HasFatalFailure()) return;
    ASSERT_EQ(Standin("drop 1").code, 0);

    ASSERT_TRUE(WaitFor([&] { return f.LogHas(kHungUp); }, 30000)) << f.Log();
    EXPECT_TRUE(WaitFor([&] { return !Exists(f.currentUser) && !Exists(f.timeFile); }, 5000))
        << "current.user " << Exists(f.currentUser) << ", time file " << Exists(f.timeFile);
    // Many cycles later the ended worker has still written no time file.
    Sleep(500);
    EXPECT_FALSE(Exists(f.timeFile));
    ExpectFoundGoneOnce(f.Log());

    // The next caller gets in at once.
    const ToolRun next = Standin("dial");
    EXPECT_EQ(next.code, 0) << next.out << f.Log();
    EXPECT_EQ(host.Stop(), 0) << host.Output();
}

// Both connections exist: the refusal makes the first worker ask, the service
// lists its connection, and the worker goes on timing it.
TEST(RasStandinDialgate, WhileTheFirstConnectionLivesASecondCallerIsStillRefused) {
    PluginFolder f("fast\\", kLongWindow);
    ASSERT_TRUE(f.ready);
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    ASSERT_EQ(Standin("dial").code, 0) << f.Log();
    ASSERT_TRUE(WaitFor([&] { return TimeLeft(f.timeFile) > 0; }, 5000));

    const unsigned asked = EnumerationsAnswered();
    const ToolRun second = Standin("dial");
    EXPECT_EQ(second.code, 3) << second.out;
    EXPECT_TRUE(WaitFor([&] { return EnumerationsAnswered() > asked; }, 5000)) << "the worker never asked";
    const long left = TimeLeft(f.timeFile);
    EXPECT_TRUE(WaitFor(
        [&] {
            const long now = TimeLeft(f.timeFile);
            return now > 0 && now < left;
        },
        5000))
        << "the time file stopped at " << left;
    const ToolRun third = Standin("dial");
    EXPECT_EQ(third.code, 3) << third.out;

    const std::string log = f.Log();
    EXPECT_EQ(log.find(kFoundGone), std::string::npos) << log;
    EXPECT_EQ(Occurrences(log, DatedLine(kRefused)), 2u) << log;
    EXPECT_EQ(Occurrences(log, DatedLine(kAccepted)), 1u) << log;
    EXPECT_NE(Standin("state").out.find("connection 1 handle 0xc0001 port 0x50001 seconds "), std::string::npos);
    EXPECT_EQ(Standin("hangup 1").code, 0);
    EXPECT_EQ(host.Stop(), 0) << host.Output();
    EXPECT_FALSE(Exists(f.timeFile));
}

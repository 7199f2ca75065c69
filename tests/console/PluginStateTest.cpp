// What the console makes of the plug-in's log, its service and its events:
// the last start-up or unload line, read forwards or backwards in any
// pieces, what the state field shows, and the balloons it tells.
#include <gtest/gtest.h>

#include "LogFormat.h"
#include "LogTexts.h"
#include "Notices.h"
#include "PluginState.h"

namespace {

std::string Dated(const std::string& time, const std::string& message) {
    return "[08.12.2026] : [" + time + "] - " + message + "\r\n";
}

const std::string kOldBanner = "dialgate.dll версии 1.0.0: модуль учёта дозвона запускается";

// A start of release 1.0.0, a connection, an unload, and a start of 1.0.1
// whose banner is followed by the configuration's dump.
const std::string kLog = Dated("3:41:34", kOldBanner) + Dated("3:41:34", log_text::kInitialized) +
                         Dated("3:41:35", log_text::kConnectionAccepted) + Dated("3:42:42", log_text::kTerminated) +
                         log_text::kTerminateRule + std::string("\r\n") + Dated("9:00:01", LogBanner("1.0.1")) +
                         "\r\nLOG_PATH=C:\\VE_DA\\LOGS\\\r\n" + Dated("9:00:01", log_text::kInitialized) +
                         Dated("9:00:05", log_text::kConnectionAccepted);

PluginLifecycle Backwards(const std::vector<std::string>& days, size_t piece) {
    PluginLifecycleSearch search;
    for (size_t back = 0; back < days.size() && !search.Done(); ++back) {
        const std::string& log = days[back];
        for (size_t end = log.size(); !search.Done();) {
            const size_t start = end > piece ? end - piece : 0;
            search.FeedEarlier(std::string_view(log).substr(start, end - start), start == 0, 100 - static_cast<int64_t>(back));
            if (start == 0) break;
            end = start;
        }
    }
    search.End();
    return search.Found();
}

PluginLifecycle Forwards(const std::string& log, size_t piece) {
    PluginLogFollower follower;
    for (size_t at = 0; at < log.size(); at += piece) follower.Feed(std::string_view(log).substr(at, piece));
    return follower.Lifecycle();
}

TEST(PluginLog, TheLastStartOrUnloadIsFoundForwardsAndBackwardsInAnyPieces) {
    for (size_t piece : {1u, 7u, 64u, 4096u}) {
        SCOPED_TRACE(piece);
        for (const PluginLifecycle& l : {Forwards(kLog, piece), Backwards({"", kLog}, piece)}) {
            EXPECT_EQ(l.state, PluginLifecycle::State::Loaded);
            EXPECT_EQ(l.version, "1.0.1");
            EXPECT_EQ(l.time, "9:00:01");
            EXPECT_EQ(l.second, 9 * 3600 + 1);
        }
        EXPECT_EQ(Backwards({"", kLog}, piece).dayStart, 99);
        // Unloaded; the release 1.0.0 spelling of the banner; a start without a banner.
        const std::string unloaded = kLog + Dated("9:30:00", log_text::kTerminated);
        EXPECT_EQ(Backwards({unloaded}, piece).state, PluginLifecycle::State::Unloaded);
        EXPECT_EQ(Forwards(unloaded, piece).time, "9:30:00");
        const std::string old = Dated("3:41:34", kOldBanner) + Dated("3:41:34", log_text::kInitialized);
        EXPECT_EQ(Backwards({old}, piece).version, "1.0.0");
        EXPECT_EQ(Forwards(old, piece).version, "1.0.0");
        const std::string bare = Dated("10:00:00", log_text::kInitialized);
        EXPECT_EQ(Backwards({bare}, piece).state, PluginLifecycle::State::Loaded);
        EXPECT_EQ(Backwards({bare}, piece).version, "");
        EXPECT_EQ(Backwards({Dated("1:00:00", "Принято новое подключение")}, piece).state,
                  PluginLifecycle::State::None);
    }
}

PluginLifecycle LoadedAt(const std::string& version, const std::string& time) {
    PluginLifecycle l;
    l.state = PluginLifecycle::State::Loaded;
    l.version = version;
    l.date = "08.12.2026";
    l.time = time;
    return l;
}

TEST(PluginState, ShowsTheLoadedPluginAndAsAProblemOneThatShouldBeButIsNot) {
    // RemoteAccess running since 1000; the start-up line at 1000 (whole seconds): loaded.
    PluginFacts f;
    f.service = ServiceRun::Running;
    f.serviceStarted = 1000;
    f.serviceStartedText = "08.12.2026 9:00:00";
    f.lifecycle = LoadedAt("1.0.1", "9:00:01");
    f.lifecycleAt = 1000;
    PluginStateView v = PluginStateFor(f);
    EXPECT_FALSE(v.problem);
    EXPECT_EQ(v.text, "МОДУЛЬ: загружен, версия 1.0.1, с 08.12.2026 9:00:01");

    // The last start-up line is older than the service's process.
    f.lifecycleAt = 900;
    v = PluginStateFor(f);
    EXPECT_TRUE(v.problem);
    EXPECT_EQ(v.text.rfind("МОДУЛЬ НЕ ЗАГРУЖЕН: служба RemoteAccess работает с 08.12.2026 9:00:00, а строки запуска "
                           "модуля в журнале с тех пор нет.\r\nПроверьте: DLLPath в HKLM\\SOFTWARE\\Microsoft\\RAS\\AdminDll",
                           0),
              0u)
        << v.text;
    // ... but the Application log says it was loaded: the console reads another log folder.
    f.events = {{0x40000001u, 1001, "08.12.2026 9:00:02", "1.0.1"}};
    v = PluginStateFor(f);
    EXPECT_TRUE(v.problem);
    EXPECT_NE(v.text.find("(событие 1), но строки запуска в журнале модуля нет"), std::string::npos) << v.text;

    // Loaded, then its log could not be written, then could again, and a worker stuck.
    f.lifecycleAt = 1000;
    f.events = {{0xC0000003u, 800, "08.12.2026 8:00:00", ""},  // of an earlier run
                {0xC0000003u, 1100, "08.12.2026 9:01:40", ""}};
    v = PluginStateFor(f);
    EXPECT_TRUE(v.problem);
    EXPECT_NE(v.text.find("\r\nНЕ УДАЕТСЯ ЗАПИСАТЬ ЖУРНАЛ с 08.12.2026 9:01:40 (событие 3"), std::string::npos) << v.text;
    f.events.push_back({0x40000004u, 1200, "08.12.2026 9:03:20", "7"});
    v = PluginStateFor(f);
    EXPECT_FALSE(v.problem);
    EXPECT_NE(v.text.find("\r\nЖурнал снова записывается с 08.12.2026 9:03:20, строк потеряно: 7"), std::string::npos);
    f.events.push_back({0xC0000006u, 1300, "08.12.2026 9:05:00", ""});
    EXPECT_TRUE(PluginStateFor(f).problem);

    // Stopped, starting, or a service the console may not query: never a problem by itself.
    PluginFacts s;
    s.service = ServiceRun::Stopped;
    s.lifecycle = LoadedAt("", "3:42:42");
    s.lifecycle.state = PluginLifecycle::State::Unloaded;
    EXPECT_EQ(PluginStateFor(s).text, "МОДУЛЬ: не загружен, служба RemoteAccess выключена\r\nвыгружен 08.12.2026 3:42:42");
    s.service = ServiceRun::Unknown;
    EXPECT_EQ(PluginStateFor(s).text,
              "МОДУЛЬ: выгружен 08.12.2026 3:42:42 (по журналу; состояние службы RemoteAccess неизвестно)");
    s.service = ServiceRun::Starting;
    EXPECT_FALSE(PluginStateFor(s).problem);
    EXPECT_EQ(ServiceRunOf(7), ServiceRun::Running);
    EXPECT_EQ(ServiceRunOf(0), ServiceRun::Unknown);
}

TEST(Notices, ACallerWhoCameOrWasCutOffTheWatchsStepsAndAnUnwritableLogAreTold) {
    PluginLogFollower follower;
    const std::string block = "\r\n" + Dated("21:40:00", log_text::kUserArrived) + Dated("21:40:00", ">USER: ivan") +
                              Dated("21:40:00", ">PASS: secret") + Dated("21:40:00", ">LIMIT: 60") + "\r\n";
    follower.Feed(block.substr(0, 50));
    EXPECT_TRUE(follower.TakeNotices().empty());
    follower.Feed(block.substr(50) + Dated("22:40:00", log_text::kDisconnected));
    const std::vector<Notice> notices = follower.TakeNotices();
    ASSERT_EQ(notices.size(), 2u);
    NoticeText t = NoticeTextFor(notices[0]);
    EXPECT_EQ(t.title, "Пришел пользователь");
    EXPECT_EQ(t.text, "НИК: ivan, ЛИМИТ: 60");
    t = NoticeTextFor(notices[1]);
    EXPECT_EQ(t.level, NoticeLevel::Warning);
    EXPECT_EQ(t.title, "Пользователь отключен по окончании лимита времени");
    EXPECT_EQ(t.text, "НИК: ivan");

    // The watch tells a change only: a start of a stopped service, a stop of a running one.
    Notice n{};
    EXPECT_TRUE(WatchNotice(WatchAction::StartService, 1, n));
    EXPECT_EQ(NoticeTextFor(n).text, "Служба RemoteAccess запущена: ВРЕМЯ: РАБОЧЕЕ");
    EXPECT_TRUE(WatchNotice(WatchAction::StopService, 4, n));
    EXPECT_EQ(NoticeTextFor(n).text, "Служба RemoteAccess остановлена: ВРЕМЯ: НЕ РАБОЧЕЕ");
    EXPECT_FALSE(WatchNotice(WatchAction::StartService, 4, n));
    EXPECT_FALSE(WatchNotice(WatchAction::StopService, 1, n));
    EXPECT_FALSE(WatchNotice(WatchAction::StopService, 0, n));
    EXPECT_FALSE(WatchNotice(WatchAction::None, 4, n));

    EXPECT_FALSE(EventNotice({0x40000004u, 0, "", "3"}, n));
    ASSERT_TRUE(EventNotice({0xC0000003u, 0, "08.12.2026 9:01:40", ""}, n));
    t = NoticeTextFor(n);
    EXPECT_EQ(t.level, NoticeLevel::Error);
    EXPECT_EQ(t.title, "Модуль не может записать журнал");
    EXPECT_EQ(t.text.rfind("С 08.12.2026 9:01:40. Событие 3 источника dialgate", 0), 0u) << t.text;
}

}  // namespace

// What the console makes of the plug-in's log, its service and its events:
// the last start-up or unload line, read forwards or backwards in any
// pieces, what the state field shows, and the balloons it tells.
#include <gtest/gtest.h>

#include "LogFormat.h"
#include "LogTexts.h"
#include "Notices.h"
#include "PluginState.h"

namespace {

using State = PluginLifecycle::State;

std::string Dated(const std::string& time, const std::string& message) {
    return "[08.12.2026] : [" + time + "] - " + message + "\r\n";
}

// A start of release 1.0.0 (its spelling "учёта"), an unload, a start of
// 1.0.1 with the configuration's dump between its banner and kInitialized.
const std::string kOld = Dated("3:41:34", "dialgate.dll версии 1.0.0: модуль учёта дозвона запускается") +
                         Dated("3:41:34", log_text::kInitialized);
const std::string kLog = kOld + Dated("3:42:42", log_text::kTerminated) + Dated("9:00:01", LogBanner("1.0.1")) +
                         "\r\nLOG_PATH=C:\\VE_DA\\LOGS\\\r\n" + Dated("9:00:01", log_text::kInitialized) +
                         Dated("9:00:05", log_text::kConnectionAccepted);

// Days newest first, day k beginning at 100 - k.
PluginLifecycle Backwards(const std::vector<std::string>& days, size_t piece) {
    PluginLifecycleSearch search;
    for (size_t back = 0; back < days.size() && !search.Done(); ++back)
        for (size_t end = days[back].size(), start = end; !search.Done() && end > 0; end = start) {
            start = end > piece ? end - piece : 0;
            search.FeedEarlier(days[back].substr(start, end - start), start == 0, 100 - static_cast<int64_t>(back));
        }
    search.End();
    return search.Found();
}

PluginLifecycle Forwards(const std::string& log, size_t piece) {
    PluginLogFollower follower;
    for (size_t at = 0; at < log.size(); at += piece) follower.Feed(log.substr(at, piece));
    return follower.Lifecycle();
}

TEST(PluginLog, TheLastStartOrUnloadIsFoundForwardsAndBackwardsInAnyPieces) {
    for (size_t piece : {1u, 7u, 4096u}) {
        SCOPED_TRACE(piece);
        for (const PluginLifecycle& l : {Forwards(kLog, piece), Backwards({"", kLog}, piece)}) {
            EXPECT_EQ(l.state, State::Loaded);
            EXPECT_EQ(l.version, "1.0.1");
            EXPECT_EQ(l.second, 9 * 3600 + 1);
        }
        EXPECT_EQ(Backwards({"", kLog}, piece).dayStart, 99);
        EXPECT_EQ(Backwards({kLog + Dated("9:30:00", log_text::kTerminated)}, piece).state, State::Unloaded);
        EXPECT_EQ(Backwards({kOld}, piece).version, "1.0.0");
        EXPECT_EQ(Backwards({Dated("10:00:00", log_text::kInitialized)}, piece).version, "");
        EXPECT_EQ(Backwards({Dated("1:00:00", log_text::kConnectionAccepted)}, piece).state, State::None);
    }
}

TEST(PluginState, ShowsTheLoadedPluginAndAsAProblemOneThatShouldBeButIsNot) {
    // RemoteAccess running since 1000; the start-up line at 1000 (whole seconds): loaded.
    PluginFacts f;
    f.service = ServiceRun::Running;
    f.serviceStarted = 1000;
    f.serviceStartedText = "08.12.2026 9:00:00";
    f.lifecycle = Forwards(kLog, 4096);
    f.lifecycleAt = 1000;
    EXPECT_EQ(PluginStateFor(f).text, "МОДУЛЬ: загружен, версия 1.0.1, с 08.12.2026 9:00:01");

    // The last start-up line is older than the service's process.
    f.lifecycleAt = 900;
    PluginStateView v = PluginStateFor(f);
    EXPECT_TRUE(v.problem);
    EXPECT_EQ(v.text.rfind("МОДУЛЬ НЕ ЗАГРУЖЕН: служба RemoteAccess работает с 08.12.2026 9:00:00, а строки запуска "
                           "модуля в журнале с тех пор нет.\r\nПроверьте: DLLPath",
                           0),
              0u)
        << v.text;
    // ... but the Application log says it was loaded: the console reads another log folder.
    f.events = {{0x40000001u, 1001, "08.12.2026 9:00:02", "1.0.1"}};
    EXPECT_NE(PluginStateFor(f).text.find("(событие 1), но строки запуска"), std::string::npos);

    // Loaded; its log unwritable (an earlier run's event does not count), written again, a worker stuck.
    f.lifecycleAt = 1000;
    f.events = {{0xC0000003u, 800, "8:00", ""}, {0xC0000003u, 1100, "9:01:40", ""}};
    v = PluginStateFor(f);
    EXPECT_TRUE(v.problem);
    EXPECT_NE(v.text.find("\r\nНЕ УДАЕТСЯ ЗАПИСАТЬ ЖУРНАЛ с 9:01:40 (событие 3"), std::string::npos) << v.text;
    EXPECT_EQ(v.text.find("8:00"), std::string::npos);
    f.events.push_back({0x40000004u, 1200, "9:03:20", "7"});
    v = PluginStateFor(f);
    EXPECT_FALSE(v.problem);
    EXPECT_NE(v.text.find("\r\nЖурнал снова записывается с 9:03:20, строк потеряно: 7"), std::string::npos);
    f.events.push_back({0xC0000006u, 1300, "9:05:00", ""});
    EXPECT_TRUE(PluginStateFor(f).problem);

    PluginFacts s;
    s.service = ServiceRun::Stopped;
    s.lifecycle = Backwards({kOld + Dated("3:42:42", log_text::kTerminated)}, 4096);
    EXPECT_EQ(PluginStateFor(s).text, "МОДУЛЬ: не загружен, служба RemoteAccess выключена\r\nвыгружен 08.12.2026 3:42:42");
}

TEST(Notices, ACallerWhoCameOrWasCutOffTheWatchsStepsAndAnUnwritableLogAreTold) {
    PluginLogFollower follower;
    const std::string block = "\r\n" + Dated("21:40:00", log_text::kUserArrived) + Dated("21:40:00", ">USER: ivan") +
                              Dated("21:40:00", ">PASS: secret") + Dated("21:40:00", ">LIMIT: 60") +
                              Dated("22:40:00", log_text::kDisconnected);
    follower.Feed(block);
    const std::vector<Notice> notices = follower.TakeNotices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(NoticeTextFor(notices[0]).title, "Пришел пользователь");
    EXPECT_EQ(NoticeTextFor(notices[0]).text, "НИК: ivan, ЛИМИТ: 60");
    EXPECT_EQ(NoticeTextFor(notices[1]).title, "Пользователь отключен по окончании лимита времени");
    EXPECT_EQ(NoticeTextFor(notices[1]).text, "НИК: ivan");

    // The watch tells a change only: a start of a stopped service, a stop of a running one.
    Notice n{};
    EXPECT_TRUE(WatchNotice(WatchAction::StartService, 1, n));
    EXPECT_EQ(NoticeTextFor(n).text, "Служба RemoteAccess запущена: ВРЕМЯ: РАБОЧЕЕ");
    EXPECT_TRUE(WatchNotice(WatchAction::StopService, 4, n));
    EXPECT_FALSE(WatchNotice(WatchAction::StartService, 4, n));

    ASSERT_TRUE(EventNotice({0xC0000003u, 0, "08.12.2026 9:01:40", ""}, n));
    EXPECT_EQ(NoticeTextFor(n).level, NoticeLevel::Error);
    EXPECT_EQ(NoticeTextFor(n).text.rfind("С 08.12.2026 9:01:40. Событие 3 источника dialgate", 0), 0u);
}

}  // namespace

// What the main window's fields show for given file contents, the log's
// text as the view hands it out, and when the working-hours watch starts or stops the service.
#include <gtest/gtest.h>

#include "Monitor.h"

namespace {

const std::string kCountdown = "До отключения осталось: ";

TEST(Countdown, ShowsTheFirstLineOfTheTimeFileUpToNineCharacters) {
    struct Case {
        const char* file;
        const char* shown;
    };
    for (const Case& c : {Case{"300\r\n\r\n", "300"}, Case{"1\r\n\r\n", "1"}, Case{"1800\n\n", "1800"},
                          Case{"1234567890123\r\n", "123456789"}, Case{"123456789\r\n", "123456789"},
                          Case{"12", "12"}, Case{"", ""}, Case{"\r\n300", ""}, Case{" 7 \r\n", " 7 "}}) {
        EXPECT_EQ(CountdownText(FileRead::Read, c.file), kCountdown + c.shown) << "file: " << c.file;
    }
}

TEST(Countdown, NobodyConnectedAndUnreadableFile) {
    EXPECT_EQ(CountdownText(FileRead::Missing, "300\r\n"), "Юзеры отключены");
    // Held by the plug-in at that moment: the value stays empty for a second.
    EXPECT_EQ(CountdownText(FileRead::Unreadable, ""), kCountdown);
}

TEST(UserFieldsTest, MissingFileGivesTheBareCaptions) {
    const UserFields f = UserFieldsFor(FileRead::Missing, {"ivan", "pw", "60"});
    EXPECT_EQ(f.nick, "НИК:");
    EXPECT_EQ(f.password, "ПАРОЛЬ:");
    EXPECT_EQ(f.limit, "ЛИМИТ:");
}

TEST(UserFieldsTest, TheFirstThreeLinesUnchangedAfterCaptionAndBlank) {
    const UserFields f = UserFieldsFor(
        FileRead::Read, {"ivan", "p@ss word ", " 60", "Иван", "Петров", "20", "МГУ", "123", "a@b", "42", "more"});
    EXPECT_EQ(f.nick, "НИК: ivan");
    EXPECT_EQ(f.password, "ПАРОЛЬ: p@ss word ");
    EXPECT_EQ(f.limit, "ЛИМИТ:  60");
    EXPECT_EQ(UserFieldsFor(FileRead::Read, {"u", "p", "abc"}).limit, "ЛИМИТ: abc");
}

TEST(UserFieldsTest, LinesTheFileDoesNotHaveStayEmpty) {
    UserFields f = UserFieldsFor(FileRead::Read, {"ivan", "pw"});
    EXPECT_EQ(f.nick, "НИК: ivan");
    EXPECT_EQ(f.password, "ПАРОЛЬ: pw");
    EXPECT_EQ(f.limit, "ЛИМИТ: ");
    for (FileRead state : {FileRead::Read, FileRead::Unreadable}) {
        f = UserFieldsFor(state, {});
        EXPECT_EQ(f.nick, "НИК: ");
        EXPECT_EQ(f.password, "ПАРОЛЬ: ");
        EXPECT_EQ(f.limit, "ЛИМИТ: ");
    }
}

TEST(LogView, EveryLineEndBecomesCrLf) {
    struct Case {
        std::string file;
        std::string view;
    };
    for (const Case& c : {Case{"a\r\nb\r\n", "a\r\nb\r\n"}, Case{"a\nb\n", "a\r\nb\r\n"}, Case{"a\rb", "a\r\nb"},
                          Case{"a\r\r\nb", "a\r\n\r\nb"}, Case{"a\n\r\nb\r", "a\r\n\r\nb\r\n"}, Case{"", ""},
                          Case{std::string("a\0b", 3), "a b"}, Case{"\x1a\xff", "\x1a\xff"}}) {
        EXPECT_EQ(LogViewText(c.file), c.view);
    }
}

std::string WorkingHours(int32_t begin, int32_t end) {
    std::string hours;
    for (int h = 0; h < 24; ++h) hours += IsWorkingTime(h, begin, end) ? '#' : '.';
    return hours;
}

TEST(WorkingTime, SpansMidnightAsTheSettingsSay) {
    //                        hour  0         1         2
    //                              012345678901234567890123
    EXPECT_EQ(WorkingHours(23, 7), "#######................#");
    EXPECT_EQ(WorkingHours(20, 8), "########............####");
    EXPECT_EQ(WorkingHours(24, 7), "#######.................");
    EXPECT_EQ(WorkingHours(23, 0), ".......................#");
    EXPECT_EQ(WorkingHours(9, 18), "########################");
    EXPECT_EQ(WorkingHours(7, 7), "########################");
    EXPECT_EQ(WorkingHours(24, 0), "........................");
    EXPECT_EQ(WorkingHours(-5, -5), "########################");
}

TEST(Watch, ChecksAtStartUpThenEveryFifthTick) {
    int32_t counter = 1;
    std::string actions;
    for (int tick = 0; tick < 16; ++tick) {
        const WatchAction a = WatchStep(counter, false, tick < 8);
        actions += a == WatchAction::StartService ? 'S' : a == WatchAction::StopService ? 'X' : '.';
    }
    EXPECT_EQ(actions, "S....S....X....X");
}

TEST(Watch, SwitchedOffItKeepsCountingAndActsWithinFiveTicksWhenBackOn) {
    int32_t counter = 1;
    for (int tick = 0; tick < 7; ++tick) EXPECT_EQ(WatchStep(counter, true, false), WatchAction::None);
    EXPECT_EQ(counter, 4);
    int ticks = 0;
    WatchAction a = WatchAction::None;
    while (a == WatchAction::None && ticks < 10) {
        a = WatchStep(counter, false, false);
        ++ticks;
    }
    EXPECT_EQ(a, WatchAction::StopService);
    EXPECT_EQ(ticks, 4);
}

}  // namespace

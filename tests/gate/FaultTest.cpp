// The plug-in when its surroundings misbehave: files held, missing or huge,
// folders and drives that do not exist, a configuration far outside its
// format, an FTP service that will not stop. The callbacks still answer as
// they should, nothing escapes, nobody is left untimed.
#include <gtest/gtest.h>

#include "ExpectedLines.h"
#include "GateFixture.h"
#include "Services.h"
#include "TestService.h"

#include <algorithm>
#include <thread>

namespace {

// A file far outside any format: `size` bytes of `fill`, no line end.
void WriteBlock(const std::string& path, size_t size, char fill) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string block(1 << 20, fill);
    DWORD w = 0;
    for (size_t done = 0; done < size; done += block.size())
        WriteFile(f, block.data(), static_cast<DWORD>(std::min(block.size(), size - done)), &w, nullptr);
    CloseHandle(f);
}

}  // namespace

TEST(Faults, UsersIniThatCannotBeWritten) {
    for (const std::string& place : {std::string("Q:\\nowhere\\users.ini"), std::string("C:\\dg_missing_dir\\users.ini")}) {
        GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n",
                         "FTP_ACCOUNTING_ENABLED=1\r\nFTP_SERVICE_NAME=dg_no_such_service\r\n", place);
        Call call(70);
        ASSERT_TRUE(call.Dial(*gate.plugin));
        gate.WriteRecord("student\r\npw\r\n0\r\n");
        ASSERT_TRUE(gate.WaitLog(kExitThread, 5000)) << place;
        EXPECT_TRUE(gate.LogHas(DatedLine("Не удалось записать users.ini: " + place))) << gate.Log();
        EXPECT_TRUE(gate.LogHas(DatedLine("FTP сервер запускается")));
        call.HangUp(*gate.plugin);
    }
}

TEST(Faults, LogFolderThatCannotBeMadeDisturbsNothing) {
    GateInstall gate;
    // Point the log somewhere impossible by a second installation.
    TempDir dir("nolog");
    WriteAll(dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + dir.Path() + "no\\such\\LOGS\\\r\n[OPTIONS]\r\nTIME_FOR_REG=0\r\n"
                                    "FILE_WITH_TIME=" + dir.Path() + "time.txt\r\n[PHP]\r\nUSERS_FOLDER=" + dir.Path() + "\r\n");
    PluginCopy plugin(dir.Path());
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Initialize(), static_cast<DWORD>(NO_ERROR));
    StandinService ras;
    Call call(71);
    EXPECT_TRUE(call.Dial(plugin));
    EXPECT_TRUE(WaitFor([&] { return ras.serverDisconnects.load() == 1; }, 5000));  // the worker did its work
    call.HangUp(plugin);
    EXPECT_EQ(plugin.Terminate(), static_cast<DWORD>(NO_ERROR));
    EXPECT_FALSE(Exists(dir / "no"));
}

// Run with LANG=C, whose dates have slashes: no log file can be named.
TEST(SlashedDateConnection, RunsWithoutALog) {
    if (TodayShortDate().find('/') == std::string::npos) GTEST_SKIP() << "locale date has no slashes";
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n");
    StandinService ras;
    Call call(72);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    EXPECT_TRUE(WaitFor([&] { return ras.serverDisconnects.load() == 1; }, 5000));
    call.HangUp(*gate.plugin);
    EXPECT_FALSE(Exists(gate.timeFile));
}

// Held for a third of the 600 ms the plug-in waits for its log
// (kLogShareWaitMs), so that a release a loaded machine makes late still
// comes well inside that wait.
TEST(Faults, LogHeldForAMomentLosesNoLine) {
    GateInstall gate;
    Call call(73);
    const std::string path = gate.logs + TodayShortDate() + "_log.txt";
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held] {
        Sleep(200);
        CloseHandle(held);
    });
    ASSERT_TRUE(call.Dial(*gate.plugin));
    release.join();
    call.HangUp(*gate.plugin);
    EXPECT_EQ(gate.Tail(), DatedLine("Принято новое подключение") + DatedLine("***Поток таймера запущен***") +
                               DatedLine("Подключен интерфейс") + DatedLine("Отключен интерфейс") +
                               DatedLine("Поток успешно завершен") + DatedLine("Продолжительность соединения: 0") +
                               DatedLine("Байт принято: 0") + DatedLine("Байт отправлено: 0") + DatedLine(kHungUp));
}

TEST(Faults, TimeFileHeldByAnotherProgram) {
    GateInstall gate;
    Call call(74);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    ASSERT_TRUE(WaitFor([&] { return Exists(gate.timeFile); }, 3000));
    // The worker has the file open for a moment every cycle: take it between two writes.
    HANDLE held = INVALID_HANDLE_VALUE;
    WaitFor(
        [&] {
            held = CreateFileA(gate.timeFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            return held != INVALID_HANDLE_VALUE;
        },
        3000);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Sleep(200);
    CloseHandle(held);
    // The worker went on counting and writes again.
    const std::string after = ReadAll(gate.timeFile);
    EXPECT_TRUE(WaitFor([&] { return ReadAll(gate.timeFile) != after; }, 2000));
    EXPECT_LT(atoi(ReadAll(gate.timeFile).c_str()), 60);
    call.HangUp(*gate.plugin);
}

TEST(Faults, RecordFarOutsideItsFormat) {
    for (char fill : {'Z', '\0', '\xff'}) {
        GateInstall gate;
        Call call(75);
        ASSERT_TRUE(call.Dial(*gate.plugin));
        WriteBlock(gate.users + "current.user", 100u << 20, fill);
        ASSERT_TRUE(gate.WaitLog(kExitThread, 5000)) << static_cast<int>(fill);
        if (fill == 'Z') {
            EXPECT_TRUE(gate.LogHas(DatedLine(">USER: " + std::string(29, 'Z'))));
        }
        call.HangUp(*gate.plugin);
        EXPECT_FALSE(Exists(gate.users + "current.user"));
    }
}

TEST(Faults, RecordDeletedOrHeldWhileTheWorkerLooks) {
    GateInstall gate;
    Call call(76);
    ASSERT_TRUE(call.Dial(*gate.plugin));
    // Held without sharing: the worker cannot read it and tries again next cycle.
    gate.WriteRecord("ivan\r\npw\r\n0\r\n");
    HANDLE held = CreateFileA((gate.users + "current.user").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Sleep(200);
    EXPECT_FALSE(gate.LogHas(">USER:"));
    CloseHandle(held);
    ASSERT_TRUE(gate.WaitLog(kExitThread, 3000));
    EXPECT_TRUE(gate.LogHas(DatedLine(">USER: ivan")));
    call.HangUp(*gate.plugin);

    // Written and deleted over and over: whatever the worker meets, it goes on.
    GateInstall again;
    Call second(77);
    ASSERT_TRUE(second.Dial(*again.plugin));
    for (int i = 0; i < 100 && !again.LogHas(">USER:"); ++i) {
        again.WriteRecord("ivan\r\npw\r\n1\r\n");
        DeleteFileA((again.users + "current.user").c_str());
    }
    second.HangUp(*again.plugin);
}

TEST(Faults, ConfigurationFarOutsideItsFormat) {
    TempDir dir("badconf");
    std::string ini = "[LOG]\r\nLOG_PATH=" + dir.Path() + "LOGS\\\r\n[OPTIONS]\r\n";
    for (int i = 0; i < 10000; ++i) ini += "KEY" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    ini += "FILE_WITH_TIME=" + std::string(1 << 20, 'x') + "\r\nTIME_FOR_REG=\x01\x02\xff\r\n";
    for (int i = 0; i < 4096; ++i) ini += static_cast<char>((i * 7) & 0xff);
    WriteAll(dir / "qv_config.ini", ini);
    PluginCopy plugin(dir.Path());
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Initialize(), static_cast<DWORD>(NO_ERROR));
    const std::string log = ReadAll(dir.Path() + "LOGS\\" + TodayShortDate() + "_log.txt");
    // A value is read up to 2047 characters; the number falls back to its default.
    EXPECT_NE(log.find("\r\nFILE_WITH_TIME=" + std::string(2047, 'x') + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("\r\nTIME_FOR_REG=5\r\n"), std::string::npos);
    EXPECT_EQ(plugin.Terminate(), static_cast<DWORD>(NO_ERROR));
}

TEST(Faults, FtpServiceThatNeverStops) {
    TestService ftp("--ignore-stop");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    GateInstall gate("TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n",
                     "FTP_ACCOUNTING_ENABLED=1\r\nFTP_SERVICE_NAME=" + ftp.Name() + "\r\n");
    Call call(78);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(call.Dial(*gate.plugin));
    gate.WriteRecord("student\r\npw\r\n0\r\n");
    // The account is written after the bounded wait, and the worker goes on.
    ASSERT_TRUE(gate.WaitLog(kExitThread, 20000));
    EXPECT_GE(GetTickCount64() - start, 9500u);
    EXPECT_NE(ReadAll(gate.usersIni).find("[student]"), std::string::npos);
    call.HangUp(*gate.plugin);
}

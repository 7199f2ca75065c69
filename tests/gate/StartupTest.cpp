// The plug-in's start-up and shut-down as the service sees them: the real
// dialgate.dll, loaded from a folder with or without a qv_config.ini.
#include <gtest/gtest.h>

#include "LogFormat.h"
#include "LogTexts.h"
#include "PluginCopy.h"
#include "TestSupport.h"

namespace {

std::string DumpLines(const std::string& currentUser, const std::string& timeFile, int regMinutes,
                      const std::string& logPath, int logEnabled = 1) {
    return "\r\nCURRENT_USER=" + currentUser + "\r\nFILE_WITH_TIME=" + timeFile +
           "\r\nTIME_FOR_REG=" + std::to_string(regMinutes) + "\r\nSHOW_VARS=1\r\nLOG_PATH=" + logPath +
           "\r\nLOG_SCREEN_ENABLED=1\r\nLOG_FILE_ENABLED=1\r\nLOG_ENABLED=" + std::to_string(logEnabled) +
           "\r\nLOG_DATE=1\r\nLOG_TIME=1\r\n____________________________________________\r\n";
}

// The build's version, as the banner names it.
const std::string kBanner = LogBanner(DG_PROJECT_VERSION);

// A plug-in folder with a configuration that keeps every file inside it.
struct Installation {
    TempDir dir{"gate"};
    std::string logs = dir / "LOGS\\";
    std::string users = dir / "users\\";
    std::string timeFile = dir / "time.txt";

    Installation() { CreateDirectoryA(users.c_str(), nullptr); }
    void Configure(const std::string& extra) {
        WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                            timeFile + "\r\n" + extra + "[LOG]\r\nLOG_PATH=" + logs + "\r\n");
    }
    std::string Log() const { return MaskTimes(ReadAll(logs + TodayShortDate() + "_log.txt")); }
};

}  // namespace

TEST(Startup, WithoutConfigurationEveryValueIsTheDefault) {
    // The default log folder's parent must exist for the folder to be created.
    CreateDirectoryA("C:\\VE_DA", nullptr);
    const std::string log = "C:\\VE_DA\\LOGS\\" + TodayShortDate() + "_log.txt";
    DeleteFileA(log.c_str());
    TempDir dir("noconf");
    {
        PluginCopy plugin(dir.Path());
        ASSERT_TRUE(plugin.Loaded());
        EXPECT_EQ(plugin.Initialize(), static_cast<DWORD>(NO_ERROR));
    }
    const std::string expected =
        DatedLine(kBanner) + DatedLine("Загрузка из файла конфигурации: " + dir.Path() + "qv_config.ini") +
        DumpLines("E:\\server\\users\\current.user", "C:\\VE_DA\\QV_USER_TIME.TXT", 5, "C:\\VE_DA\\LOGS\\") +
        DatedLine("Файл конфигурации загружен") + DatedLine("MprAdminInitializeDll - библиотека загружена");
    EXPECT_EQ(MaskTimes(ReadAll(log)), expected);
    DeleteFileA(log.c_str());
}

TEST(Startup, ShowVarsOffLeavesOnlyTheDatedLines) {
    Installation inst;
    inst.Configure("SHOW_VARS=0\r\n");
    PluginCopy plugin(inst.dir.Path());
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Initialize(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(inst.Log(), DatedLine(kBanner) +
                              DatedLine("Загрузка из файла конфигурации: " + inst.dir.Path() + "qv_config.ini") +
                              DatedLine("Файл конфигурации загружен") +
                              DatedLine("MprAdminInitializeDll - библиотека загружена"));
}

TEST(Startup, NumbersFollowTheIniRules) {
    struct Case {
        const char* options;
        int regMinutes;
        int logEnabled;
    };
    for (const Case& c : {Case{"TIME_FOR_REG=0x0A\r\n", 10, 1}, Case{"TIME_FOR_REG=ten\r\n", 5, 1},
                          Case{"TIME_FOR_REG=$1F\r\n", 31, 1}, Case{"TIME_FOR_REG=-3\r\n", -3, 1},
                          Case{"TIME_FOR_REG=99999999999\r\n", 5, 1}, Case{"TIME_FOR_REG=\r\n", 5, 1}}) {
        Installation inst;
        inst.Configure(c.options);
        PluginCopy plugin(inst.dir.Path());
        ASSERT_TRUE(plugin.Loaded());
        plugin.Initialize();
        EXPECT_NE(inst.Log().find(DumpLines(inst.users + "current.user", inst.timeFile, c.regMinutes, inst.logs,
                                            c.logEnabled)),
                  std::string::npos)
            << c.options << inst.Log();
    }
    // A switch set to 0 is listed as 0 and changes nothing else: lines are still written.
    Installation inst;
    WriteAll(inst.dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + inst.logs + "\r\nLOG_ENABLED=0\r\n[PHP]\r\nUSERS_FOLDER=" +
                                             inst.users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + inst.timeFile + "\r\n");
    PluginCopy plugin(inst.dir.Path());
    plugin.Initialize();
    EXPECT_NE(inst.Log().find(DumpLines(inst.users + "current.user", inst.timeFile, 5, inst.logs, 0)),
              std::string::npos)
        << inst.Log();
}

TEST(Startup, FolderValuesArePlainPrefixes) {
    Installation inst;
    WriteAll(inst.dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=E:\\data\r\n[LOG]\r\nLOG_PATH=" + inst.logs + "\r\n");
    PluginCopy plugin(inst.dir.Path());
    plugin.Initialize();
    EXPECT_NE(inst.Log().find("\r\nCURRENT_USER=E:\\datacurrent.user\r\n"), std::string::npos) << inst.Log();

    // A log folder without its backslash: the date is glued to its name, the
    // file lands beside it.
    TempDir dir("glued");
    WriteAll(dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + dir.Path() + "LOGS\r\n");
    PluginCopy glued(dir.Path());
    glued.Initialize();
    EXPECT_TRUE(Exists(dir.Path() + "LOGS"));
    EXPECT_NE(ReadAll(dir.Path() + "LOGS" + TodayShortDate() + "_log.txt").find("MprAdminInitializeDll"),
              std::string::npos);
}

TEST(Startup, DeepInstallationPathIsLoggedWhole) {
    TempDir root("deep");
    std::string folder = root.Path();
    for (int i = 0; i < 4; ++i) {
        folder += std::string(40, static_cast<char>('a' + i)) + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    }
    ASSERT_GT(folder.size(), 160u);
    const std::string logs = folder + "LOGS\\";
    WriteAll(folder + "qv_config.ini", "[LOG]\r\nLOG_PATH=" + logs + "\r\n[OPTIONS]\r\nSHOW_VARS=0\r\n");
    PluginCopy plugin(folder);
    ASSERT_TRUE(plugin.Loaded());
    plugin.Initialize();
    const std::string log = MaskTimes(ReadAll(logs + TodayShortDate() + "_log.txt"));
    EXPECT_NE(log.find(DatedLine("Загрузка из файла конфигурации: " + folder + "qv_config.ini")), std::string::npos)
        << log;
}

TEST(Startup, StaleUsersFilesAreRemoved) {
    Installation inst;
    inst.Configure("");
    for (const std::string& f : {inst.users + "current.user", inst.users + "current.userop", inst.timeFile})
        ASSERT_TRUE(WriteAll(f, "stale\r\n"));
    WriteAll(inst.users + "_ivan.txt", "profile\r\n");
    PluginCopy plugin(inst.dir.Path());
    plugin.Initialize();
    EXPECT_FALSE(Exists(inst.users + "current.user"));
    EXPECT_FALSE(Exists(inst.users + "current.userop"));
    EXPECT_FALSE(Exists(inst.timeFile));
    EXPECT_TRUE(Exists(inst.users + "_ivan.txt"));
}

TEST(Startup, TerminateWritesItsTwoLines) {
    Installation inst;
    inst.Configure("SHOW_VARS=0\r\n");
    PluginCopy plugin(inst.dir.Path());
    plugin.Initialize();
    const std::string before = inst.Log();
    EXPECT_EQ(plugin.Terminate(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(inst.Log(), before + DatedLine("MprAdminTerminateDll - библиотека выгружена") +
                              "****************************************************\r\n");
}

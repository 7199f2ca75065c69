// The real dialgate.dll through the stand-in: started, dialled, hung up and
// stopped as the remote-access service would drive it.
#include <gtest/gtest.h>

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

}  // namespace

TEST(RasStandinDialgate, TheRealPluginIsLoadedAndUnloadedAroundACall) {
    TempDir dir("dialgate");
    const std::string logs = dir / "LOGS\\";
    const std::string users = dir / "users\\";
    CreateDirectoryA(users.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((ExeFolder() + "dialgate.dll").c_str(), (dir / "dialgate.dll").c_str(), FALSE));
    // Everything of the plug-in's inside the folder, and no FTP service touched.
    ASSERT_TRUE(WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                                     (dir / "time.txt") + "\r\n[LOG]\r\nLOG_PATH=" + logs +
                                                     "\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=0\r\n"));
    ASSERT_EQ(Standin("register \"" + (dir / "dialgate.dll") + "\"").code, 0);

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

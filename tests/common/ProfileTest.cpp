// The one profile reader of both programs, against the system's profile
// functions: each reader's default for what is missing, the INI number rules,
// and values read as stored.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Profile.h"

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
        char name[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(folder, "cfg", 0, name), 0u);
        ini = name;
    }
    void TearDown() override { DeleteFileA(ini.c_str()); }
    void Write(const char* section, const char* key, const char* value) {
        ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, ini.c_str()));
    }
    std::string ini;
};

}  // namespace

TEST_F(Profile, MissingKeysGiveEachReadersOwnDefault) {
    namespace key = config_key;
    // The main window alone looks under C:\LINKWARD\.
    EXPECT_EQ(ReadConfigText(ini, key::kFileWithTime, ConfigReader::Plugin), "C:\\VE_DA\\QV_USER_TIME.TXT");
    EXPECT_EQ(ReadConfigText(ini, key::kFileWithTime, ConfigReader::MainWindow), "C:\\LINKWARD\\QV_USER_TIME.TXT");
    EXPECT_EQ(ReadConfigText(ini, key::kLogPath, ConfigReader::MainWindow), "C:\\LINKWARD\\LOGS\\");
    EXPECT_EQ(ReadConfigInt(ini, key::kTimeForReg, ConfigReader::Plugin), 5);
    EXPECT_EQ(ReadConfigInt(ini, key::kFtpDefaultCredit, ConfigReader::Plugin), 5000000);
    EXPECT_EQ(ReadConfigInt(ini, key::kTimeBegin, ConfigReader::MainWindow), 23);
    EXPECT_TRUE(ReadConfigBool(ini, key::kShowVars, ConfigReader::Plugin));
    EXPECT_FALSE(ReadConfigBool(ini, key::kDisableCheckWorkTime, ConfigReader::MainWindow));
    // A file that does not exist reads the same as one without the key.
    DeleteFileA(ini.c_str());
    EXPECT_EQ(ReadConfigInt(ini, key::kTimeEnd, ConfigReader::MainWindow), 7);
}

TEST_F(Profile, NumbersAndSwitchesFollowTheIniRules) {
    struct Case {
        const char* stored;
        int32_t read;
    };
    for (const Case& c : {Case{"0x0A", 10}, Case{"$10", 16}, Case{"  -3", -3}, Case{"ten", 5}, Case{"", 5},
                          Case{"2147483648", 5}}) {
        Write("OPTIONS", "TIME_FOR_REG", c.stored);
        EXPECT_EQ(ReadConfigInt(ini, config_key::kTimeForReg, ConfigReader::Plugin), c.read) << "'" << c.stored << "'";
    }
    Write("OPTIONS", "SHOW_VARS", "0");
    EXPECT_FALSE(ReadConfigBool(ini, config_key::kShowVars, ConfigReader::Plugin));
    Write("OPTIONS", "SHOW_VARS", "-2");
    EXPECT_TRUE(ReadConfigBool(ini, config_key::kShowVars, ConfigReader::Plugin));
    // A word keeps the reader's default, whichever way that default points.
    Write("GUI", "DISABLE_CHECK_WORK_TIME", "yes");
    EXPECT_FALSE(ReadConfigBool(ini, config_key::kDisableCheckWorkTime, ConfigReader::MainWindow));
}

TEST_F(Profile, TextIsReadAsStoredWithSectionAndKeyInAnyCase) {
    Write("php", "users_folder", "E:\\data");
    EXPECT_EQ(ReadConfigText(ini, config_key::kUsersFolder, ConfigReader::Plugin), "E:\\data");
    // Present but empty is empty, not the default.
    Write("LOG", "LOG_PATH", "");
    EXPECT_EQ(ReadConfigText(ini, config_key::kLogPath, ConfigReader::Plugin), "");
    const std::string longest(2047, 'x');
    Write("FTP", "FTP_DEF_ROOT", longest.c_str());
    EXPECT_EQ(ReadConfigText(ini, config_key::kFtpDefRoot, ConfigReader::Plugin), longest);
}

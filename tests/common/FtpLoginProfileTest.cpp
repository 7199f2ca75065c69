// What the login rule relies on, pinned down against the system's profile
// functions, which write users.ini: every accepted login's account is a
// section of its own that reads back whole; blanks around a login are
// trimmed away, which is why such logins are refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "FtpAccountFormat.h"

namespace {

std::string ProfileValue(const std::string& file, const std::string& section, const std::string& key) {
    char value[1024];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", value, sizeof value, file.c_str());
    return std::string(value, n);
}

class FtpLoginProfile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
        char name[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(folder, "ftp", 0, name), 0u);
        ini = name;
    }
    void TearDown() override { DeleteFileA(ini.c_str()); }
    void WriteAccount(const std::string& login, const std::string& password) {
        FtpAccountDefaults d;
        d.root = "E:\\FTP_ROOT\\";
        d.upload = "E:\\FTP_ROOT\\UPLOAD\\";
        for (const auto& [key, value] : FtpAccountKeys(login, password, d))
            ASSERT_TRUE(WritePrivateProfileStringA(login.c_str(), key.c_str(), value.c_str(), ini.c_str()));
    }
    std::string ini;
};

}  // namespace

TEST_F(FtpLoginProfile, EachAcceptedLoginIsASectionOfItsOwn) {
    const std::string logins[] = {"ivan.petrov", "ivan..petrov", "..ivan", "ivan.", "a=b", ";ivan", "иван петров"};
    for (const std::string& login : logins) {
        ASSERT_TRUE(IsAcceptableFtpLogin(login)) << login;
        WriteAccount(login, "pw-" + login);
    }
    for (const std::string& login : logins) {
        SCOPED_TRACE(login);
        EXPECT_EQ(ProfileValue(ini, login, "Login"), login);
        EXPECT_EQ(ProfileValue(ini, login, "Pass"), "pw-" + login);
        EXPECT_EQ(ProfileValue(ini, login, "Dir1"), "E:\\FTP_ROOT\\UPLOAD\\\\" + login + "'s upload\\");
    }
}

TEST_F(FtpLoginProfile, BlanksAroundASectionNameAreTrimmedSoSuchLoginsAreRefused) {
    WriteAccount("ivan", "ivans-own");
    WritePrivateProfileStringA(" ivan ", "Pass", "someone-else", ini.c_str());
    // The write landed in ivan's own account.
    EXPECT_EQ(ProfileValue(ini, "ivan", "Pass"), "someone-else");
    EXPECT_FALSE(IsAcceptableFtpLogin(" ivan"));
    EXPECT_FALSE(IsAcceptableFtpLogin("ivan "));
}

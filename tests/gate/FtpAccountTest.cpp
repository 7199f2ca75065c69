// ProvisionFtpAccount against real users.ini files: what is written, what is
// left alone, and what is refused.
#include <gtest/gtest.h>

#include "Config.h"
#include "FtpAccount.h"
#include "TestSupport.h"

namespace {

class FtpAccountTest : public ::testing::Test {
protected:
    void SetUp() override {
        GatewayConfig.ftpIniFile = ini;
        GatewayConfig.ftpDefRoot = "E:\\FTP_ROOT\\";
        GatewayConfig.ftpDefUpload = "E:\\FTP_ROOT\\UPLOAD\\";
        GatewayConfig.ftpDefaultCredit = 5000000;
        GatewayConfig.ratioUp = 1;
        GatewayConfig.ratioDown = 3;
    }
    std::string Value(const std::string& section, const std::string& key) const {
        char value[1024];
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", value, sizeof value,
                                                 ini.c_str());
        return std::string(value, n);
    }
    TempDir dir{"ftp"};
    std::string ini = dir / "users.ini";
};

const char kStudentSection[] =
    "[student]\r\nLogin=student\r\nPass=secret\r\nDir0=E:\\FTP_ROOT\\\r\nAttr0=R----LS-\r\n"
    "Dir1=E:\\FTP_ROOT\\UPLOAD\\\\student's upload\\\r\nAttr1=RW-AMLS-\r\nRatioEnabled=1\r\nRatioMethod=2\r\n"
    "RatioUp=1\r\nRatioDown=3\r\nRatioCredit=5000000\r\n";

}  // namespace

TEST_F(FtpAccountTest, NewFileHoldsOnlyTheNewSectionInOrder) {
    EXPECT_EQ(ProvisionFtpAccount({"student", "secret", "60", "Иван"}), FtpAccountResult::Written);
    EXPECT_EQ(ReadAll(ini), kStudentSection);
}

TEST_F(FtpAccountTest, OnlyTheExactLoginUserIsSkipped) {
    EXPECT_EQ(ProvisionFtpAccount({"USER", "pw"}), FtpAccountResult::SkippedUser);
    EXPECT_FALSE(Exists(ini));
    EXPECT_EQ(ProvisionFtpAccount({"user", "pw"}), FtpAccountResult::Written);
    EXPECT_EQ(Value("user", "Pass"), "pw");
}

TEST_F(FtpAccountTest, AnExistingAccountKeepsEverything) {
    const std::string before = "[other]\r\nLogin=other\r\n[student]\r\nlogin=student\r\nPass=old\r\n";
    WriteAll(ini, before);
    EXPECT_EQ(ProvisionFtpAccount({"student", "new"}), FtpAccountResult::Existing);
    EXPECT_EQ(ReadAll(ini), before);
}

TEST_F(FtpAccountTest, SectionWithoutLoginGetsAllKeysAndKeepsItsOwn) {
    WriteAll(ini, "[student]\r\nNote=kept\r\nPass=old\r\n");
    EXPECT_EQ(ProvisionFtpAccount({"student", "secret"}), FtpAccountResult::Written);
    EXPECT_EQ(Value("student", "Note"), "kept");
    EXPECT_EQ(Value("student", "Pass"), "secret");
    EXPECT_EQ(Value("student", "Login"), "student");
    EXPECT_EQ(Value("student", "RatioCredit"), "5000000");
}

TEST_F(FtpAccountTest, FolderAndNumbersComeFromTheConfiguration) {
    GatewayConfig.ftpDefUpload = "E:\\FTP_ROOT\\UPLOAD";
    GatewayConfig.ftpDefaultCredit = 256;
    EXPECT_EQ(ProvisionFtpAccount({"student", "pw"}), FtpAccountResult::Written);
    EXPECT_EQ(Value("student", "Dir1"), "E:\\FTP_ROOT\\UPLOAD\\student's upload\\");
    EXPECT_EQ(Value("student", "RatioCredit"), "256");
    EXPECT_EQ(Value("student", "RatioUp"), "1");
    EXPECT_EQ(Value("student", "RatioDown"), "3");
}

TEST_F(FtpAccountTest, ShortRecordsStillReturn) {
    EXPECT_EQ(ProvisionFtpAccount({"solo"}), FtpAccountResult::Written);
    EXPECT_EQ(Value("solo", "Pass"), "");
    EXPECT_EQ(ProvisionFtpAccount({}), FtpAccountResult::RefusedLogin);
}

TEST_F(FtpAccountTest, LoginsThatEscapeOrBreakTheFileAreRefused) {
    for (const std::string& login : {std::string(""), std::string(".."), std::string("..\\evil"),
                                     std::string("a/b"), std::string("a\\b"), std::string("[x"),
                                     std::string("x]"), std::string("tab\there"), std::string("bell\x07"),
                                     std::string("del\x7f")}) {
        EXPECT_EQ(ProvisionFtpAccount({login, "pw"}), FtpAccountResult::RefusedLogin) << login;
    }
    EXPECT_FALSE(Exists(ini));
    // Dots that do not climb are fine.
    EXPECT_EQ(ProvisionFtpAccount({"ivan.petrov", "pw"}), FtpAccountResult::Written);
}

TEST_F(FtpAccountTest, RefusedWritesAreReportedAndReturn) {
    // Held by another program without sharing (Wine lets root write read-only files).
    WriteAll(ini, "[a]\r\nx=1\r\n");
    HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ProvisionFtpAccount({"student", "pw"}), FtpAccountResult::WriteFailed);
    CloseHandle(held);
    EXPECT_EQ(ReadAll(ini), "[a]\r\nx=1\r\n");

    GatewayConfig.ftpIniFile = dir / "missing\\users.ini";
    EXPECT_EQ(ProvisionFtpAccount({"student", "pw"}), FtpAccountResult::WriteFailed);
}

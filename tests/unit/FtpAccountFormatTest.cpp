// Which logins get an FTP account: a login names a section of users.ini and
// the folder "<login>'s upload" below the upload folder.
#include "FtpAccountFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each string built with its length, so that a NUL inside counts.
std::string Bytes(const char* s, size_t n) { return std::string(s, n); }

}  // namespace

TEST(FtpLogin, LoginsThatLeaveTheFolderOrBreakTheFileAreRefused) {
    const std::string refused[] = {
        "", ".", "..", "...", "..\\evil", "a/b", "a\\b",  // the folder itself, its parent, separators
        "[x", "x]",                                       // section brackets
        "tab\there", "line\r\nLogin=x", "bell\x07", "del\x7f", Bytes("nul\0x", 5),  // control bytes
        " ivan", "ivan ", "\xA0ivan", "ivan\xA0",         // blanks the profile functions trim
        "c:", "a:stream", "a*", "a?", "a\"b", "<a>", "a|b",  // not in a Windows folder name
    };
    for (const std::string& login : refused) EXPECT_FALSE(IsAcceptableFtpLogin(login)) << "[" << login << "]";
}

TEST(FtpLogin, DotsAndSignsThatClimbNowhereAreAccepted) {
    const std::string accepted[] = {"student", "ivan.petrov", "ivan..petrov", "..ivan", "ivan.", "ivan...",
                                    "a=b",     ";ivan",       "#ivan",        "ivan petrov", "иван_петров",
                                    "USER",    "ivan's",      "a%s%n",        "x"};
    for (const std::string& login : accepted) EXPECT_TRUE(IsAcceptableFtpLogin(login)) << "[" << login << "]";
}

TEST(FtpLogin, DoubleDotStaysInTheLoginsOwnFolder) {
    FtpAccountDefaults d;
    d.root = "E:\\FTP_ROOT\\";
    d.upload = "E:\\FTP_ROOT\\UPLOAD";
    const auto keys = FtpAccountKeys("ivan..petrov", "pw", d);
    ASSERT_EQ(keys.size(), 11u);
    EXPECT_EQ(keys[4].first, "Dir1");
    EXPECT_EQ(keys[4].second, "E:\\FTP_ROOT\\UPLOAD\\ivan..petrov's upload\\");
}

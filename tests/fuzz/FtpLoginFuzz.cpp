// The FTP login comes from the first line of current.user, which the
// registration site writes. It names a section of the FTP server's users.ini
// and a folder under the upload folder, so an accepted login must be unable to
// leave that folder or break the file; and a new account's keys must always be
// the same eleven, in the same order, whatever the values.
//
// Input: the three numbers from the end of the data, then login, password,
// root and upload folder as FuzzedDataProvider strings (a lone backslash ends
// each, a doubled one is a backslash).
#include "FtpAccountFormat.h"
#include "FuzzCheck.h"
#include "IniFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

bool HasForbiddenByte(std::string_view login) {
    for (char c : login) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || std::string_view("\\/[]:*?\"<>|").find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

bool OnlyDots(std::string_view login) {
    for (char c : login)
        if (c != '.') return false;
    return true;
}

bool BlankAtAnEnd(std::string_view login) {
    auto blank = [](char c) { return c == ' ' || static_cast<unsigned char>(c) == 0xA0; };
    return !login.empty() && (blank(login.front()) || blank(login.back()));
}

void CheckNumberKey(const std::pair<std::string, std::string>& key, int32_t expected, const std::string& shown) {
    int32_t value = 0;
    FUZZ_CHECK(ParseIniInt(key.second, value));
    FUZZ_CHECK_EQ(expected, value, shown + " key " + key.first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    FtpAccountDefaults defaults;
    defaults.credit = provider.ConsumeIntegral<int32_t>();
    defaults.ratioUp = provider.ConsumeIntegral<int32_t>();
    defaults.ratioDown = provider.ConsumeIntegral<int32_t>();
    const std::string login = provider.ConsumeRandomLengthString(128);
    const std::string password = provider.ConsumeRandomLengthString(128);
    defaults.root = provider.ConsumeRandomLengthString(128);
    defaults.upload = provider.ConsumeRandomLengthString(128);
    const std::string shown = "login " + fuzz::Shown(login);

    // Accepted exactly when nothing in the login could escape or break: not
    // empty, not dots alone, no blank at either end, no path separator or
    // character Windows refuses in a folder name, no section bracket, no
    // control byte. Everything else, ".." between letters and Windows-1251
    // letters included, is a valid login.
    const bool acceptable = !login.empty() && !OnlyDots(login) && !BlankAtAnEnd(login) && !HasForbiddenByte(login);
    FUZZ_CHECK_EQ(acceptable, IsAcceptableFtpLogin(login), shown);

    const auto keys = FtpAccountKeys(login, password, defaults);
    static const char* const names[] = {"Login",  "Pass",         "Dir0",        "Attr0",   "Dir1",       "Attr1",
                                        "RatioEnabled", "RatioMethod", "RatioUp", "RatioDown", "RatioCredit"};
    FUZZ_CHECK_EQ(size_t(11), keys.size(), shown);
    for (size_t i = 0; i < 11; ++i) FUZZ_CHECK_EQ(std::string(names[i]), keys[i].first, shown);
    FUZZ_CHECK_EQ(login, keys[0].second, shown);
    FUZZ_CHECK_EQ(password, keys[1].second, shown);
    FUZZ_CHECK_EQ(defaults.root, keys[2].second, shown);
    FUZZ_CHECK_EQ(std::string("R----LS-"), keys[3].second, shown);
    FUZZ_CHECK_EQ(defaults.upload + "\\" + login + "'s upload\\", keys[4].second, shown);
    FUZZ_CHECK_EQ(std::string("RW-AMLS-"), keys[5].second, shown);
    FUZZ_CHECK_EQ(std::string("1"), keys[6].second, shown);
    FUZZ_CHECK_EQ(std::string("2"), keys[7].second, shown);
    // The FTP server reads the numbers back by the INI rule.
    CheckNumberKey(keys[8], defaults.ratioUp, shown);
    CheckNumberKey(keys[9], defaults.ratioDown, shown);
    CheckNumberKey(keys[10], defaults.credit, shown);

    if (acceptable) {
        // The login's folder is one level below the upload folder.
        const std::string folder = keys[4].second.substr(defaults.upload.size() + 1);
        FUZZ_CHECK_EQ(folder.size() - 1, folder.find('\\'), shown);
    }
    return 0;
}

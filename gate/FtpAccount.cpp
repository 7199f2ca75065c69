#include "FtpAccount.h"

#include <windows.h>

#include "Config.h"
#include "FtpAccountFormat.h"
#include "UserFilesFormat.h"

namespace {

// Whether the section holds a key named Login, in any letter case, as the
// profile functions compare key names.
bool HasLoginKey(const std::string& file, const std::string& section) {
    std::string keys(4096, '\0');
    for (;;) {
        const DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, "", &keys[0],
                                                 static_cast<DWORD>(keys.size()), file.c_str());
        if (n + 2 < keys.size() || keys.size() >= (1u << 24)) {
            keys.resize(n);
            break;
        }
        keys.assign(keys.size() * 2, '\0');
    }
    for (size_t pos = 0; pos < keys.size();) {
        const size_t end = keys.find('\0', pos);
        const std::string key = keys.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (lstrcmpiA(key.c_str(), "Login") == 0) return true;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return false;
}

}  // namespace

FtpAccountResult ProvisionFtpAccount(const GatewayConfigRecord& c, const std::vector<std::string>& record) {
    const std::string login = LineOrEmpty(record, 1);
    if (login == "USER") return FtpAccountResult::SkippedUser;
    if (!IsAcceptableFtpLogin(login)) return FtpAccountResult::RefusedLogin;

    if (HasLoginKey(c.ftpIniFile, login)) return FtpAccountResult::Existing;

    FtpAccountDefaults defaults;
    defaults.root = c.ftpDefRoot;
    defaults.upload = c.ftpDefUpload;
    defaults.credit = c.ftpDefaultCredit;
    defaults.ratioUp = c.ratioUp;
    defaults.ratioDown = c.ratioDown;
    for (const auto& [key, value] : FtpAccountKeys(login, LineOrEmpty(record, 2), defaults)) {
        if (!WritePrivateProfileStringA(login.c_str(), key.c_str(), value.c_str(), c.ftpIniFile.c_str()))
            return FtpAccountResult::WriteFailed;
    }
    return FtpAccountResult::Written;
}

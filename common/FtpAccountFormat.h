// What an FTP account in the FTP server's users.ini holds, and which logins
// may have one. Platform-free: the plug-in writes the keys.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A login names a section of users.ini and a folder under the upload folder:
// one that is empty, could leave that folder or break the file gets no account.
bool IsAcceptableFtpLogin(std::string_view login);

// The eleven keys of a new account, in the order they are written.
struct FtpAccountDefaults {
    std::string root;    // FTP_DEF_ROOT
    std::string upload;  // FTP_DEF_UPLOAD
    int32_t credit = 5000000;
    int32_t ratioUp = 1;
    int32_t ratioDown = 3;
};
std::vector<std::pair<std::string, std::string>> FtpAccountKeys(std::string_view login, std::string_view password,
                                                                 const FtpAccountDefaults& defaults);

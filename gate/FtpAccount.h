// Opening the caller's account on the FTP server: a section in its users.ini.
#pragma once
#include <string>
#include <vector>

#include "Config.h"

enum class FtpAccountResult {
    Written,         // the eleven keys are in the file
    Existing,        // the section already has a Login: the account stays as it is
    SkippedUser,     // the login "USER" never gets an account
    RefusedLogin,    // a login that could leave its folder or break the file
    WriteFailed,     // the file refused a key; the keys before it stay
};

// `record` is the current-user file as a list of lines (login, password, ...),
// read in the same cycle as the worker's own read of it; `c` names the users.ini
// and the account's defaults.
FtpAccountResult ProvisionFtpAccount(const GatewayConfigRecord& c, const std::vector<std::string>& record);

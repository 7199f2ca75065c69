// The plug-in's configuration: read once from qv_config.ini beside the
// library when the service loads it, read-only afterwards.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

struct GatewayConfigRecord {
    std::string usersFolder;
    std::string currentUser;    // CurrentUserFile
    std::string currentUserOp;  // CurrentUserOpFile, only ever deleted
    std::string timeFile;       // UserTimeFile
    int32_t regMinutes = 5;
    bool showVars = true;
    std::string logFolder;
    bool logScreenEnabled = true;
    bool logFileEnabled = true;
    bool logEnabled = true;
    bool logDate = true;
    bool logTime = true;
    bool ftpAccounting = true;
    std::string ftpServiceName;
    std::string ftpIniFile;
    int32_t ftpDefaultCredit = 5000000;
    std::string ftpDefRoot;
    std::string ftpDefUpload;
    int32_t ratioUp = 1;
    int32_t ratioDown = 3;
};

extern HMODULE PluginModuleHandle;
extern GatewayConfigRecord GatewayConfig;

// Fills GatewayConfig from the file and logs where it looked and what it found.
void LoadGatewayConfig();

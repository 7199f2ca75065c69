// The plug-in's configuration: read once from qv_config.ini beside the
// library when the service loads it, read-only afterwards.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ConfigKeys.h"

struct GatewayConfigRecord {
    std::string usersFolder;
    std::string currentUser;    // CurrentUserFile
    std::string currentUserOp;  // CurrentUserOpFile, only ever deleted
    std::string timeFile;       // UserTimeFile
    int32_t regMinutes = ConfigDefaultNumber(config_key::kTimeForReg.pluginDefault);
    bool showVars = ConfigDefaultOn(config_key::kShowVars.pluginDefault);
    std::string logFolder;
    bool logScreenEnabled = ConfigDefaultOn(config_key::kLogScreenEnabled.pluginDefault);
    bool logFileEnabled = ConfigDefaultOn(config_key::kLogFileEnabled.pluginDefault);
    bool logEnabled = ConfigDefaultOn(config_key::kLogEnabled.pluginDefault);
    bool logDate = ConfigDefaultOn(config_key::kLogDate.pluginDefault);
    bool logTime = ConfigDefaultOn(config_key::kLogTime.pluginDefault);
    bool ftpAccounting = ConfigDefaultOn(config_key::kFtpAccountingEnabled.pluginDefault);
    std::string ftpServiceName;
    std::string ftpIniFile;
    int32_t ftpDefaultCredit = ConfigDefaultNumber(config_key::kFtpDefaultCredit.pluginDefault);
    std::string ftpDefRoot;
    std::string ftpDefUpload;
    int32_t ratioUp = 1;
    int32_t ratioDown = 3;
};

// One load's configuration, never changed once published. The service may stop
// and start the plug-in again in the same process while a worker of the
// earlier load still runs: that worker keeps the record it started under, so a
// new load never changes what it reads.
using GatewayConfigPtr = std::shared_ptr<const GatewayConfigRecord>;

// The configuration of the latest load (defaults before the first).
GatewayConfigPtr CurrentGatewayConfig();
// Makes `c` the latest load's configuration.
void PublishGatewayConfig(GatewayConfigRecord c);

// Reads qv_config.ini beside the plug-in's module `plugin`, publishes what it
// found, logs where it looked and what it found, and reports the load, with
// the plug-in's `version`, to the Application log.
void LoadGatewayConfig(HMODULE plugin, std::string_view version);

// Writes one dated or plain line into the latest load's log (see LogWriteTo).
void LogWrite(std::string_view message, bool dated) noexcept;

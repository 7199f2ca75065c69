#include "Config.h"

#include "Events.h"
#include "IniFormat.h"
#include "Log.h"
#include "Profile.h"
#include "LogFormat.h"
#include "LogTexts.h"
#include "UserFilesFormat.h"
#include "Win32Files.h"

namespace {

SRWLOCK configLock = SRWLOCK_INIT;
GatewayConfigPtr latest;

std::string Setting(const char* name, const std::string& value) { return std::string(name) + "=" + value; }
std::string Setting(const char* name, int32_t value) { return Setting(name, IniIntText(value)); }
std::string Setting(const char* name, bool value) { return Setting(name, IniIntText(value ? 1 : 0)); }

}  // namespace

GatewayConfigPtr CurrentGatewayConfig() {
    {
        SharedLock lock(configLock);
        if (latest) return latest;
    }
    static const GatewayConfigPtr defaults = std::make_shared<const GatewayConfigRecord>();
    return defaults;
}

void LogWrite(std::string_view message, bool dated) noexcept {
    try {
        LogWriteTo(CurrentGatewayConfig()->logFolder, message, dated);
    } catch (...) {
        // Out of memory: the line is lost, the caller goes on.
    }
}

void PublishGatewayConfig(GatewayConfigRecord c) {
    auto next = std::make_shared<const GatewayConfigRecord>(std::move(c));
    ExclusiveLock lock(configLock);
    latest.swap(next);
    // The earlier record is released outside the lock, by whoever holds it last.
}

void LoadGatewayConfig(HMODULE plugin, std::string_view version) {
    const std::string module = ModuleFileName(plugin);
    const std::string file = ModuleFolder(plugin) + "qv_config.ini";
    constexpr ConfigReader reader = ConfigReader::Plugin;
    namespace key = config_key;

    GatewayConfigRecord c;
    c.usersFolder = ReadConfigText(file, key::kUsersFolder, reader);
    c.currentUser = CurrentUserFileName(c.usersFolder);
    c.currentUserOp = CurrentUserOpFileName(c.usersFolder);
    c.timeFile = ReadConfigText(file, key::kFileWithTime, reader);
    c.regMinutes = ReadConfigInt(file, key::kTimeForReg, reader);
    c.showVars = ReadConfigBool(file, key::kShowVars, reader);
    c.logFolder = ReadConfigText(file, key::kLogPath, reader);
    c.logScreenEnabled = ReadConfigBool(file, key::kLogScreenEnabled, reader);
    c.logFileEnabled = ReadConfigBool(file, key::kLogFileEnabled, reader);
    c.logEnabled = ReadConfigBool(file, key::kLogEnabled, reader);
    c.logDate = ReadConfigBool(file, key::kLogDate, reader);
    c.logTime = ReadConfigBool(file, key::kLogTime, reader);
    c.ftpAccounting = ReadConfigBool(file, key::kFtpAccountingEnabled, reader);
    c.ftpServiceName = ReadConfigText(file, key::kFtpServiceName, reader);
    c.ftpIniFile = ReadConfigText(file, key::kFtpIniFile, reader);
    c.ftpDefaultCredit = ReadConfigInt(file, key::kFtpDefaultCredit, reader);
    c.ftpDefRoot = ReadConfigText(file, key::kFtpDefRoot, reader);
    c.ftpDefUpload = ReadConfigText(file, key::kFtpDefUpload, reader);
    c.ratioUp = 1;
    c.ratioDown = 3;
    PublishGatewayConfig(c);

    // In the Application log before any line: a log that cannot be written
    // reports itself after the plug-in that writes it.
    ReportPluginLoaded(version, module, file, c.logFolder);
    if (!FileExists(file)) ReportConfigMissing(file);

    // Only now is the log folder known.
    LogWrite(LogBanner(version), true);
    LogWrite(std::string(log_text::kConfigLoadFrom) + file, true);
    if (c.showVars) {
        LogWrite("\n" + Setting("CURRENT_USER", c.currentUser), false);
        LogWrite(Setting(key::kFileWithTime.key, c.timeFile), false);
        LogWrite(Setting(key::kTimeForReg.key, c.regMinutes), false);
        LogWrite(Setting(key::kShowVars.key, c.showVars), false);
        LogWrite(Setting(key::kLogPath.key, c.logFolder), false);
        LogWrite(Setting(key::kLogScreenEnabled.key, c.logScreenEnabled), false);
        LogWrite(Setting(key::kLogFileEnabled.key, c.logFileEnabled), false);
        LogWrite(Setting(key::kLogEnabled.key, c.logEnabled), false);
        LogWrite(Setting(key::kLogDate.key, c.logDate), false);
        LogWrite(Setting(key::kLogTime.key, c.logTime), false);
        LogWrite(log_text::kDumpRule, false);
    }
    LogWrite(log_text::kConfigLoaded, true);
}

#include "Config.h"

#include "IniFormat.h"
#include "Log.h"
#include "Texts.h"
#include "UserFilesFormat.h"
#include "Win32Files.h"

HMODULE PluginModuleHandle = nullptr;

namespace {

SRWLOCK configLock = SRWLOCK_INIT;
GatewayConfigPtr latest;

// Room for 2047 characters, as the file's string values are defined.
constexpr DWORD kValueBuffer = 2048;

std::string ReadString(const std::string& file, const char* section, const char* key,
                       const char* fallback) {
    char value[kValueBuffer];
    const DWORD n = GetPrivateProfileStringA(section, key, fallback, value, kValueBuffer, file.c_str());
    return std::string(value, n);
}

int32_t ReadInt(const std::string& file, const char* section, const char* key, int32_t fallback) {
    return IniIntOr(ReadString(file, section, key, ""), fallback);
}

bool ReadBool(const std::string& file, const char* section, const char* key, bool fallback) {
    return IniBoolOr(ReadString(file, section, key, ""), fallback);
}

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

void PublishGatewayConfig(GatewayConfigRecord c) {
    auto next = std::make_shared<const GatewayConfigRecord>(std::move(c));
    ExclusiveLock lock(configLock);
    latest.swap(next);
    // The earlier record is released outside the lock, by whoever holds it last.
}

void LoadGatewayConfig() {
    const std::string file = ModuleFolder(PluginModuleHandle) + "qv_config.ini";

    GatewayConfigRecord c;
    c.usersFolder = ReadString(file, "PHP", "USERS_FOLDER", "E:\\server\\users\\");
    c.currentUser = CurrentUserFileName(c.usersFolder);
    c.currentUserOp = CurrentUserOpFileName(c.usersFolder);
    c.timeFile = ReadString(file, "OPTIONS", "FILE_WITH_TIME", "C:\\VE_DA\\QV_USER_TIME.TXT");
    c.regMinutes = ReadInt(file, "OPTIONS", "TIME_FOR_REG", 5);
    c.showVars = ReadBool(file, "OPTIONS", "SHOW_VARS", true);
    c.logFolder = ReadString(file, "LOG", "LOG_PATH", "C:\\VE_DA\\LOGS\\");
    c.logScreenEnabled = ReadBool(file, "LOG", "LOG_SCREEN_ENABLED", true);
    c.logFileEnabled = ReadBool(file, "LOG", "LOG_FILE_ENABLED", true);
    c.logEnabled = ReadBool(file, "LOG", "LOG_ENABLED", true);
    c.logDate = ReadBool(file, "LOG", "LOG_DATE", true);
    c.logTime = ReadBool(file, "LOG", "LOG_TIME", true);
    c.ftpAccounting = ReadBool(file, "FTP", "FTP_ACCOUNTING_ENABLED", true);
    c.ftpServiceName = ReadString(file, "FTP", "FTP_SERVICE_NAME", "bpftpserver");
    c.ftpIniFile = ReadString(file, "FTP", "FTP_INI_FILE", "E:\\server\\bp_ftp_server\\users.ini");
    c.ftpDefaultCredit = ReadInt(file, "FTP", "FTP_DEFAULT_CREDIT", 5000000);
    c.ftpDefRoot = ReadString(file, "FTP", "FTP_DEF_ROOT", "E:\\FTP_ROOT\\");
    c.ftpDefUpload = ReadString(file, "FTP", "FTP_DEF_UPLOAD", "E:\\FTP_ROOT\\UPLOAD\\");
    c.ratioUp = 1;
    c.ratioDown = 3;
    PublishGatewayConfig(c);

    // Only now is the log folder known.
    LogWrite(text::kBanner, true);
    LogWrite(std::string(text::kConfigLoadFrom) + file, true);
    if (c.showVars) {
        LogWrite("\n" + Setting("CURRENT_USER", c.currentUser), false);
        LogWrite(Setting("FILE_WITH_TIME", c.timeFile), false);
        LogWrite(Setting("TIME_FOR_REG", c.regMinutes), false);
        LogWrite(Setting("SHOW_VARS", c.showVars), false);
        LogWrite(Setting("LOG_PATH", c.logFolder), false);
        LogWrite(Setting("LOG_SCREEN_ENABLED", c.logScreenEnabled), false);
        LogWrite(Setting("LOG_FILE_ENABLED", c.logFileEnabled), false);
        LogWrite(Setting("LOG_ENABLED", c.logEnabled), false);
        LogWrite(Setting("LOG_DATE", c.logDate), false);
        LogWrite(Setting("LOG_TIME", c.logTime), false);
        LogWrite(text::kDumpRule, false);
    }
    LogWrite(text::kConfigLoaded, true);
}

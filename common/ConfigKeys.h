// The keys of qv_config.ini: section, key, type, and the default of each of
// its three readers, which do not all agree (the main window looks for the
// time file and the log under C:\LINKWARD\, the others under C:\VE_DA\).
#pragma once
#include <cstdint>

enum class ConfigKind {
    Text,           // read as stored
    Integer,        // whole-number text; an unreadable value gives the default
    IntegerAsText,  // DEFAULT_TIME: an integer the settings dialog reads and shows as stored
    Switch,         // "1" or "0"; any non-zero number is on
};

enum class ConfigReader { Plugin, MainWindow, SettingsDialog };

struct ConfigKey {
    const char* section;
    const char* key;
    ConfigKind kind;
    // Defaults as the file would hold them; nullptr where that reader does
    // not read the key.
    const char* pluginDefault;
    const char* mainWindowDefault;
    const char* dialogDefault;

    constexpr const char* DefaultFor(ConfigReader reader) const {
        return reader == ConfigReader::Plugin       ? pluginDefault
               : reader == ConfigReader::MainWindow ? mainWindowDefault
                                                    : dialogDefault;
    }
};

// The table's own defaults are plain decimal numbers and "1"/"0", so that
// the records can start from them before anything is read.
constexpr int32_t ConfigDefaultNumber(const char* text) {
    int32_t value = 0;
    const bool negative = text && *text == '-';
    for (const char* c = text + (negative ? 1 : 0); c && *c; ++c) value = value * 10 + (*c - '0');
    return negative ? -value : value;
}
constexpr bool ConfigDefaultOn(const char* text) { return text && text[0] == '1'; }

namespace config_key {

using K = ConfigKind;

inline constexpr ConfigKey kUsersFolder{"PHP", "USERS_FOLDER", K::Text,
                                        "E:\\server\\users\\", "E:\\server\\users\\", "E:\\server\\users\\"};
inline constexpr ConfigKey kDefaultTime{"PHP", "DEFAULT_TIME", K::IntegerAsText, nullptr, nullptr, "30"};
inline constexpr ConfigKey kFileWithTime{"OPTIONS", "FILE_WITH_TIME", K::Text, "C:\\VE_DA\\QV_USER_TIME.TXT",
                                         "C:\\LINKWARD\\QV_USER_TIME.TXT", "C:\\VE_DA\\QV_USER_TIME.TXT"};
inline constexpr ConfigKey kTimeForReg{"OPTIONS", "TIME_FOR_REG", K::Integer, "5", nullptr, "5"};
inline constexpr ConfigKey kShowVars{"OPTIONS", "SHOW_VARS", K::Switch, "1", nullptr, "1"};
inline constexpr ConfigKey kLogPath{"LOG", "LOG_PATH", K::Text, "C:\\VE_DA\\LOGS\\", "C:\\LINKWARD\\LOGS\\",
                                    "C:\\VE_DA\\LOGS\\"};
inline constexpr ConfigKey kLogScreenEnabled{"LOG", "LOG_SCREEN_ENABLED", K::Switch, "1", nullptr, "1"};
inline constexpr ConfigKey kLogFileEnabled{"LOG", "LOG_FILE_ENABLED", K::Switch, "1", nullptr, "1"};
inline constexpr ConfigKey kLogEnabled{"LOG", "LOG_ENABLED", K::Switch, "1", nullptr, "1"};
inline constexpr ConfigKey kLogDate{"LOG", "LOG_DATE", K::Switch, "1", nullptr, nullptr};
inline constexpr ConfigKey kLogTime{"LOG", "LOG_TIME", K::Switch, "1", nullptr, nullptr};
// The settings dialog shows and writes it too (the FTP tab's check box), with
// the plug-in's default.
inline constexpr ConfigKey kFtpAccountingEnabled{"FTP", "FTP_ACCOUNTING_ENABLED", K::Switch, "1", nullptr, "1"};
// The main window's FTP line always watches "bpftpserver", whatever the file says.
inline constexpr ConfigKey kFtpServiceName{"FTP", "FTP_SERVICE_NAME", K::Text, "bpftpserver", nullptr,
                                           "bpftpserver"};
inline constexpr ConfigKey kFtpIniFile{"FTP", "FTP_INI_FILE", K::Text, "E:\\server\\bp_ftp_server\\users.ini",
                                       nullptr, "E:\\server\\bp_ftp_server\\users.ini"};
inline constexpr ConfigKey kFtpDefaultCredit{"FTP", "FTP_DEFAULT_CREDIT", K::Integer, "5000000", nullptr,
                                             "5000000"};
inline constexpr ConfigKey kFtpDefRoot{"FTP", "FTP_DEF_ROOT", K::Text, "E:\\FTP_ROOT\\", nullptr, "E:\\FTP_ROOT\\"};
inline constexpr ConfigKey kFtpDefUpload{"FTP", "FTP_DEF_UPLOAD", K::Text, "E:\\FTP_ROOT\\UPLOAD\\", nullptr,
                                         "E:\\FTP_ROOT\\UPLOAD\\"};
// Written by the dialog, read by nobody for its own use: the plug-in always
// gives new accounts the ratio 1 to 3.
inline constexpr ConfigKey kFtpDefRatioUp{"FTP", "FTP_DEF_RATIO_UP", K::Integer, nullptr, nullptr, "1"};
inline constexpr ConfigKey kFtpDefRatioDown{"FTP", "FTP_DEF_RATIO_DOWN", K::Integer, nullptr, nullptr, "3"};
inline constexpr ConfigKey kDisableCheckWorkTime{"GUI", "DISABLE_CHECK_WORK_TIME", K::Switch, nullptr, "0", "0"};
inline constexpr ConfigKey kTimeBegin{"GUI", "TIME_BEGIN", K::Integer, nullptr, "23", "23"};
inline constexpr ConfigKey kTimeEnd{"GUI", "TIME_END", K::Integer, nullptr, "7", "7"};

// Every key, for checks over the whole table.
inline constexpr const ConfigKey* kAll[] = {
    &kUsersFolder,     &kDefaultTime,  &kFileWithTime,         &kTimeForReg,     &kShowVars,
    &kLogPath,         &kLogScreenEnabled, &kLogFileEnabled,   &kLogEnabled,     &kLogDate,
    &kLogTime,         &kFtpAccountingEnabled, &kFtpServiceName, &kFtpIniFile,   &kFtpDefaultCredit,
    &kFtpDefRoot,      &kFtpDefUpload, &kFtpDefRatioUp,        &kFtpDefRatioDown, &kDisableCheckWorkTime,
    &kTimeBegin,       &kTimeEnd,
};

}  // namespace config_key

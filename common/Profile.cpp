#include "Profile.h"

#include <windows.h>

#include "IniFormat.h"

std::string ReadProfileString(const std::string& file, const char* section, const char* key, const char* fallback) {
    // Room for 2047 characters, as the file's string values are defined.
    char value[2048];
    const DWORD n = GetPrivateProfileStringA(section, key, fallback, value, sizeof value, file.c_str());
    return std::string(value, n);
}

int32_t ReadProfileInt(const std::string& file, const char* section, const char* key, int32_t fallback) {
    return IniIntOr(ReadProfileString(file, section, key, ""), fallback);
}

bool ReadProfileBool(const std::string& file, const char* section, const char* key, bool fallback) {
    return IniBoolOr(ReadProfileString(file, section, key, ""), fallback);
}

std::string ReadConfigText(const std::string& file, const ConfigKey& key, ConfigReader reader) {
    const char* fallback = key.DefaultFor(reader);
    return ReadProfileString(file, key.section, key.key, fallback ? fallback : "");
}

int32_t ReadConfigInt(const std::string& file, const ConfigKey& key, ConfigReader reader) {
    return ReadProfileInt(file, key.section, key.key, ConfigDefaultNumber(key.DefaultFor(reader)));
}

bool ReadConfigBool(const std::string& file, const ConfigKey& key, ConfigReader reader) {
    return ReadProfileBool(file, key.section, key.key, ConfigDefaultOn(key.DefaultFor(reader)));
}

// The profile file read through the platform, one key per call, full paths
// only: a missing file, section or key, and for numbers and switches an
// empty or wordy value, give the fallback.
#pragma once
#include <cstdint>
#include <string>

#include "ConfigKeys.h"

std::string ReadProfileString(const std::string& file, const char* section, const char* key, const char* fallback);
int32_t ReadProfileInt(const std::string& file, const char* section, const char* key, int32_t fallback);
bool ReadProfileBool(const std::string& file, const char* section, const char* key, bool fallback);

// A key of qv_config.ini with the given reader's default.
std::string ReadConfigText(const std::string& file, const ConfigKey& key, ConfigReader reader);
int32_t ReadConfigInt(const std::string& file, const ConfigKey& key, ConfigReader reader);
bool ReadConfigBool(const std::string& file, const ConfigKey& key, ConfigReader reader);

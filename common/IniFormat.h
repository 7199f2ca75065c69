// Whole-number and switch rules of the INI files that both programs share.
// The platform's profile functions hand back text; these decide what it means.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits
// after "$", "x", "X", "0x" or "0X". The whole text must be the number and it
// must fit a signed 32-bit integer; otherwise false and `value` is untouched.
bool ParseIniInt(std::string_view text, int32_t& value);

// The reader's view: a text that is not such a number gives the default.
int32_t IniIntOr(std::string_view text, int32_t fallback);

// A switch is read as a number with the default 1 or 0; any non-zero number is on.
bool IniBoolOr(std::string_view text, bool fallback);

// How both programs write numbers and switches: plain decimal, "1" or "0".
std::string IniIntText(int32_t value);
inline const char* IniBoolText(bool value) { return value ? "1" : "0"; }

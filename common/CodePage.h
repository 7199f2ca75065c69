// The files, the log and the INI values are Windows-1251 whatever the system
// code page; window texts are wide. Both directions of that boundary.
#pragma once
#include <string>
#include <string_view>

std::wstring FromCp1251(std::string_view text);
std::string ToCp1251(std::wstring_view text);

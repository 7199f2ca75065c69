#include "CodePage.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

std::wstring FromCp1251(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
    const int n = MultiByteToWideChar(1251, 0, text.data(), size, nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(1251, 0, text.data(), size, &wide[0], n);
    return wide;
}

std::string ToCp1251(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
    const int n = WideCharToMultiByte(1251, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(n, '\0');
    WideCharToMultiByte(1251, 0, text.data(), size, &narrow[0], n, nullptr, nullptr);
    return narrow;
}

#include "MenuKeys.h"

namespace {

// Upper case of the letters the menus begin with: Latin and Cyrillic.
wchar_t Upper(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - L'a' + L'A');
    if (c >= 0x0430 && c <= 0x044F) return static_cast<wchar_t>(c - 0x20);  // а..я
    if (c >= 0x0450 && c <= 0x045F) return static_cast<wchar_t>(c - 0x50);  // ѐ..џ, ё among them
    return c;
}

}  // namespace

MenuLetterChoice ItemForLetter(const std::vector<std::wstring>& texts, wchar_t letter, int current) {
    MenuLetterChoice choice;
    const int n = static_cast<int>(texts.size());
    int matches = 0;
    for (int step = 1; step <= n; ++step) {
        const int i = ((current < 0 ? -1 : current) + step) % n;
        if (texts[i].empty() || Upper(texts[i][0]) != Upper(letter)) continue;
        if (matches++ == 0) choice.item = i;
    }
    choice.only = matches == 1;
    return choice;
}

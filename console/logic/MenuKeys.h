// The keys of the console's menus. Their texts are the design's and carry no
// "&" mnemonic, so a typed letter chooses the item whose text begins with it,
// as a mnemonic would; the commands also have accelerator keys.
#pragma once
#include <string>
#include <vector>

// The item a typed letter chooses: the first whose text begins with it
// (either case) after `current`, the highlighted item or -1, coming round to
// the top; `only` when no other item begins with it, which then carries the
// item out rather than only highlighting it. -1 when none does. An empty
// text (a separator, a disabled item) is never chosen.
struct MenuLetterChoice {
    int item = -1;
    bool only = false;
};
MenuLetterChoice ItemForLetter(const std::vector<std::wstring>& texts, wchar_t letter, int current);

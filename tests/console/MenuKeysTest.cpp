// A typed letter in a menu whose texts carry no mnemonics.
#include <gtest/gtest.h>

#include "MenuKeys.h"

namespace {

TEST(MenuKeys, ALetterChoosesTheNextItemItBeginsInEitherCaseAndCarriesOutTheOnlyOne) {
    const std::vector<std::wstring> more{L"RAS-SERVER", L"WEB-SERVER", L"", L"Соединения за день..."};
    MenuLetterChoice c = ItemForLetter(more, L'с', -1);
    EXPECT_EQ(c.item, 3);
    EXPECT_TRUE(c.only);
    c = ItemForLetter(more, L'w', 0);
    EXPECT_EQ(c.item, 1);
    EXPECT_TRUE(c.only);
    // "FTP-SERVER" is disabled: given as empty, never chosen.
    EXPECT_EQ(ItemForLetter(more, L'F', -1).item, -1);

    // Several begin with it: each press highlights the next, coming round.
    const std::vector<std::wstring> tray{L"Очистить лог", L"О программе ..", L"Справка", L"Соединения за день...",
                                         L"Выход"};
    c = ItemForLetter(tray, L'О', -1);
    EXPECT_EQ(c.item, 0);
    EXPECT_FALSE(c.only);
    EXPECT_EQ(ItemForLetter(tray, L'о', 0).item, 1);
    EXPECT_EQ(ItemForLetter(tray, L'о', 1).item, 0);
    EXPECT_EQ(ItemForLetter(tray, L'с', 2).item, 3);
    EXPECT_EQ(ItemForLetter({L"?"}, L'?', -1).item, 0);
}

}  // namespace

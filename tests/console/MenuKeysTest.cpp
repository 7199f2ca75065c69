// A typed letter in a menu whose texts carry no mnemonics.
#include <gtest/gtest.h>

#include "MenuKeys.h"

namespace {

TEST(MenuKeys, ALetterChoosesTheNextItemItBeginsInEitherCaseAndCarriesOutTheOnlyOne) {
    // "FTP-SERVER" is disabled: given as empty, never chosen.
    const std::vector<std::wstring> more{L"RAS-SERVER", L"WEB-SERVER", L"", L"Соединения за день..."};
    EXPECT_EQ(ItemForLetter(more, L'с', -1).item, 3);
    EXPECT_TRUE(ItemForLetter(more, L'w', 0).only);
    EXPECT_EQ(ItemForLetter(more, L'F', -1).item, -1);
    // Several begin with it: each press highlights the next, coming round.
    const std::vector<std::wstring> tray{L"Очистить лог", L"О программе ..", L"Справка", L"Выход"};
    EXPECT_FALSE(ItemForLetter(tray, L'О', -1).only);
    EXPECT_EQ(ItemForLetter(tray, L'о', 0).item, 1);
    EXPECT_EQ(ItemForLetter(tray, L'о', 1).item, 0);
}

}  // namespace

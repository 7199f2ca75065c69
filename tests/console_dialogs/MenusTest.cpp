// The main window's menu bar, built in this process (menus cannot be read
// from another process under Wine): the day's connections item sits at the
// end of "Дополнительно", after the disabled "FTP-SERVER", the balloons'
// switch before "Выход", the rest of the bar is as it was; and, the design's
// texts having no mnemonics, every command has its key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Ids.h"
#include "Report.h"
#include "TestSupport.h"
#include "UiDriver.h"
#include "Unit1.h"
#include "Win32Files.h"

namespace {

std::wstring ItemText(HMENU menu, UINT position) {
    wchar_t text[128] = L"";
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

// Without the keys shown after a tab; every enabled command has one.
std::vector<std::wstring> ItemTexts(HMENU menu) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const std::wstring text = ItemText(menu, static_cast<UINT>(i));
        texts.push_back(text.substr(0, text.find(L'\t')));
        const bool command = !GetSubMenu(menu, i) && !(GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED);
        EXPECT_TRUE(!command || text.find(L'\t') != std::wstring::npos) << ui::ToUtf8(text) << " has no key";
    }
    return texts;
}

TEST(MainMenu, DaysConnectionsFollowFtpServerInMoreAndNothingElseMoves) {
    TempDir dir("menu");
    WriteWholeFile(dir / "qv_config.ini", "[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n[LOG]\r\nLOG_PATH=" +
                                              (dir / "logs\\") + "\r\n");
    TForm1* form = TForm1::Create(GetModuleHandleW(nullptr), dir.Path());
    ASSERT_TRUE(form);
    HMENU bar = GetMenu(form->Handle());
    EXPECT_EQ(ItemTexts(bar), (std::vector<std::wstring>{L"Опции", L"Дополнительно", L"?"}));
    HMENU more = GetSubMenu(bar, 1);
    EXPECT_EQ(ItemTexts(more),
              (std::vector<std::wstring>{L"RAS-SERVER", L"WEB-SERVER", L"FTP-SERVER", L"Соединения за день..."}));
    EXPECT_EQ(GetMenuItemID(more, 3), static_cast<UINT>(ids::N19));
    EXPECT_EQ(GetMenuState(more, 3, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_NE(GetMenuState(more, 2, MF_BYPOSITION) & MF_GRAYED, 0u) << "FTP-SERVER stays disabled";
    EXPECT_EQ(ItemTexts(GetSubMenu(bar, 0)),
              (std::vector<std::wstring>{L"Настройки ini-конфига (qv_config.ini)", L"Информация о пользователе",
                                         L"Всплывающие уведомления", L"Выход"}));
    EXPECT_EQ(ItemTexts(GetSubMenu(bar, 2)), (std::vector<std::wstring>{L"Справка ...", L"О программе"}));
    for (int service : {0, 1}) ItemTexts(GetSubMenu(more, service));  // their keys

    // The item opens the window, with today's day offered.
    SendMessageW(form->Handle(), WM_COMMAND, ids::N19, 0);
    ASSERT_TRUE(form->Form5);
    EXPECT_TRUE(IsWindowVisible(form->Form5->Handle()));

    // Ctrl+T works the watch's tool button; Alt+Д opens "Дополнительно", the one item beginning with it.
    const bool before = ui::ToolButtonChecked(form->Handle(), ids::ToolBar1, ids::ToolButton2);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG press{form->Handle(), WM_KEYDOWN, 'T', 1, 0, {}};
    EXPECT_TRUE(form->TranslateAccelerator(&press));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(form->WorkTimeCheckDisabled, !before);
    EXPECT_EQ(SendMessageW(form->Handle(), WM_MENUCHAR, MAKEWPARAM(L'д', MF_POPUP), reinterpret_cast<LPARAM>(bar)),
              MAKELRESULT(1, MNC_EXECUTE));
    DestroyWindow(form->Handle());
    // The main window ends the program's loop when it goes: that quit is not for the tests after this one.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace

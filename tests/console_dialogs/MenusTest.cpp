// The main window's menu bar, built in this process (menus cannot be read
// from another process under Wine): the day's connections item sits at the
// end of "Дополнительно", after the disabled "FTP-SERVER", the balloons'
// switch before "Выход" in "Опции", the rest of the bar is as it was, and
// every command has its key.
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

// The design's texts, without the keys shown after a tab.
std::vector<std::wstring> ItemTexts(HMENU menu) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const std::wstring text = ItemText(menu, static_cast<UINT>(i));
        texts.push_back(text.substr(0, text.find(L'\t')));
    }
    return texts;
}

// One main window for the cases: its end takes Wine seconds.
class MainMenu : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir("menu");
        WriteWholeFile(*dir / "qv_config.ini", "[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n[LOG]\r\nLOG_PATH=" +
                                                   (*dir / "logs\\") + "\r\n");
        form = TForm1::Create(GetModuleHandleW(nullptr), dir->Path());
    }
    static void TearDownTestSuite() {
        if (form) DestroyWindow(form->Handle());
        // The main window ends the program's loop when it goes: that quit is not for the tests after these.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        delete dir;
    }
    static TempDir* dir;
    static TForm1* form;
};
TempDir* MainMenu::dir = nullptr;
TForm1* MainMenu::form = nullptr;

TEST_F(MainMenu, DaysConnectionsFollowFtpServerInMoreAndNothingElseMoves) {
    ASSERT_TRUE(form);
    HMENU bar = GetMenu(form->Handle());
    EXPECT_EQ(ItemTexts(bar), (std::vector<std::wstring>{L"Опции", L"Дополнительно", L"?"}));
    HMENU more = GetSubMenu(bar, 1);
    EXPECT_EQ(ItemTexts(more),
              (std::vector<std::wstring>{L"RAS-SERVER", L"WEB-SERVER", L"FTP-SERVER", L"Соединения за день..."}));
    EXPECT_EQ(GetMenuItemID(more, 3), static_cast<UINT>(ids::N19));
    EXPECT_EQ(GetMenuState(more, 3, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_NE(GetMenuState(more, 2, MF_BYPOSITION) & MF_GRAYED, 0u) << "FTP-SERVER stays disabled";
    // The balloons' switch comes before "Выход".
    EXPECT_EQ(ItemTexts(GetSubMenu(bar, 0)),
              (std::vector<std::wstring>{L"Настройки ini-конфига (qv_config.ini)", L"Информация о пользователе",
                                         L"Всплывающие уведомления", L"Выход"}));
    EXPECT_EQ(ItemTexts(GetSubMenu(bar, 2)), (std::vector<std::wstring>{L"Справка ...", L"О программе"}));

    // The item opens the window, with today's day offered.
    SendMessageW(form->Handle(), WM_COMMAND, ids::N19, 0);
    ASSERT_TRUE(form->Form5);
    EXPECT_TRUE(IsWindowVisible(form->Form5->Handle()));
    DestroyWindow(form->Form5->Handle());
}

// Every enabled command of a menu and its submenus, as "text\tkey" items.
void ExpectKeys(HMENU menu, const std::wstring& path) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const std::wstring text = ItemText(menu, static_cast<UINT>(i));
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) continue;
        if (HMENU sub = GetSubMenu(menu, i)) {
            ExpectKeys(sub, path + text + L" > ");
        } else {
            EXPECT_NE(text.find(L'\t'), std::wstring::npos) << ui::ToUtf8(path + text) << " has no key";
        }
    }
}

// Without mnemonics in the design's texts, the keyboard still reaches every
// command: by its accelerator key, shown in the menus, and by the first
// letter of an item in an open menu.
TEST_F(MainMenu, EveryCommandHasItsKeyAndATypedLetterChoosesAnItem) {
    ASSERT_TRUE(form);
    HWND hwnd = form->Handle();
    ExpectKeys(GetMenu(hwnd), L"");

    // Ctrl+T switches the working-hours watch off and on, as its tool button does.
    const bool before = ui::ToolButtonChecked(hwnd, ids::ToolBar1, ids::ToolButton2);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG press{hwnd, WM_KEYDOWN, 'T', 1, 0, {}};
    EXPECT_TRUE(form->TranslateAccelerator(&press));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_NE(ui::ToolButtonChecked(hwnd, ids::ToolBar1, ids::ToolButton2), before);
    EXPECT_EQ(form->WorkTimeCheckDisabled, !before);

    // Alt+Д opens "Дополнительно": the only item of the bar beginning with it.
    HMENU bar = GetMenu(hwnd);
    EXPECT_EQ(SendMessageW(hwnd, WM_MENUCHAR, MAKEWPARAM(L'д', MF_POPUP), reinterpret_cast<LPARAM>(bar)),
              MAKELRESULT(1, MNC_EXECUTE));
}

}  // namespace

// The settings, user information and About dialogs, created in this process
// without the main window: controls are set and buttons pressed through
// their messages, and the files, the hand-over and the texts are checked.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "About.h"
#include "ConfigKeys.h"
#include "Addinfo.h"
#include "Options.h"
#include "TestSupport.h"
#include "UiDriver.h"
#include "Win32Files.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// Any control of a dialog by its number, also those on a tab's sheet.
HWND Find(HWND root, int id) { return ui::FindControl(root, id); }

std::string Text(HWND root, int id) { return WindowText1251(Find(root, id)); }
void SetText(HWND root, int id, std::string_view cp1251) { SetWindowText1251(Find(root, id), cp1251); }
bool Checked(HWND root, int id) { return SendMessageW(Find(root, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A button press as the button itself sends it, handled by the modal loop.
void PostClick(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Find(dialog, id)));
}
// A key pressed in a control, as the modal loop receives it.
void PostKey(HWND control, WPARAM key) {
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// The file's lines without blank ones: "[SECTION]" and "KEY=VALUE".
std::vector<std::string> IniLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : ReadAll(path) + "\n") {
        if (c == '\r') continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty()) lines.push_back(line);
        line.clear();
    }
    return lines;
}

// Presses OK in every message box this thread shows, noting its text and
// whether the dialog was still shown afterwards; then presses the dialog's
// Cancel, so that its modal loop can end.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(HWND dialog) : dialog_(dialog), ui_(GetCurrentThreadId()), thread_([this] { Run(); }) {}
    ~MessageBoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::wstring> Texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }
    bool DialogStayedOpen() const { return stayedOpen_; }

private:
    // Window enumerations call back stdcall functions: named ones, since a
    // lambda converts to one only where stdcall is the default (x64).
    static BOOL CALLBACK MatchVisibleBox(HWND h, LPARAM p) {
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
        *reinterpret_cast<HWND*>(p) = h;
        return FALSE;
    }
    static BOOL CALLBACK CollectStaticText(HWND h, LPARAM p) {
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        if (lstrcmpiW(cls, L"Static") == 0) *reinterpret_cast<std::wstring*>(p) += WindowTextWide(h);
        return TRUE;
    }
    static HWND FindBox(DWORD thread) {
        HWND box = nullptr;
        EnumThreadWindows(thread, MatchVisibleBox, reinterpret_cast<LPARAM>(&box));
        return box;
    }
    static std::wstring BoxText(HWND box) {
        std::wstring text;
        EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
        return text;
    }
    void Run() {
        while (!stop_) {
            HWND box = FindBox(ui_);
            if (!box) {
                Sleep(20);
                continue;
            }
            Sleep(100);  // let it finish drawing
            {
                std::lock_guard<std::mutex> lock(mutex_);
                texts_.push_back(BoxText(box));
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            WaitFor([&] { return !IsWindow(box); }, 3000);
            Sleep(200);
            stayedOpen_ = IsWindowVisible(dialog_) != FALSE;
            PostClick(dialog_, IDCANCEL);
        }
    }
    HWND dialog_;
    DWORD ui_;
    std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::atomic<bool> stayedOpen_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct DestroyOnExit {
    HWND hwnd;
    ~DestroyOnExit() { DestroyWindow(hwnd); }
};

class Settings : public ::testing::Test {
protected:
    TempDir dir{"dlgset"};
    std::string ini = dir / "qv_config.ini";
    TForm3* form = nullptr;
    HWND dlg = nullptr;
    std::unique_ptr<DestroyOnExit> guard;

    void Open() {
        const std::string path = ini;
        form = TForm3::Create(Instance(), [path] { return path; });
        ASSERT_NE(form, nullptr);
        dlg = form->Handle();
        guard.reset(new DestroyOnExit{dlg});
    }
    void SelectTab(int index) {
        HWND tabs = Find(dlg, form3::PageControl1);
        SendMessageW(tabs, TCM_SETCURSEL, index, 0);
        NMHDR change{tabs, static_cast<UINT_PTR>(form3::PageControl1), static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(dlg, WM_NOTIFY, form3::PageControl1, reinterpret_cast<LPARAM>(&change));
    }
};

const std::vector<std::string> kAllDefaults = {
    "[OPTIONS]",
    "FILE_WITH_TIME=C:\\VE_DA\\QV_USER_TIME.TXT",
    "TIME_FOR_REG=5",
    "SHOW_VARS=1",
    "[LOG]",
    "LOG_PATH=C:\\VE_DA\\LOGS\\",
    "LOG_SCREEN_ENABLED=1",
    "LOG_FILE_ENABLED=1",
    "LOG_ENABLED=1",
    "[FTP]",
    "FTP_SERVICE_NAME=bpftpserver",
    "FTP_INI_FILE=E:\\server\\bp_ftp_server\\users.ini",
    "FTP_DEFAULT_CREDIT=5000000",
    "FTP_DEF_ROOT=E:\\FTP_ROOT\\",
    "FTP_DEF_UPLOAD=E:\\FTP_ROOT\\UPLOAD\\",
    "FTP_DEF_RATIO_UP=1",
    "FTP_DEF_RATIO_DOWN=3",
    "FTP_ACCOUNTING_ENABLED=1",
    "[PHP]",
    "DEFAULT_TIME=30",
    "USERS_FOLDER=E:\\server\\users\\",
    "[GUI]",
    "DISABLE_CHECK_WORK_TIME=0",
    "TIME_BEGIN=23",
    "TIME_END=7",
};

TEST_F(Settings, OkWithoutAConfigFileCreatesEveryKeyInSectionOrder) {
    Open();
    using namespace form3;
    EXPECT_EQ(Text(dlg, FILE_WITH_TIME), "C:\\VE_DA\\QV_USER_TIME.TXT");
    EXPECT_EQ(Text(dlg, TIME_FOR_REG), "5");
    EXPECT_EQ(Text(dlg, DEFAULT_TIME), "30");
    EXPECT_EQ(Text(dlg, FTP_DEFAULT_CREDIT), "5000000");
    EXPECT_EQ(Text(dlg, Edit1), "23");
    EXPECT_EQ(Text(dlg, Edit2), "7");
    EXPECT_TRUE(Checked(dlg, SHOW_VARS));
    EXPECT_TRUE(Checked(dlg, CheckBox1));
    EXPECT_FALSE(Checked(dlg, checkworktime));
    ASSERT_FALSE(Exists(ini));

    WorkingHours hours{true, 1, 2};
    PostClick(dlg, IDOK);
    EXPECT_TRUE(form->ShowModal(nullptr, hours));
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_EQ(IniLines(ini), kAllDefaults);
    EXPECT_FALSE(hours.disabled);
    EXPECT_EQ(hours.begin, 23);
    EXPECT_EQ(hours.end, 7);
}

TEST_F(Settings, EnterWritesNumbersConvertedAndHandsTheHoursOver) {
    ASSERT_TRUE(WriteAll(ini, "[LOG]\r\nLOG_ENABLED=5\r\nLOG_FILE_ENABLED=0\r\n"));
    Open();
    using namespace form3;
    // Disabled boxes show the file's switches and cannot be changed.
    EXPECT_TRUE(Checked(dlg, LOG_ENABLED));
    EXPECT_FALSE(Checked(dlg, LOG_FILE_ENABLED));
    EXPECT_FALSE(IsWindowEnabled(Find(dlg, LOG_ENABLED)));
    EXPECT_FALSE(IsWindowEnabled(Find(dlg, SHOW_VARS)));
    EXPECT_TRUE(IsWindowEnabled(Find(dlg, CheckBox1)));

    SetText(dlg, FTP_DEFAULT_CREDIT, "007");
    SetText(dlg, Edit1, "25");
    SetText(dlg, Edit2, " 0x0A");
    SetText(dlg, USERS_FOLDER, "D:\\Пользователи");
    SendMessageW(Find(dlg, checkworktime), BM_CLICK, 0, 0);
    SendMessageW(Find(dlg, CheckBox1), BM_CLICK, 0, 0);
    WorkingHours hours;
    PostKey(Find(dlg, FILE_WITH_TIME), VK_RETURN);
    EXPECT_TRUE(form->ShowModal(nullptr, hours));

    const std::vector<std::string> lines = IniLines(ini);
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("LOG_ENABLED=1"));
    EXPECT_TRUE(has("LOG_FILE_ENABLED=0"));
    EXPECT_TRUE(has("FTP_DEFAULT_CREDIT=7"));
    EXPECT_TRUE(has("TIME_BEGIN=25"));
    EXPECT_TRUE(has("TIME_END=10"));
    EXPECT_TRUE(has("DISABLE_CHECK_WORK_TIME=1"));
    EXPECT_TRUE(has("FTP_ACCOUNTING_ENABLED=0"));
    EXPECT_TRUE(has("USERS_FOLDER=D:\\Пользователи"));
    // The existing section keeps its place; the others follow in write order.
    EXPECT_EQ(lines.front(), "[LOG]");
    EXPECT_TRUE(hours.disabled);
    EXPECT_EQ(hours.begin, 25);
    EXPECT_EQ(hours.end, 10);
    // The controls keep the texts as typed.
    EXPECT_EQ(Text(dlg, FTP_DEFAULT_CREDIT), "007");
}

TEST_F(Settings, DefaultTimeAbcStopsWithTheConversionErrorAfterTheKeysBeforeIt) {
    ASSERT_TRUE(WriteAll(ini, "[PHP]\r\nDEFAULT_TIME=abc\r\n"));
    Open();
    EXPECT_EQ(Text(dlg, form3::DEFAULT_TIME), "abc");
    WorkingHours hours{true, 1, 2};
    bool accepted = true;
    {
        MessageBoxWatcher watcher(dlg);
        PostClick(dlg, IDOK);
        accepted = form->ShowModal(nullptr, hours);
        EXPECT_EQ(watcher.Texts(), std::vector<std::wstring>{L"'abc' is not a valid integer value"});
        EXPECT_TRUE(watcher.DialogStayedOpen());
    }
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(hours.disabled);
    EXPECT_EQ(hours.begin, 1);
    // The fifteen keys before DEFAULT_TIME, nothing from it on.
    std::vector<std::string> expected{"[PHP]", "DEFAULT_TIME=abc"};
    expected.insert(expected.end(), kAllDefaults.begin(), kAllDefaults.begin() + 18);
    EXPECT_EQ(IniLines(ini), expected);
}

TEST_F(Settings, AFileHeldByAnotherProgramGivesUnableToWrite) {
    const std::string before = "[GUI]\r\nTIME_BEGIN=1\r\n";
    ASSERT_TRUE(WriteAll(ini, before));
    Open();
    EXPECT_EQ(Text(dlg, form3::Edit1), "1");
    WorkingHours hours{true, 1, 2};
    bool accepted = true;
    {
        // Opened without sharing: no other writer gets in.
        UniqueHandle held(CreateFileA(ini.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.Valid());
        MessageBoxWatcher watcher(dlg);
        PostClick(dlg, IDOK);
        accepted = form->ShowModal(nullptr, hours);
        EXPECT_EQ(watcher.Texts(), std::vector<std::wstring>{L"Unable to write to " + std::wstring(ini.begin(), ini.end())});
        EXPECT_TRUE(watcher.DialogStayedOpen());
    }
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(hours.disabled);
    EXPECT_EQ(ReadAll(ini), before);
}

TEST_F(Settings, CancelEscapeAndTheCloseBoxWriteNothingAndKeepEntriesAndTab) {
    Open();
    using namespace form3;
    SetText(dlg, FILE_WITH_TIME, "X:\\время.txt");
    SelectTab(2);
    WorkingHours hours{true, 1, 2};
    PostClick(dlg, IDCANCEL);
    EXPECT_FALSE(form->ShowModal(nullptr, hours));

    PostMessageW(dlg, WM_CLOSE, 0, 0);
    EXPECT_FALSE(form->ShowModal(nullptr, hours));

    PostKey(Find(dlg, FTP_INI_FILE), VK_ESCAPE);
    EXPECT_FALSE(form->ShowModal(nullptr, hours));

    EXPECT_FALSE(Exists(ini));
    EXPECT_TRUE(hours.disabled);
    EXPECT_EQ(hours.begin, 1);
    EXPECT_EQ(Text(dlg, FILE_WITH_TIME), "X:\\время.txt");
    EXPECT_EQ(SendMessageW(Find(dlg, PageControl1), TCM_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(GetWindowLongW(Find(dlg, TabSheet3), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongW(Find(dlg, TabSheet1), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(Settings, SpinnersMoveByOneWithArrowsAndKeysWithoutBounds) {
    Open();
    using namespace form3;
    HWND edit = Find(dlg, TIME_FOR_REG);
    auto key = [&](WPARAM k) {
        SendMessageW(edit, WM_KEYDOWN, k, 1);
        SendMessageW(edit, WM_KEYUP, k, 0xC0000001);
    };
    key(VK_UP);
    EXPECT_EQ(Text(dlg, TIME_FOR_REG), "6");
    key(VK_DOWN);
    key(VK_DOWN);
    EXPECT_EQ(Text(dlg, TIME_FOR_REG), "4");
    SetText(dlg, TIME_FOR_REG, "-1");
    key(VK_UP);
    key(VK_UP);
    EXPECT_EQ(Text(dlg, TIME_FOR_REG), "1");
    SetText(dlg, TIME_FOR_REG, "1000");
    key(VK_UP);
    EXPECT_EQ(Text(dlg, TIME_FOR_REG), "1001");

    // The arrows: a click in the upper half adds one, in the lower half subtracts.
    HWND arrows = Find(dlg, FTP_DEF_RATIO_DOWN_Arrows);
    RECT r;
    GetClientRect(arrows, &r);
    auto click = [&](int y) {
        SendMessageW(arrows, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, y));
        SendMessageW(arrows, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, y));
    };
    click(r.bottom / 4);
    EXPECT_EQ(Text(dlg, FTP_DEF_RATIO_DOWN), "4");
    click(r.bottom * 3 / 4);
    click(r.bottom * 3 / 4);
    EXPECT_EQ(Text(dlg, FTP_DEF_RATIO_DOWN), "2");
    SetText(dlg, FTP_DEF_RATIO_DOWN, "abc");
    click(r.bottom / 4);
    EXPECT_EQ(Text(dlg, FTP_DEF_RATIO_DOWN), "1");
}

// The main window's timers are window timers: they fire only while some
// message loop dispatches them.
int g_ownerTicks = 0;
bool g_ownerDisabledWhileOpen = false;
HWND g_dialogToCancel = nullptr;
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        ++g_ownerTicks;
        g_ownerDisabledWhileOpen = !IsWindowEnabled(hwnd);
        if (g_ownerTicks == 3) PostClick(g_dialogToCancel, IDCANCEL);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(Settings, TheOwnersTimersKeepFiringWhileItIsOpen) {
    Open();
    WNDCLASSW wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = Instance();
    wc.lpszClassName = L"DialogsTestOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowW(L"DialogsTestOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               Instance(), nullptr);
    ASSERT_NE(owner, nullptr);
    DestroyOnExit ownerGuard{owner};
    g_dialogToCancel = dlg;
    SetTimer(owner, 1, 50, nullptr);
    WorkingHours hours;
    EXPECT_FALSE(form->ShowModal(owner, hours));
    KillTimer(owner, 1);
    EXPECT_GE(g_ownerTicks, 3);
    EXPECT_TRUE(g_ownerDisabledWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), owner);
}

LRESULT CALLBACK ClosingOwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        KillTimer(hwnd, wParam);
        DestroyWindow(hwnd);  // as the main window does when "Выход" is chosen in the tray menu
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(Settings, AnOwnerClosedUnderneathOrAQuitEndsItWithoutWriting) {
    Open();
    WorkingHours hours{true, 1, 2};
    // The program asked to end: the loop gives way and leaves WM_QUIT for the program's loop.
    PostQuitMessage(3);
    EXPECT_FALSE(form->ShowModal(nullptr, hours));
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 3u);

    WNDCLASSW wc{};
    wc.lpfnWndProc = ClosingOwnerProc;
    wc.hInstance = Instance();
    wc.lpszClassName = L"DialogsTestClosingOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowW(L"DialogsTestClosingOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                               nullptr, Instance(), nullptr);
    ASSERT_NE(owner, nullptr);
    SetTimer(owner, 1, 50, nullptr);
    // The owner's end takes the dialog and its form with it.
    EXPECT_FALSE(form->ShowModal(owner, hours));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_TRUE(hours.disabled);
    EXPECT_FALSE(Exists(ini));
}

// At 100 %. The client area is at least the design's: a layout grows where a
// text in the font at hand needs more room than the design gave it.
void ExpectWindow(HWND hwnd, const wchar_t* caption, int left, int top, int clientWidth, int clientHeight) {
    EXPECT_EQ(WindowTextWide(hwnd), caption);
    RECT window, client;
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    EXPECT_EQ(window.left, left);
    EXPECT_EQ(window.top, top);
    EXPECT_GE(client.right, clientWidth);
    EXPECT_GE(client.bottom, clientHeight);
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
}

// Where a control lies within its parent (a tab's sheet or the dialog).
RECT PlaceIn(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(Settings, WindowTabsAndTabOrderAsDesigned) {
    Open();
    using namespace form3;
    ExpectWindow(dlg, L"Настройки", 303, 120, 364, 376);
    HWND tabs = Find(dlg, PageControl1);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
    const wchar_t* captions[] = {L"Общие", L"Логи", L"FTP сервер", L"GUI"};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, captions[i]);
    }
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    // Below the red warning, which wraps to more lines in a wider font.
    RECT r = PlaceIn(Find(dlg, FTP_DEFAULT_CREDIT));
    EXPECT_EQ(r.left, 6);
    EXPECT_GE(r.top, 172);
    EXPECT_EQ(r.right - r.left, 121);
    r = PlaceIn(Find(dlg, IDOK));
    EXPECT_EQ(r.left, 88);
    EXPECT_GE(r.top, 344);
    EXPECT_EQ(Text(dlg, Label6), "Внимание !!! Сначала убедитесь, что папка существует !!!");
    EXPECT_EQ(Text(dlg, CheckBox1), "Включить заведение аккаунтов на FTP");

    SelectTab(2);
    std::vector<int> order;
    HWND at = Find(dlg, FTP_INI_FILE);
    for (int i = 0; i < 9 && at; ++i) {
        order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(dlg, at, FALSE);
    }
    const std::vector<int> expected{FTP_INI_FILE,       FTP_SERVICE_NAME, FTP_DEFAULT_CREDIT,
                                    FTP_DEF_ROOT,       FTP_DEF_UPLOAD,   FTP_DEF_RATIO_UP,
                                    FTP_DEF_RATIO_DOWN, CheckBox1,        IDOK};
    EXPECT_EQ(order, expected);
}

class UserInfo : public ::testing::Test {
protected:
    TempDir dir{"dlguser"};
    TForm2* form = nullptr;
    HWND dlg = nullptr;
    std::unique_ptr<DestroyOnExit> guard;

    void SetUp() override {
        form = TForm2::Create(Instance());
        ASSERT_NE(form, nullptr);
        dlg = form->Handle();
        guard.reset(new DestroyOnExit{dlg});
    }
    void Show() {
        PostClick(dlg, IDOK);
        form->ShowModal(nullptr, dir.Path());
    }
    std::vector<std::string> Fields() {
        std::vector<std::string> fields;
        for (int i = 0; i < 10; ++i) fields.push_back(Text(dlg, form2::StaticText1 + i));
        return fields;
    }
};

TEST_F(UserInfo, FieldsOfATenAnElevenAndAThreeLineRecord) {
    ExpectWindow(dlg, L"Информация о пользователе ...", 300, 183, 435, 345);
    ASSERT_TRUE(WriteAll(dir / "current.user",
                         "ivan\r\nqw&rty\r\n45\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n"));
    Show();
    EXPECT_EQ(Text(dlg, form2::Edit1), dir / "current.user");
    const std::vector<std::string> ten{"НИК: ivan",        "ПАРОЛЬ: qw&rty",   "ЛИМИТ: 45",
                                       "ИМЯ: Иван",        "ФАМИЛИЯ: Петров",  "ВОЗРАСТ: 19",
                                       "МЕСТО УЧЕБЫ: МГУ", "ТЕЛЕФОН: 5551234", "E-MAIL: ivan@example.org",
                                       "ICQ: 123456"};
    EXPECT_EQ(Fields(), ten);
    // The left column top to bottom, then the right one.
    EXPECT_EQ(PlaceIn(Find(dlg, form2::StaticText5)).top, 168);
    EXPECT_EQ(PlaceIn(Find(dlg, form2::StaticText6)).left, 224);
    EXPECT_EQ(PlaceIn(Find(dlg, form2::StaticText6)).top, 40);

    ASSERT_TRUE(WriteAll(dir / "current.user", "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\n"));
    Show();
    const std::vector<std::string> eleven{"НИК: a",    "ПАРОЛЬ: b",  "ЛИМИТ: c",   "ИМЯ: d",     "ФАМИЛИЯ: e",
                                          "ВОЗРАСТ: f", "МЕСТО УЧЕБЫ: g", "ТЕЛЕФОН: h", "E-MAIL: i", "ICQ: j"};
    EXPECT_EQ(Fields(), eleven);

    ASSERT_TRUE(WriteAll(dir / "current.user", "petr\rsecret\r60"));
    Show();
    const std::vector<std::string> three{"НИК: petr",  "ПАРОЛЬ: secret", "ЛИМИТ: 60",  "ИМЯ: ",   "ФАМИЛИЯ: ",
                                         "ВОЗРАСТ: ", "МЕСТО УЧЕБЫ: ",  "ТЕЛЕФОН: ", "E-MAIL: ", "ICQ: "};
    EXPECT_EQ(Fields(), three);
}

TEST_F(UserInfo, ProfileTextIsShownAndClearedWhenTheUserHasNone) {
    ASSERT_TRUE(WriteAll(dir / "current.user", "ivan\r\np\r\n45\r\n"));
    ASSERT_TRUE(WriteAll(dir / "_ivan.txt", "Первая строка\r\nвторая\nтретья"));
    Show();
    EXPECT_EQ(Text(dlg, form2::Memo1), "Первая строка\r\nвторая\r\nтретья");

    // Typing and ОК save nothing.
    SetText(dlg, form2::Memo1, "чужой текст");
    SetText(dlg, form2::Edit1, "C:\\other");
    Show();
    EXPECT_EQ(Text(dlg, form2::Memo1), "Первая строка\r\nвторая\r\nтретья");
    EXPECT_EQ(ReadAll(dir / "_ivan.txt"), "Первая строка\r\nвторая\nтретья");
    EXPECT_EQ(ReadAll(dir / "current.user"), "ivan\r\np\r\n45\r\n");

    ASSERT_TRUE(WriteAll(dir / "current.user", "petr\r\np\r\n60\r\n"));
    Show();
    EXPECT_EQ(Text(dlg, form2::StaticText1), "НИК: petr");
    EXPECT_EQ(Text(dlg, form2::Memo1), "");

    // A record gone between the command and the showing: the new path, the rest as it was.
    DeleteFileA((dir / "current.user").c_str());
    PostClick(dlg, IDCANCEL);
    form->ShowModal(nullptr, dir / "sub\\");
    EXPECT_EQ(Text(dlg, form2::Edit1), dir / "sub\\current.user");
    EXPECT_EQ(Text(dlg, form2::StaticText1), "НИК: petr");
}

TEST_F(UserInfo, TheTextAreaHasTheScrollBarColour) {
    HWND memo = Find(dlg, form2::Memo1);
    HDC dc = CreateCompatibleDC(nullptr);
    const LRESULT brush = SendMessageW(dlg, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(memo));
    const COLORREF background = GetBkColor(dc);
    DeleteDC(dc);
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR)));
    EXPECT_EQ(background, GetSysColor(COLOR_SCROLLBAR)) << std::hex << GetSysColor(COLOR_SCROLLBAR);
}

TEST_F(UserInfo, TabLeavesTheTextAreaForTheNextControl) {
    ShowWindow(dlg, SW_SHOW);
    HWND memo = Find(dlg, form2::Memo1);
    SetFocus(memo);
    MSG tab{memo, WM_KEYDOWN, VK_TAB, 1, 0, {}};
    IsDialogMessageW(dlg, &tab);
    EXPECT_EQ(GetFocus(), Find(dlg, form2::Button1));
}

TEST_F(UserInfo, TheCloseBoxClosesIt) {
    ASSERT_TRUE(WriteAll(dir / "current.user", "ivan\r\n"));
    PostMessageW(dlg, WM_CLOSE, 0, 0);
    form->ShowModal(nullptr, dir.Path());
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(IsWindow(dlg));
}

TEST(About, ShowsTheSameTextEachTimeAndClosesByOkEnterEscAndTheCloseBox) {
    TForm4* form = TForm4::Create(Instance());
    ASSERT_NE(form, nullptr);
    HWND dlg = form->Handle();
    DestroyOnExit guard{dlg};
    ExpectWindow(dlg, L"О программе \"RA DIVAD IROR\" v0.1", 222, 290, 305, 183);
    const std::string text = Text(dlg, form4::StaticText1);
    EXPECT_NE(text.find("RA DIVAD IROR"), std::string::npos);
    EXPECT_EQ(Text(dlg, form4::BitBtn1), "OK");
    RECT r = PlaceIn(Find(dlg, form4::StaticText1));
    EXPECT_EQ(r.right - r.left, 289);
    EXPECT_EQ(r.bottom - r.top, 137);

    PostClick(dlg, form4::BitBtn1);
    form->ShowModal(nullptr);
    EXPECT_FALSE(IsWindowVisible(dlg));
    PostKey(Find(dlg, form4::BitBtn1), VK_RETURN);
    form->ShowModal(nullptr);
    PostMessageW(dlg, WM_CLOSE, 0, 0);
    form->ShowModal(nullptr);
    EXPECT_EQ(Text(dlg, form4::StaticText1), text);
    // Esc closes it as well: the close box's message posted after the key is still waiting.
    PostKey(Find(dlg, form4::BitBtn1), VK_ESCAPE);
    PostMessageW(dlg, WM_CLOSE, 0, 0);
    form->ShowModal(nullptr);
    MSG left;
    EXPECT_TRUE(PeekMessageW(&left, dlg, WM_CLOSE, WM_CLOSE, PM_REMOVE)) << "Esc did not close it";
}

TEST(HelpFile, IsTheProgramsFolderWhateverTheWorkingFolder) {
    TempDir elsewhere("dlghelp");
    char previous[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));
    const std::string help = HelpFileFullName();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(help, ExeFolder() + "qv_admin.chm");
}

HWND s_pictureDialog = nullptr;

// The screenshot's time is up: the dialog closes and its modal loop ends.
void CALLBACK ClosePictureDialog(HWND, UINT, UINT_PTR, DWORD) { PostMessageW(s_pictureDialog, WM_CLOSE, 0, 0); }

// Shows one dialog with sample contents for a while, for a screenshot; its
// window rectangle goes to `rectFile` first.
int ShowForPicture(const std::string& which, const std::string& rectFile) {
    TempDir dir("dlgshot");
    HWND dlg = nullptr;
    TForm2* user = nullptr;
    TForm3* settings = nullptr;
    TForm4* about = nullptr;
    std::string users;
    if (which.rfind("settings", 0) == 0) {
        const std::string ini = dir / "qv_config.ini";
        settings = TForm3::Create(Instance(), [ini] { return ini; });
        dlg = settings ? settings->Handle() : nullptr;
        // "settings2" shows the third tab, and so on.
        const int tab = which.size() > 8 ? which[8] - '0' : 0;
        if (dlg && tab > 0) {
            HWND tabs = Find(dlg, form3::PageControl1);
            SendMessageW(tabs, TCM_SETCURSEL, tab, 0);
            NMHDR change{tabs, static_cast<UINT_PTR>(form3::PageControl1), static_cast<UINT>(TCN_SELCHANGE)};
            SendMessageW(dlg, WM_NOTIFY, form3::PageControl1, reinterpret_cast<LPARAM>(&change));
        }
    } else if (which == "userinfo") {
        // The users' folder of the shipped configuration, as an administrator
        // sees it (screenshot.sh gives the picture's prefix a drive E:).
        users = config_key::kUsersFolder.DefaultFor(ConfigReader::MainWindow);
        CreateDirectoryA("E:\\server", nullptr);
        CreateDirectoryA(users.c_str(), nullptr);
        if (!WriteAll(users + "current.user",
                      "ivan_petrov\r\nqwerty12\r\n45\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n") ||
            !WriteAll(users + "_ivan_petrov.txt",
                      "Студент второго курса, факультет ВМК.\r\nИнтересы: сети, FTP, программирование.\r\n"))
            return 2;
        user = TForm2::Create(Instance());
        dlg = user ? user->Handle() : nullptr;
    } else if (which == "about") {
        about = TForm4::Create(Instance());
        dlg = about ? about->Handle() : nullptr;
    }
    if (!dlg) return 2;
    RECT r;
    GetWindowRect(dlg, &r);
    const std::string rect = std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                             std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + "\n";
    s_pictureDialog = dlg;
    SetTimer(nullptr, 0, 8000, ClosePictureDialog);
    WriteAll(rectFile, rect);
    WorkingHours hours;
    if (settings) settings->ShowModal(nullptr, hours);
    if (user) user->ShowModal(nullptr, users);
    if (about) about->ShowModal(nullptr);
    DestroyWindow(dlg);
    return 0;
}

}  // namespace

// DisplayScaleTest.cpp: the windows made and checked at this process's DPI.
int CheckDisplayScale();

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--fit") return CheckDisplayScale();
    if (argc == 4 && std::string(argv[1]) == "--show") return ShowForPicture(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

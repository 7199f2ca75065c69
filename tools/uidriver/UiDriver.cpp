#include "UiDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "Win32Handles.h"

namespace ui {

namespace {

struct TopSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

bool ClassIs(HWND window, const wchar_t* className) {
    if (!className) return true;
    wchar_t name[256];
    return GetClassNameW(window, name, 256) > 0 && lstrcmpiW(name, className) == 0;
}

BOOL CALLBACK MatchTop(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopSearch*>(param);
    if (search->processId) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != search->processId) return TRUE;
    }
    if (!ClassIs(window, search->className)) return TRUE;
    if (search->title && WindowText(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<OwnedSearch*>(param);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

template <typename Find>
HWND Wait(Find find, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND found = find()) return found;
        if (GetTickCount64() >= deadline) return nullptr;
        Sleep(20);
    }
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    TopSearch search{processId, className, nullptr, nullptr};
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopWindow(const wchar_t* className, const wchar_t* title) {
    TopSearch search{0, className, title, nullptr};
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs) {
    return Wait([&] { return FindProcessWindow(processId, className); }, timeoutMs);
}

HWND FindControl(HWND top, int id) {
    ChildSearch search{id, nullptr};
    EnumChildWindows(top, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window) {
    if (!window) return std::wstring();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return std::wstring();
    // The text may grow between the two calls; ask for a little more room.
    std::vector<wchar_t> buffer(length + 1024);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, 5000, &got))
        return std::wstring();
    return std::wstring(buffer.data(), got);
}

std::wstring ControlText(HWND top, int id) { return WindowText(FindControl(top, id)); }

bool WaitForText(HWND top, int id, const std::wstring& expected, DWORD timeoutMs) {
    return Wait([&]() -> HWND { return ControlText(top, id) == expected ? top : nullptr; }, timeoutMs) != nullptr;
}

void InvokeCommand(HWND top, int id) { PostMessageW(top, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ClickToolButton(HWND top, int toolBarId, int buttonId, bool checkStyle) {
    HWND toolBar = FindControl(top, toolBarId);
    if (checkStyle) {
        const bool pressed = SendMessageW(toolBar, TB_ISBUTTONCHECKED, buttonId, 0) != 0;
        SendMessageW(toolBar, TB_CHECKBUTTON, buttonId, MAKELONG(!pressed, 0));
    }
    PostMessageW(top, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(toolBar));
}

bool ToolButtonChecked(HWND top, int toolBarId, int buttonId) {
    return SendMessageW(FindControl(top, toolBarId), TB_ISBUTTONCHECKED, buttonId, 0) != 0;
}

HWND FindOwnedDialog(HWND owner) {
    OwnedSearch search{owner, nullptr};
    EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitOwnedDialog(HWND owner, DWORD timeoutMs) {
    return Wait([&] { return FindOwnedDialog(owner); }, timeoutMs);
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

void AnswerDialog(HWND box, int buttonId) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0); }

void CloseWindow(HWND top) { PostMessageW(top, WM_CLOSE, 0, 0); }

int ListViewRowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ListViewCell(HWND list, int row, int column) {
    constexpr int kChars = 1024;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process) return std::wstring();
    const SIZE_T bytes = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process.Get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return std::wstring();
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
    std::wstring text;
    if (WriteProcessMemory(process.Get(), remote, &item, sizeof item, nullptr)) {
        const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
        std::vector<wchar_t> buffer(kChars, L'\0');
        if (length > 0 && ReadProcessMemory(process.Get(), item.pszText, buffer.data(), kChars * sizeof(wchar_t),
                                            nullptr))
            text.assign(buffer.data(), std::min<size_t>(static_cast<size_t>(length), kChars - 1));
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return text;
}

std::vector<ListViewColumn> ListViewColumns(HWND list) {
    constexpr int kChars = 256;
    std::vector<ListViewColumn> columns;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process) return columns;
    const SIZE_T bytes = sizeof(LVCOLUMNW) + kChars * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process.Get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return columns;
    auto* text = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVCOLUMNW));
    for (int i = 0;; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = kChars;
        if (!WriteProcessMemory(process.Get(), remote, &column, sizeof column, nullptr) ||
            !SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(remote)))
            break;
        std::vector<wchar_t> heading(kChars, L'\0');
        ReadProcessMemory(process.Get(), remote, &column, sizeof column, nullptr);
        ReadProcessMemory(process.Get(), text, heading.data(), (kChars - 1) * sizeof(wchar_t), nullptr);
        // The heading's text stays where it was read to: its width is asked of the list itself.
        const int textWidth = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
        columns.push_back({heading.data(), column.cx, textWidth});
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return columns;
}

std::vector<std::wstring> ComboBoxItems(HWND combo) {
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        if (length < 0) break;
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        items.emplace_back(buffer.data());
    }
    return items;
}

bool ChooseComboBoxItem(HWND combo, const std::wstring& text) {
    const std::vector<std::wstring> items = ComboBoxItems(combo);
    const auto found = std::find(items.begin(), items.end(), text);
    if (found == items.end()) return false;
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(found - items.begin()), 0);
    PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    return true;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

}  // namespace ui

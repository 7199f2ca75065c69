// The day's connections TForm5: one row per connection of the chosen day,
// read back from the plug-in's log, the totals under them, and the CSV.
// Not modal: while it is open it follows the log once a second.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "DialogFrame.h"
#include "logic/ConnectionReport.h"

namespace form5 {
enum Control : int {
    Label1 = 1500,  // "День:"
    ComboBox1,      // the days that have a log, newest first
    Button1,        // "Обновить"
    Button2,        // "Сохранить CSV..."
    ListView1,
    StaticText1,    // the totals
};
}  // namespace form5

// Its class name, by which the test driver finds it.
inline constexpr wchar_t kReportWindowClass[] = L"TForm5";

class TForm5 {
public:
    static TForm5* Create(HINSTANCE instance, HWND owner);
    HWND Handle() const { return hwnd_; }

    // Offers the days of `logFolder` (LOG_PATH), shows today's and brings
    // the window up; an open window is brought to the front as it is.
    void Show(const std::string& logFolder);

private:
    TForm5() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void FillDays();
    // Reads the chosen day's log from its start.
    void Button1Click();
    void Button2Click();
    void ComboBox1Change();
    // Once a second: what the plug-in has appended since the last read.
    void Timer1Timer();
    void ShowRows();
    void GetDispInfo(NMLVDISPINFOW& info);
    std::string ChosenDay() const;

    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    FontPtr font_;
    std::string logFolder_;
    std::vector<std::string> days_;
    std::string shownPath_;
    std::string followedDay_;  // today's date when today is on show, else empty
    bool logFound_ = false;
    bool logRead_ = false;  // found but held by its writer: false
    ConnectionLogReader reader_;
    std::vector<ConnectionRow> rows_;
    std::wstring cellText_;  // what the list view is handed for one cell
};

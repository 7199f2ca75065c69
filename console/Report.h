// The connections report TForm5: the connections of a day, a week, a month
// or any range of days, read back from the plug-in's daily logs; or the
// totals per login; the line's period as a picture above them; the totals
// and the days without a log below; the CSV of the view shown, the picture
// to the clipboard or a PNG file. Not modal: while it is open it follows the
// logs once a second, reading only what changed.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "DialogFrame.h"
#include "ReportPicture.h"
#include "logic/LoginTotals.h"
#include "logic/OptionsLogic.h"
#include "logic/ReportPeriod.h"

namespace form5 {
enum Control : int {
    Label1 = 1500,  // "День:"
    ComboBox1,      // the days that have a log, newest first: the chosen day
    Button1,        // "Обновить"
    Button2,        // "Сохранить CSV..."
    ListView1,      // the connections, or the totals per login
    StaticText1,    // the totals
    RadioButton1,   // the period around the chosen day: "день"
    RadioButton2,   // "неделя"
    RadioButton3,   // "месяц"
    RadioButton4,   // "по" the day of ComboBox2
    ComboBox2,      // the range's other end
    RadioButton5,   // the view: "Соединения"
    RadioButton6,   // "Итоги по логинам"
    Image1,         // the picture
    StaticText2,    // what the mouse points at in the picture
    Button3,        // "Копировать картинку"
    Button4,        // "Сохранить PNG..."
    StaticText3,    // the status line: the period, the days without a log, the reading under way
};
}  // namespace form5

// Its class name, by which the test driver finds it.
inline constexpr wchar_t kReportWindowClass[] = L"TForm5";

class TForm5 {
public:
    static TForm5* Create(HINSTANCE instance, HWND owner);
    HWND Handle() const { return hwnd_; }

    // Offers the days of `logFolder` (LOG_PATH), shows today's and brings the
    // window up; an open window is brought to the front as it is. The
    // working hours are shaded in the picture while the watch is on.
    void Show(const std::string& logFolder, const WorkingHours& hours);
    // Every day of the period read and shown.
    bool Loaded() const { return !reading_; }
    // The dialog keys of the report window (Tab, the arrows, Esc, Enter, the
    // access keys), from the program's message loop: true when taken.
    static bool DialogMessage(MSG* msg);

private:
    // The log folder's files by their date texts.
    class FolderLogs : public DayLogSource {
    public:
        std::string folder;
        LogFileStamp Stamp(const std::string& dayText) override;
        bool Read(const std::string& dayText, uint64_t offset, size_t maxBytes, std::string& bytes) override;
    };

    TForm5() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void LayoutControls();
    void FillDays();
    int64_t ChosenDay(int combo) const;
    // Reads the period the controls name: the days not read yet, or changed.
    void Load();
    // A slice of the reading; the window answers between slices.
    void ReadStep();
    void ShowPeriod();
    void ShowPicture();
    void ShowList();
    void ShowColumns();
    void ShowTotals();
    void ShowStatus();
    // Handlers named after their controls.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void RadioButtonClick(int id);
    // Once a second: what the plug-in has appended since the last read.
    void Timer1Timer();
    // Everything read, given back.
    void Forget();
    void ListView1Change(const NMLISTVIEW& change);
    void Image1Click(size_t row);
    void GetDispInfo(NMLVDISPINFOW& info);
    bool AskSavePath(const std::wstring& name, const std::wstring& filter, const wchar_t* extension,
                     std::wstring& path, DWORD& filterIndex);
    std::wstring PeriodFileName() const;
    // Pixels of the design's layout at the window's scale.
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    void DpiChanged(int dpi, LPARAM suggested);

    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    ReportPicture* picture_ = nullptr;
    FontPtr font_;
    int dpi_ = 96;
    FolderLogs logs_;
    WorkingHours hours_;
    std::string pattern_;          // the locale's short date, as the files are named
    std::vector<std::string> days_;  // as the day lists offer them
    PeriodKind kind_ = PeriodKind::Day;
    bool loginsShown_ = false;
    bool followsToday_ = true;  // the chosen day is today: after midnight, the new day is
    int64_t today_ = 0;
    PeriodReader reader_;
    bool reading_ = false;
    bool periodChosen_ = false;  // a new period: shown when read, changed or not
    uint64_t shownVersion_ = 0;
    std::shared_ptr<const PeriodRows> period_;  // shared with the picture, never changed
    const PeriodRows& Period() const;
    std::vector<LoginTotals> logins_;
    std::wstring cellText_;  // what the list view is handed for one cell
    std::string summary_;    // the picture in words
    int pictureNatural_ = 0;  // the height the picture wanted at the last layout
    HWND focus_ = nullptr;    // the control that had the focus when the window was left
};

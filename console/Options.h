// The settings dialog TForm3: edits qv_config.ini on four tabs. Created once
// at program start and filled from the file then; shown modally on demand.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "DialogFrame.h"
#include "logic/OptionsLogic.h"

namespace form3 {
// Control numbers; the controls bear the names of the keys they show.
enum Control : int {
    Button1 = IDOK,
    Button2 = IDCANCEL,
    PageControl1 = 1000,
    TabSheet1, TabSheet2, TabSheet3, TabSheet4,
    FILE_WITH_TIME, Label1, TIME_FOR_REG, TIME_FOR_REG_Arrows, SHOW_VARS, DEFAULT_TIME, USERS_FOLDER, Label6,
    LOG_PATH, LOG_ENABLED, LOG_SCREEN_ENABLED, LOG_FILE_ENABLED,
    Label2, CheckBox1, FTP_INI_FILE, FTP_SERVICE_NAME, FTP_DEFAULT_CREDIT, FTP_DEF_ROOT, FTP_DEF_UPLOAD, Label3,
    FTP_DEF_RATIO_UP, FTP_DEF_RATIO_UP_Arrows, FTP_DEF_RATIO_DOWN, FTP_DEF_RATIO_DOWN_Arrows,
    checkworktime, Label4, Edit1, Label5, Edit2,
};
// Where a control lies in the design (Options.cpp).
struct Layout;
}  // namespace form3

class TForm3 {
public:
    // Creates the hidden dialog and fills it from the file (FormCreate).
    // `configPath` gives the full path of qv_config.ini whenever it is needed.
    static TForm3* Create(HINSTANCE instance, std::function<std::string()> configPath);
    HWND Handle() const { return hwnd_; }

    // True after an OK that wrote every key; `handedOver` then holds the
    // working hours for the main window (and its ToolButton2). False after
    // Cancel, Escape or the close box, with `handedOver` untouched.
    bool ShowModal(HWND owner, WorkingHours& handedOver);

private:
    explicit TForm3(std::function<std::string()> configPath);
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void ApplyDpi(int dpi, LPARAM suggested = 0);
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void PageControl1Change();
    bool OnSpin(int arrowsId, int direction);

    HWND Control(int id) const;
    int ControlOf(const ConfigKey& key) const;
    ControlValue ValueOf(const ConfigKey& key) const;
    void Show(const ConfigKey& key, const ControlValue& value);

    std::function<std::string()> configPath_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HWND tabs_ = nullptr;
    std::vector<HWND> pages_;
    // Each control of a tab with its caption above it and its arrows, if any.
    struct Placed {
        const form3::Layout* layout;
        HWND caption;
        HWND control;
        HWND arrows;
    };
    std::vector<Placed> placed_;
    HWND tooltip_ = nullptr;
    HWND focus_ = nullptr;
    FontPtr font_;
    BrushPtr red_;
    bool done_ = true;
    bool accepted_ = false;
    WorkingHours handedOver_;
};

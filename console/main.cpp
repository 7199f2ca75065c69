// portwatch.exe: the dial-in gateway's administrator console.
#include <windows.h>
#include <commctrl.h>

#include "About.h"
#include "Addinfo.h"
#include "LogViewControl.h"
#include "Options.h"
#include "Unit1.h"
#include "Win32Ui.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const std::string folder = ProgramFolder();
    // The four windows, in this order; the settings dialog reads the file now.
    TForm1* form = TForm1::Create(instance, folder);
    if (!form) return 1;
    form->Form2 = TForm2::Create(instance);
    form->Form3 = TForm3::Create(instance, [folder] { return folder + "qv_config.ini"; });
    form->Form4 = TForm4::Create(instance);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TLogView::DialogMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// portwatch.exe: the dial-in gateway's administrator console.
#include <windows.h>
#include <commctrl.h>

#include "About.h"
#include "Addinfo.h"
#include "ConsoleExit.h"
#include "LogViewControl.h"
#include "Options.h"
#include "Report.h"
#include "Unit1.h"
#include "Win32Ui.h"

namespace {

HWND mainWindow = nullptr;
HANDLE exitRequest = nullptr;

// Once a second, in whatever message loop runs (a menu's, a dialog's): when
// the installer asks, the console ends as its "Выход" ends it.
void CALLBACK WatchExitRequest(HWND, UINT, UINT_PTR, DWORD) {
    if (WaitForSingleObject(exitRequest, 0) == WAIT_OBJECT_0) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const std::string folder = ProgramFolder();
    // Before any window: once the console shows itself, it also listens.
    exitRequest = CreateEventW(nullptr, TRUE, FALSE, kConsoleExitEvent);
    // The four windows, in this order; the settings dialog reads the file now.
    TForm1* form = TForm1::Create(instance, folder);
    if (!form) return 1;
    form->Form2 = TForm2::Create(instance);
    form->Form3 = TForm3::Create(instance, [folder] { return folder + "qv_config.ini"; });
    form->Form4 = TForm4::Create(instance);
    mainWindow = form->Handle();
    if (exitRequest) SetTimer(nullptr, 0, 1000, WatchExitRequest);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TLogView::DialogMessage(&msg)) continue;
        if (TForm5::DialogMessage(&msg)) continue;
        if (form->TranslateAccelerator(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

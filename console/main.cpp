// portwatch.exe: the dial-in gateway's administrator console.
#include <windows.h>
#include <commctrl.h>

#include "Unit1.h"
#include "Win32Ui.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    TForm1* form = TForm1::Create(instance, ProgramFolder());
    if (!form) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

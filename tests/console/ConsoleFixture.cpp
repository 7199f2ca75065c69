#include "ConsoleFixture.h"

#include "Ids.h"
#include "UiDriver.h"

std::wstring Wide1251(const std::string& cp1251) {
    if (cp1251.empty()) return std::wstring();
    const int n = MultiByteToWideChar(1251, 0, cp1251.data(), static_cast<int>(cp1251.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(1251, 0, cp1251.data(), static_cast<int>(cp1251.size()), &wide[0], n);
    return wide;
}

ConsoleInstall::ConsoleInstall(const std::string& gui) {
    CreateDirectoryA(users.c_str(), nullptr);
    CreateDirectoryA(logs.c_str(), nullptr);
    CopyFileA((ExeFolder() + "portwatch.exe").c_str(), (dir / "portwatch.exe").c_str(), FALSE);
    WriteAll(ConfigPath(), "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + timeFile +
                               "\r\n[LOG]\r\nLOG_PATH=" + logs + "\r\n[GUI]\r\n" + gui);
}

ConsoleInstall::~ConsoleInstall() {
    if (process_.hProcess) {
        if (!Close(10000)) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
    }
    RemoveDirectoryA(ConfigPath().c_str());
}

bool ConsoleInstall::Start() {
    if (process_.hProcess) CloseHandle(process_.hProcess);
    std::string line = "\"" + (dir / "portwatch.exe") + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    process_ = PROCESS_INFORMATION{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(), &si,
                        &process_))
        return false;
    CloseHandle(process_.hThread);
    window_ = ui::WaitProcessWindow(process_.dwProcessId, kMainWindowClass, 20000);
    // The window exists before FormCreate has filled it: wait for the last field.
    return window_ && WaitFor([&] { return !Text(ids::FTP).empty(); }, 20000);
}

bool ConsoleInstall::Ended(DWORD timeoutMs) {
    return !process_.hProcess || WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ConsoleInstall::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_.hProcess) GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool ConsoleInstall::Close(DWORD timeoutMs) {
    if (!process_.hProcess) return true;
    if (window_ && IsWindow(window_)) ui::CloseWindow(window_);
    return Ended(timeoutMs);
}

std::wstring ConsoleInstall::Text(int id) const { return ui::ControlText(window_, id); }

bool ConsoleInstall::WaitText(int id, const std::wstring& expected, DWORD timeoutMs) const {
    return ui::WaitForText(window_, id, expected, timeoutMs);
}

int RunTool(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    std::string line = "\"" + ExeFolder() + commandLine;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output && !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    if (readEnd) SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &si, &pi);
    if (writeEnd) CloseHandle(writeEnd);
    if (!started) {
        if (readEnd) CloseHandle(readEnd);
        return -1;
    }
    CloseHandle(pi.hThread);
    if (output) {
        output->clear();
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output->append(chunk, got);
        CloseHandle(readEnd);
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

int SteadyHour() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMinute == 59) {
        Sleep((61 - now.wSecond) * 1000);
        GetLocalTime(&now);
    }
    return now.wHour;
}

#include "Gateway.h"

#include <algorithm>
#include <vector>

#include "Ids.h"
#include "Services.h"
#include "UiDriver.h"

namespace {

// A service left behind by an aborted run would keep the old command line.
void RemoveServices() {
    RunCaptured("testsvc.exe", std::string("remove ") + kFtpService);
    RunCaptured("rasstandin.exe", "remove");
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

Gateway::Gateway(const std::string& options, const std::string& gui) {
    for (const std::string& folder : {users, logs, dir / "ftp\\", ftpRoot, ftpUpload})
        CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((ExeFolder() + "fast\\dialgate.dll").c_str(), (dir / "dialgate.dll").c_str(), FALSE);
    CopyFileA((ExeFolder() + "portwatch.exe").c_str(), (dir / "portwatch.exe").c_str(), FALSE);
    WriteAll(config, "[OPTIONS]\r\nFILE_WITH_TIME=" + timeFile + "\r\n" + options + "[LOG]\r\nLOG_PATH=" + logs +
                         "\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=1\r\nFTP_SERVICE_NAME=" + kFtpService +
                         "\r\nFTP_INI_FILE=" + usersIni + "\r\nFTP_DEFAULT_CREDIT=7000\r\nFTP_DEF_ROOT=" + ftpRoot +
                         "\r\nFTP_DEF_UPLOAD=" + ftpUpload + "\r\n[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[GUI]\r\n" +
                         gui);

    RemoveServices();
    const ToolRun ras = RunCaptured("rasstandin.exe", "install");
    const ToolRun reg = RunCaptured("rasstandin.exe", "register " + Quoted(dir / "dialgate.dll"));
    const ToolRun ftp =
        RunCaptured("testsvc.exe", std::string("install ") + kFtpService + " " + Quoted(ftpEvents));
    installed_ = ras.code == 0 && reg.code == 0 && ftp.code == 0;
    if (!installed_)
        problem_ = "rasstandin install: " + ras.out + "\nrasstandin register: " + reg.out +
                   "\ntestsvc install: " + ftp.out;
}

Gateway::~Gateway() {
    // The console first: its watch would start the service again.
    CloseConsole();
    StopRas();
    ServiceStop(kFtpService);
    ServiceWaitStopped(kFtpService, 15000);
    RemoveServices();
}

bool Gateway::StartRas() {
    ServiceStart(kRasService);
    return WaitFor([] { return ServiceState(kRasService) == SERVICE_RUNNING; }, 30000) &&
           WaitFor([] { return RunCaptured("rasstandin.exe", "state").out.find("\ndials open\n") != std::string::npos; },
                   20000);
}

bool Gateway::StopRas() {
    ServiceStop(kRasService);
    return ServiceWaitStopped(kRasService, 40000);
}

bool Gateway::StartFtp() {
    ServiceStart(kFtpService);
    return WaitFor([] { return ServiceState(kFtpService) == SERVICE_RUNNING; }, 20000);
}

bool Gateway::StartConsole() {
    std::string line = Quoted(dir / "portwatch.exe");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(), &si, &console_))
        return false;
    CloseHandle(console_.hThread);
    window_ = ui::WaitProcessWindow(console_.dwProcessId, kMainWindowClass, 30000);
    // The window exists before FormCreate has filled it: wait for the last field.
    return window_ && WaitFor([&] { return !Text(ids::FTP).empty(); }, 30000);
}

void Gateway::CloseConsole() {
    if (!console_.hProcess) return;
    if (window_ && IsWindow(window_)) ui::CloseWindow(window_);
    if (WaitForSingleObject(console_.hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(console_.hProcess, 1);
        WaitForSingleObject(console_.hProcess, 5000);
    }
    CloseHandle(console_.hProcess);
    console_ = PROCESS_INFORMATION{};
    window_ = nullptr;
}

std::wstring Gateway::Text(int id) const { return ui::ControlText(window_, id); }

bool Gateway::WaitText(int id, const std::wstring& expected, DWORD timeoutMs) const {
    return ui::WaitForText(window_, id, expected, timeoutMs);
}

std::string Gateway::Log() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((logs + "*_log.txt").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += ReadAll(logs + name);
    return MaskTimes(text);
}

bool Gateway::WaitLog(const std::string& text, DWORD timeoutMs, size_t count) const {
    return WaitFor([&] { return Occurrences(Log(), text) >= count; }, timeoutMs);
}

int CountdownValue(const std::wstring& field) {
    const std::wstring label = L"До отключения осталось: ";
    if (field.compare(0, label.size(), label) != 0 || field.size() == label.size()) return -1;
    int value = 0;
    for (size_t i = label.size(); i < field.size(); ++i) {
        if (field[i] < L'0' || field[i] > L'9' || value > 100000) return -1;
        value = value * 10 + (field[i] - L'0');
    }
    return value;
}

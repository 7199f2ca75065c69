// The installer's own steps (dginstall.dll, carried inside the MSI and never
// installed), each a custom action of dialgate.wxs.in:
//   RememberRemoteAccess  whether RemoteAccess runs before anything changes
//   CloseConsoles         every running portwatch.exe ends, as by its "Выход"
//   RegisterPlugin,       regsvr32's two entries of the installed dialgate.dll,
//   UnregisterPlugin      called the way regsvr32 calls them
//   ProtectLogFolder      the log folder open to LocalSystem and the
//                         administrators only
//   StartRemoteAccess     RemoteAccess started again when it was running
// Every step writes what it did into the installer's log (msiexec /l*v).
#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "ConsoleExit.h"
#include "Win32Handles.h"

namespace {

constexpr wchar_t kRasService[] = L"RemoteAccess";
// A console ends within a second of the request (its timer); a hung one is
// not worth waiting for longer than this.
constexpr DWORD kConsoleExitWaitMs = 15000;
// The service may take its time to load its DLLs; a start still under way
// after this is left to finish on its own.
constexpr DWORD kServiceStartWaitMs = 60000;
// The log folder's rights, by SID, which no language renames: LocalSystem,
// which writes the logs, may change (0x1301bf, icacls's M), the
// administrators may do anything; files and folders made in it take the same;
// nothing comes from the folders above (P). The logs hold the callers'
// passwords, and C:\ lets every user read.
constexpr wchar_t kLogFolderRights[] = L"D:P(A;OICI;0x1301bf;;;S-1-5-18)(A;OICI;FA;;;S-1-5-32-544)";

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, (L"dialgate: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD chars = 0;
    wchar_t empty[1] = L"";
    if (MsiGetPropertyW(install, name, empty, &chars) != ERROR_MORE_DATA) return std::wstring();
    std::wstring value(++chars, L'\0');
    if (MsiGetPropertyW(install, name, &value[0], &chars) != ERROR_SUCCESS) return std::wstring();
    value.resize(chars);
    return value;
}

std::wstring Hex(DWORD value) {
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", value);
    return text;
}

// The service's state, or 0 when it cannot be read (not installed).
DWORD RasState() {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScHandle service(manager ? OpenServiceW(manager.Get(), kRasService, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.Get(), &status)) return 0;
    return status.dwCurrentState;
}

// The console processes of this machine, opened to be waited for.
std::vector<UniqueHandle> Consoles() {
    std::vector<UniqueHandle> found;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"portwatch.exe") != 0) continue;
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process) found.push_back(std::move(process));
    }
    return found;
}

UINT CallRegistration(MSIHANDLE install, const char* entry) {
    // Deferred steps get the installed plug-in's path as their data.
    const std::wstring dll = Property(install, L"CustomActionData");
    HMODULE plugin = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!plugin) {
        Log(install, L"cannot load " + dll + L", error " + std::to_wstring(GetLastError()));
        return ERROR_INSTALL_FAILURE;
    }
    using Entry = HRESULT(WINAPI*)();
    auto call = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(plugin, entry)));
    const HRESULT result = call ? call() : HRESULT_FROM_WIN32(GetLastError());
    FreeLibrary(plugin);
    Log(install, std::wstring(entry, entry + lstrlenA(entry)) + L" of " + dll + L": " + Hex(static_cast<DWORD>(result)));
    return SUCCEEDED(result) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" {

UINT WINAPI RememberRemoteAccess(MSIHANDLE install) {
    const DWORD state = RasState();
    const bool running = state == SERVICE_RUNNING || state == SERVICE_START_PENDING || state == SERVICE_CONTINUE_PENDING;
    if (running) MsiSetPropertyW(install, L"DG_RAS_RUNNING", L"1");
    Log(install, L"RemoteAccess state " + std::to_wstring(state) +
                     (running ? L": it will be started again afterwards" : L": it will be left stopped"));
    return ERROR_SUCCESS;
}

UINT WINAPI CloseConsoles(MSIHANDLE install) {
    std::vector<UniqueHandle> consoles = Consoles();
    if (consoles.empty()) {
        Log(install, L"no console running");
        return ERROR_SUCCESS;
    }
    UniqueHandle request(OpenEventW(EVENT_MODIFY_STATE, FALSE, kConsoleExitEvent));
    if (request) SetEvent(request.Get());
    const ULONGLONG deadline = GetTickCount64() + kConsoleExitWaitMs;
    size_t left = 0;
    for (const UniqueHandle& console : consoles) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(console.Get(), wait) != WAIT_OBJECT_0) ++left;
    }
    // A console started later is not to end at once.
    if (request) ResetEvent(request.Get());
    // A console that did not end holds its file: the installer then asks
    // for a restart (3010) rather than fail.
    Log(install, std::to_wstring(consoles.size() - left) + L" console(s) closed, " + std::to_wstring(left) +
                     L" still running" + (request ? L"" : L" (none listened for the request)"));
    return ERROR_SUCCESS;
}

UINT WINAPI RegisterPlugin(MSIHANDLE install) { return CallRegistration(install, "DllRegisterServer"); }
UINT WINAPI UnregisterPlugin(MSIHANDLE install) { return CallRegistration(install, "DllUnregisterServer"); }

UINT WINAPI ProtectLogFolder(MSIHANDLE install) {
    // Deferred steps get the folder as their data; the API takes it without
    // its final backslash.
    std::wstring folder = Property(install, L"CustomActionData");
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    PSECURITY_DESCRIPTOR current = nullptr;
    DWORD status = GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         nullptr, nullptr, &current);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (status == ERROR_SUCCESS) GetSecurityDescriptorControl(current, &control, &revision);
    LocalFree(current);
    // Rights that no longer come from above were set by an administrator
    // (the guide's icacls, or his own): an upgrade keeps them.
    if (status == ERROR_SUCCESS && (control & SE_DACL_PROTECTED)) {
        Log(install, folder + L": its own rights kept");
        return ERROR_SUCCESS;
    }
    PSECURITY_DESCRIPTOR wanted = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (status == ERROR_SUCCESS &&
        !(ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFolderRights, SDDL_REVISION_1, &wanted, nullptr) &&
          GetSecurityDescriptorDacl(wanted, &present, &dacl, &defaulted)))
        status = GetLastError();
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    // This call also hands the new rights down to what the folder holds
    // (logs of an earlier version, readable until now). The folder's own
    // rights are then written once more as they are: Wine's SetNamedSecurityInfo
    // adds the rights of the folder above even to a protected list.
    if (status == ERROR_SUCCESS)
        status = SetNamedSecurityInfoW(&folder[0], SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
    if (status == ERROR_SUCCESS && !SetFileSecurityW(folder.c_str(), what, wanted)) status = GetLastError();
    LocalFree(wanted);
    Log(install, folder + (status == ERROR_SUCCESS ? L": open to LocalSystem and the administrators only"
                                                   : L": rights not set, error " + std::to_wstring(status)));
    // Logs with passwords open to every user are not a finished installation.
    return status == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

UINT WINAPI StartRemoteAccess(MSIHANDLE install) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScHandle service(manager ? OpenServiceW(manager.Get(), kRasService, SERVICE_START | SERVICE_QUERY_STATUS)
                             : nullptr);
    if (!service) {
        Log(install, L"RemoteAccess cannot be opened, error " + std::to_wstring(GetLastError()));
        return ERROR_SUCCESS;
    }
    if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        Log(install, L"RemoteAccess did not start, error " + std::to_wstring(GetLastError()));
        return ERROR_INSTALL_FAILURE;
    }
    const ULONGLONG deadline = GetTickCount64() + kServiceStartWaitMs;
    SERVICE_STATUS status{};
    while (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_START_PENDING &&
           GetTickCount64() < deadline)
        Sleep(250);
    Log(install, L"RemoteAccess started again, state " + std::to_wstring(status.dwCurrentState));
    // A service that stopped again refused its DLLs: the installation is
    // undone (an upgrade brings the earlier version back), and the service
    // is started as it was.
    return status.dwCurrentState == SERVICE_STOPPED ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS;
}

}  // extern "C"

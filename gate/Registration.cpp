// regsvr32 dialgate.dll: the remote-access service's list of administration
// DLLs (DLLPath under HKLM\SOFTWARE\Microsoft\RAS\AdminDll, full paths
// separated by ";", called in that order) gets this file's full path at its
// end, beside whatever DLLs are listed there already; the event source
// "dialgate" of the Application log is pointed at this file's message table.
// regsvr32 /u takes out only what registering put in. An entry is this file
// when it names the same file in any spelling; a copy of the plug-in in
// another folder is not registered beside one already listed, which would
// time every caller twice. The installer calls the same two exports. The service never runs this code: the plug-in's own work
// reads no registry value.
#include <windows.h>

#include <string>
#include <vector>

#include "Events.h"
#include "Win32Handles.h"

namespace {

constexpr wchar_t kAdminDllKey[] = L"SOFTWARE\\Microsoft\\RAS\\AdminDll";
constexpr wchar_t kDllPath[] = L"DLLPath";
constexpr wchar_t kDisplayName[] = L"DisplayName";
// The one name of the plug-in in the registry, the guide and the help.
constexpr wchar_t kDisplayNameText[] = L"dialgate";
const std::wstring kEventSourceKey =
    std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kEventSource;
constexpr wchar_t kEventMessageFile[] = L"EventMessageFile";

struct TextValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::wstring text;
};

TextValue ReadValue(HKEY key, const wchar_t* name) {
    TextValue v;
    for (DWORD bytes = 0;;) {
        // One more character, for a terminator the value may lack.
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = bytes;
        v.status = RegQueryValueExW(key, name, nullptr, &v.type, bytes ? reinterpret_cast<BYTE*>(data.data()) : nullptr,
                                    &got);
        // The first question asks for the size; the value may grow before the
        // next (another installer registering at that moment): asked again.
        if (v.status == ERROR_MORE_DATA || (v.status == ERROR_SUCCESS && bytes == 0 && got > 0)) {
            bytes = got;
            continue;
        }
        if (v.status == ERROR_SUCCESS && (v.type == REG_SZ || v.type == REG_EXPAND_SZ))
            v.text.assign(data.data(), wcsnlen(data.data(), data.size()));
        return v;
    }
}

LSTATUS WriteText(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring Trimmed(const std::wstring& s, const wchar_t* blanks = L" \t") {
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::wstring::npos) return std::wstring();
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// The entries as they are written, blanks and all.
std::vector<std::wstring> Entries(const std::wstring& list) {
    std::vector<std::wstring> entries;
    for (size_t from = 0;;) {
        const size_t semicolon = list.find(L';', from);
        entries.push_back(list.substr(from, semicolon - from));
        if (semicolon == std::wstring::npos) return entries;
        from = semicolon + 1;
    }
}

// An entry as written, quotes dropped and variables expanded.
std::wstring Expanded(const std::wstring& entry) {
    std::wstring p = Trimmed(entry, L" \t\"");
    if (p.find(L'%') == std::wstring::npos) return p;
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ExpandEnvironmentStringsW(p.c_str(), &expanded[0], static_cast<DWORD>(expanded.size()));
        if (n == 0) return p;
        if (n <= expanded.size()) return expanded.substr(0, n - 1);
        expanded.resize(n);
    }
}

// What the file system knows a file by, whatever the path that names it:
// its volume and its index there.
struct FileIdentity {
    DWORD volume = 0, indexHigh = 0, indexLow = 0;
    bool operator==(const FileIdentity& o) const {
        return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
    }
};

bool IdentityOf(const std::wstring& path, FileIdentity& id) {
    // No access asked for: the file may be in use, and only its identity is read.
    UniqueHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info)) return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// A path as text, for an entry whose file cannot be opened: ".", ".." and
// "/" resolved, a "\\?\" prefix taken off.
std::wstring FullPath(std::wstring p) {
    if (p.rfind(L"\\\\?\\UNC\\", 0) == 0) p.replace(0, 8, L"\\\\");
    else if (p.rfind(L"\\\\?\\", 0) == 0) p.erase(0, 4);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (n == 0) return p;
        if (n < full.size()) return full.substr(0, n);
        full.resize(n);
    }
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// This plug-in's own file, as the entries of the list are compared with it.
struct Self {
    std::wstring path;
    FileIdentity id;
    bool known = false;  // its identity could be read
};

// Whether an entry names this very file, in whatever spelling. File names
// compare without regard to case, as the file system does.
bool SameFile(const std::wstring& entry, const Self& self) {
    const std::wstring path = Expanded(entry);
    if (path.empty()) return false;
    FileIdentity id;
    if (self.known && IdentityOf(path, id)) return id == self.id;
    return SameText(FullPath(path), FullPath(self.path));
}

// Another copy of this plug-in that the service would load beside it: an
// entry of the same file name, whose file exists and is another file.
bool AnotherCopy(const std::wstring& entry, const Self& self) {
    const std::wstring path = Expanded(entry);
    FileIdentity id;
    return !path.empty() && SameText(FileName(path), FileName(self.path)) && IdentityOf(path, id) &&
           !SameFile(entry, self);
}

// The long form of a path, as the list gets it.
std::wstring LongPath(const std::wstring& path) {
    std::wstring longer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetLongPathNameW(path.c_str(), &longer[0], static_cast<DWORD>(longer.size()));
        if (n == 0) return path;
        if (n < longer.size()) return longer.substr(0, n);
        longer.resize(n);
    }
}

std::wstring SelfPath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&SelfPath)), &self);
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, &name[0], static_cast<DWORD>(name.size()));
        if (n == 0) return std::wstring();
        if (n < name.size()) return LongPath(name.substr(0, n));
        name.resize(name.size() * 2);
    }
}

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

// The service of a 64-bit Windows reads the 64-bit registry and loads only
// 64-bit DLLs: registering the x86 build there would do nothing but harm.
bool WrongArchitecture() {
#ifdef _WIN64
    return false;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

HRESULT AddToAdminDlls(const Self& self) {
    RegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAdminDllKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                     nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    const TextValue list = ReadValue(key.Get(), kDllPath);
    // A list that could not be read is never written over: it holds the
    // other administration DLLs.
    if (list.status != ERROR_SUCCESS && list.status != ERROR_FILE_NOT_FOUND) return FromStatus(list.status);
    if (list.status == ERROR_SUCCESS && list.type != REG_SZ && list.type != REG_EXPAND_SZ)
        return HRESULT_FROM_WIN32(ERROR_DATATYPE_MISMATCH);
    bool listed = false;
    for (const std::wstring& entry : Entries(list.text)) {
        listed = listed || SameFile(entry, self);
        // Two copies would each time every caller: the one listed stays alone.
        if (AnotherCopy(entry, self)) {
            ReportSecondCopy(Expanded(entry), self.path);
            return HRESULT_FROM_WIN32(ERROR_ALREADY_REGISTERED);
        }
    }
    if (!listed) {
        // The other entries stay as they were written; only separators and
        // blanks at the ends give way.
        const std::wstring before = Trimmed(list.text, L" \t;");
        const DWORD type = list.status == ERROR_SUCCESS ? list.type : REG_SZ;
        status = WriteText(key.Get(), kDllPath, type, before.empty() ? self.path : before + L";" + self.path);
        if (status != ERROR_SUCCESS) return FromStatus(status);
    }
    const TextValue name = ReadValue(key.Get(), kDisplayName);
    if (name.status == ERROR_FILE_NOT_FOUND || (name.status == ERROR_SUCCESS && Trimmed(name.text).empty() &&
                                                (name.type == REG_SZ || name.type == REG_EXPAND_SZ)))
        status = WriteText(key.Get(), kDisplayName, REG_SZ, kDisplayNameText);
    return FromStatus(status);
}

HRESULT RemoveFromAdminDlls(const Self& self) {
    RegKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAdminDllKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return FromStatus(status);
    const TextValue list = ReadValue(key.Get(), kDllPath);
    if (list.status != ERROR_SUCCESS || (list.type != REG_SZ && list.type != REG_EXPAND_SZ)) return S_OK;
    std::wstring others;
    bool listed = false;
    // The other entries stay byte for byte as they were written, so that
    // the list compares equal to a backup taken before this file came.
    for (const std::wstring& entry : Entries(list.text)) {
        if (SameFile(entry, self)) {
            listed = true;
        } else if (!Trimmed(entry).empty()) {
            others += (others.empty() ? L"" : L";") + entry;
        }
    }
    if (!listed) return S_OK;
    if (!others.empty()) return FromStatus(WriteText(key.Get(), kDllPath, list.type, others));
    // Nothing else is left: the values go, and the key if it holds nothing more.
    status = RegDeleteValueW(key.Get(), kDllPath);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    RegDeleteValueW(key.Get(), kDisplayName);
    DWORD values = 0, subkeys = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        values == 0 && subkeys == 0)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAdminDllKey);
    return S_OK;
}

HRESULT AddEventSource(const Self& self) {
    RegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    status = WriteText(key.Get(), kEventMessageFile, REG_EXPAND_SZ, self.path);
    if (status != ERROR_SUCCESS) return FromStatus(status);
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    return FromStatus(
        RegSetValueExW(key.Get(), L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types));
}

// Another copy's source is that copy's to remove.
HRESULT RemoveEventSource(const Self& self) {
    {
        RegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
            return S_OK;
        if (!SameFile(ReadValue(key.Get(), kEventMessageFile).text, self)) return S_OK;
    }
    return FromStatus(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey.c_str()));
}

// What both entries share: this file's own path, on a system whose service
// could load it at all.
template <class Work>
HRESULT WithOwnPath(Work work) {
    try {
        if (WrongArchitecture()) return HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);
        Self self;
        self.path = SelfPath();
        if (self.path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        self.known = IdentityOf(self.path, self.id);
        return work(self);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

extern "C" {

HRESULT WINAPI DllRegisterServer() {
    return WithOwnPath([](const Self& self) {
        const HRESULT listed = AddToAdminDlls(self);
        return FAILED(listed) ? listed : AddEventSource(self);
    });
}

HRESULT WINAPI DllUnregisterServer() {
    return WithOwnPath([](const Self& self) {
        const HRESULT unlisted = RemoveFromAdminDlls(self);
        const HRESULT source = RemoveEventSource(self);
        return FAILED(unlisted) ? unlisted : source;
    });
}

}  // extern "C"

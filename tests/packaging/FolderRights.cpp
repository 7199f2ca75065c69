// Prints a folder's access list (SDDL) as the API reads it back, and ends with
// 1 when it lets anyone open the folder but LocalSystem, the administrators
// and the folder's owner (a null list lets everyone). The installer's test
// reads the log folder's rights with it.
//   folder_rights.exe FOLDER
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: folder_rights FOLDER\n");
        return 2;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD status = GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                               &owner, nullptr, &dacl, nullptr, &sd);
    if (status != ERROR_SUCCESS) {
        fwprintf(stderr, L"%ls: error %lu\n", argv[1], status);
        return 2;
    }
    wchar_t* text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        wprintf(L"%ls\n", text);
        LocalFree(text);
    }
    int others = dacl ? 0 : 1;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (!IsWellKnownSid(sid, WinLocalSystemSid) && !IsWellKnownSid(sid, WinBuiltinAdministratorsSid) &&
            !(owner && EqualSid(sid, owner)))
            ++others;
    }
    LocalFree(sd);
    return others == 0 ? 0 : 1;
}

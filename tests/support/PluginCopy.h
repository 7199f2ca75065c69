// A copy of the built dialgate.dll in a folder of the caller's choosing,
// loaded the way the remote-access service loads it, so that it finds the
// qv_config.ini of that folder; its eight callbacks, typed once. Header only:
// the tests, the soak and the benchmarks load the plug-in through it.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <string>

#include "Win32Files.h"

class PluginCopy {
public:
    explicit PluginCopy(const std::string& folder, const std::string& built = ModuleFolder(nullptr) + "dialgate.dll")
        : path_(folder + "dialgate.dll") {
        CopyFileA(built.c_str(), path_.c_str(), FALSE);
        module_ = LoadLibraryA(path_.c_str());
    }
    ~PluginCopy() {
        if (module_) FreeLibrary(module_);
    }
    PluginCopy(const PluginCopy&) = delete;
    PluginCopy& operator=(const PluginCopy&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    // The service stopped and started again in the same process: the library
    // is let go and loaded anew (it stays mapped while a worker holds it).
    void Reload() {
        if (module_) FreeLibrary(module_);
        module_ = LoadLibraryA(path_.c_str());
    }
    template <class F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    DWORD Initialize() const { return Get<DWORD(WINAPI*)()>("MprAdminInitializeDll")(); }
    DWORD Terminate() const { return Get<DWORD(WINAPI*)()>("MprAdminTerminateDll")(); }
    BOOL AcceptConnection(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const {
        return Get<BOOL(WINAPI*)(RAS_CONNECTION_0*, RAS_CONNECTION_1*)>("MprAdminAcceptNewConnection")(c0, c1);
    }
    BOOL AcceptLink(RAS_PORT_0* p0, RAS_PORT_1* p1) const {
        return Get<BOOL(WINAPI*)(RAS_PORT_0*, RAS_PORT_1*)>("MprAdminAcceptNewLink")(p0, p1);
    }
    void LinkHangup(RAS_PORT_0* p0, RAS_PORT_1* p1) const {
        Get<VOID(WINAPI*)(RAS_PORT_0*, RAS_PORT_1*)>("MprAdminLinkHangupNotification")(p0, p1);
    }
    void ConnectionHangup(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) const {
        Get<VOID(WINAPI*)(RAS_CONNECTION_0*, RAS_CONNECTION_1*)>("MprAdminConnectionHangupNotification")(c0, c1);
    }
    DWORD GetIpAddress(DWORD* address, BOOL* notify) const {
        wchar_t user[] = L"user";
        wchar_t port[] = L"COM1";
        return Get<DWORD(WINAPI*)(WCHAR*, WCHAR*, DWORD*, BOOL*)>("MprAdminGetIpAddressForUser")(user, port,
                                                                                               address, notify);
    }
    void ReleaseIpAddress(DWORD* address) const {
        wchar_t user[] = L"user";
        wchar_t port[] = L"COM1";
        Get<VOID(WINAPI*)(WCHAR*, WCHAR*, DWORD*)>("MprAdminReleaseIpAddress")(user, port, address);
    }

private:
    std::string path_;
    HMODULE module_ = nullptr;
};

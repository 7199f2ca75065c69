#include "Host.h"

#include <chrono>
#include <cstdio>

#include "Strand.h"
#include "Win32Clock.h"
#include "Win32Handles.h"

namespace {

const wchar_t kAdminDllKey[] = L"SOFTWARE\\Microsoft\\RAS\\AdminDll";
// How long a control command waits for the plug-in to answer a callback.
const auto kCallbackWait = std::chrono::seconds(30);

// Handles that the plug-in gets: connection and port handles lie in ranges of
// their own, so that one passed for the other is refused.
HANDLE ConnectionHandle(uint32_t id) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xC0000 + id)); }
HANDLE PortHandle(uint32_t id) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x50000 + id)); }

std::string Hex(HANDLE h) {
    char text[32];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)));
    return text;
}

std::string Ms(double ms) {
    char text[32];
    snprintf(text, sizeof text, "%.3f", ms);
    return text;
}


template <size_t N>
void CopyName(WCHAR (&to)[N], const std::wstring& from) {
    const size_t n = from.size() < N - 1 ? from.size() : N - 1;
    from.copy(to, n);
    to[n] = L'\0';
}

std::wstring OwnFolder() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n < name.size()) {
            std::wstring path(name.data(), n);
            return path.substr(0, path.find_last_of(L'\\') + 1);
        }
        name.resize(name.size() * 2);
    }
}

// The callback of the administration DLL that this thread is in, if any.
thread_local const char* tInCallback = nullptr;

class InsideCallback {
public:
    explicit InsideCallback(const char* name) : outer_(tInCallback) { tInCallback = name; }
    ~InsideCallback() { tInCallback = outer_; }
    InsideCallback(const InsideCallback&) = delete;
    InsideCallback& operator=(const InsideCallback&) = delete;

private:
    const char* outer_;
};

}  // namespace

std::vector<std::wstring> AdminDllPaths(const std::wstring& list) {
    std::vector<std::wstring> paths;
    for (size_t from = 0; from <= list.size();) {
        size_t end = list.find(L';', from);
        if (end == std::wstring::npos) end = list.size();
        std::wstring entry = list.substr(from, end - from);
        const size_t first = entry.find_first_not_of(L" \t");
        if (first != std::wstring::npos) paths.push_back(entry.substr(first, entry.find_last_not_of(L" \t") - first + 1));
        from = end + 1;
    }
    return paths;
}

std::wstring RegisteredAdminDll() {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAdminDllKey, 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
        return std::wstring();
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), L"DLLPath", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), L"DLLPath", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    std::wstring path(value.data());  // the stored value need not end in a terminator
    if (type == REG_EXPAND_SZ) {
        const DWORD n = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
        std::vector<wchar_t> expanded(n + 1, L'\0');
        if (n && ExpandEnvironmentStringsW(path.c_str(), expanded.data(), n + 1)) path = expanded.data();
    }
    return path;
}

LSTATUS RegisterAdminDll(const std::wstring& path, const std::wstring& displayName) {
    RegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAdminDllKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    auto set = [&](const wchar_t* name, const std::wstring& value) {
        return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    status = set(L"DLLPath", path);
    return status != ERROR_SUCCESS ? status : set(L"DisplayName", displayName);
}

// The callbacks of the administration DLL; any of them may be missing.
struct RasHost::AdminDll {
    Module module;
    DWORD(WINAPI* initialize)() = nullptr;
    DWORD(WINAPI* terminate)() = nullptr;
    BOOL(WINAPI* acceptConnection)(RAS_CONNECTION_0*, RAS_CONNECTION_1*) = nullptr;
    BOOL(WINAPI* acceptLink)(RAS_PORT_0*, RAS_PORT_1*) = nullptr;
    VOID(WINAPI* linkHangup)(RAS_PORT_0*, RAS_PORT_1*) = nullptr;
    VOID(WINAPI* connectionHangup)(RAS_CONNECTION_0*, RAS_CONNECTION_1*) = nullptr;
};

struct RasHost::Connection {
    enum class Phase { Accepting, Up, HangingUp, Gone };

    uint32_t id = 0;
    HANDLE handle = nullptr;
    HANDLE port = nullptr;
    ULONGLONG dialTick = 0;
    uint32_t bytesRcved = 0;
    uint32_t bytesXmited = 0;
    uint32_t seconds = 0;  // fixed when the line drops
    Phase phase = Phase::Accepting;
    // The service's port exists once its link is offered: a DLL may
    // disconnect it from another thread before the link callback returns.
    bool linkOffered = false;
    const char* busyIn = nullptr;  // the callback running now, if any
    ULONGLONG busySince = 0;
    std::shared_future<void> hungUp;
    Strand strand;

    void Fill(RAS_CONNECTION_0& c0, RAS_CONNECTION_1& c1, uint32_t duration, bool withBytes) const {
        c0 = RAS_CONNECTION_0{};
        c0.hConnection = handle;
        c0.hInterface = handle;
        c0.dwConnectDuration = duration;
        c0.dwInterfaceType = ROUTER_IF_TYPE_CLIENT;
        CopyName(c0.wszInterfaceName, L"Dial-in");
        CopyName(c0.wszUserName, L"caller" + std::to_wstring(id));
        CopyName(c0.wszRemoteComputer, L"CALLER" + std::to_wstring(id));
        c1 = RAS_CONNECTION_1{};
        c1.hConnection = handle;
        c1.hInterface = handle;
        if (withBytes) {
            c1.dwBytesRcved = bytesRcved;
            c1.dwBytesXmited = bytesXmited;
        }
    }
    void Fill(RAS_PORT_0& p0, RAS_PORT_1& p1, uint32_t duration, bool withBytes) const {
        p0 = RAS_PORT_0{};
        p0.hPort = port;
        p0.hConnection = handle;
        p0.dwPortCondition = RAS_PORT_AUTHENTICATED;
        p0.dwTotalNumberOfCalls = id;
        p0.dwConnectDuration = duration;
        CopyName(p0.wszPortName, L"COM" + std::to_wstring(id));
        CopyName(p0.wszMediaName, L"rastapi");
        CopyName(p0.wszDeviceName, L"Stand-in modem");
        CopyName(p0.wszDeviceType, L"modem");
        p1 = RAS_PORT_1{};
        p1.hPort = port;
        p1.hConnection = handle;
        p1.dwHardwareCondition = RAS_HARDWARE_OPERATIONAL;
        p1.dwLineSpeed = 33600;
        if (withBytes) {
            p1.dwBytesRcved = bytesRcved;
            p1.dwBytesXmited = bytesXmited;
        }
    }
};

RasHost::RasHost(std::function<void(const std::string&)> say)
    : say_(std::move(say)), quit_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

RasHost::~RasHost() {
    if (quit_) CloseHandle(quit_);
}

DWORD RasHost::Start() {
    // The stand-in mprapi.dll lies beside this program. Loading it by its full
    // path makes Wine take it also where no DLL override reaches the service.
    const std::wstring mprapiPath = OwnFolder() + L"mprapi.dll";
    mprapi_.Reset(LoadLibraryW(mprapiPath.c_str()));
    auto setHooks = mprapi_.Proc<StandinMprapiSetHooksFn>(STANDIN_MPRAPI_SET_HOOKS);
    if (!setHooks) {
        const DWORD error = mprapi_ ? ERROR_PROC_NOT_FOUND : GetLastError();
        say_("cannot use the stand-in " + Utf8(mprapiPath) + ", error " + std::to_string(error));
        mprapi_.Reset();
        return error;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = true;
    }
    const StandinMprapiHooks hooks{this, OnServerConnect, OnPortClearStats, OnPortReset, OnPortDisconnect,
                                   OnServerDisconnect, OnConnectionEnum, OnPortEnum};
    setHooks(&hooks);

    adminPath_ = RegisteredAdminDll();
    const std::vector<std::wstring> paths = AdminDllPaths(adminPath_);
    if (paths.empty()) {
        // The real service runs without an administration DLL too.
        say_("no administration DLL registered; every connection is accepted");
        OpenForDials();
        return NO_ERROR;
    }
    for (const std::wstring& path : paths) {
        const DWORD result = LoadAdminDll(path);
        if (result != NO_ERROR) {
            Stop();
            return result;
        }
    }
    OpenForDials();
    return NO_ERROR;
}

// Loads and initialises one administration DLL of the list.
DWORD RasHost::LoadAdminDll(const std::wstring& path) {
    auto admin = std::make_unique<AdminDll>();
    admin->module.Reset(LoadLibraryW(path.c_str()));
    if (!admin->module) {
        const DWORD error = GetLastError();
        say_("cannot load " + Utf8(path) + ", error " + std::to_string(error));
        return error ? error : ERROR_MOD_NOT_FOUND;
    }
    const Module& m = admin->module;
    admin->initialize = m.Proc<decltype(admin->initialize)>("MprAdminInitializeDll");
    admin->terminate = m.Proc<decltype(admin->terminate)>("MprAdminTerminateDll");
    admin->acceptConnection = m.Proc<decltype(admin->acceptConnection)>("MprAdminAcceptNewConnection");
    admin->acceptLink = m.Proc<decltype(admin->acceptLink)>("MprAdminAcceptNewLink");
    admin->linkHangup = m.Proc<decltype(admin->linkHangup)>("MprAdminLinkHangupNotification");
    admin->connectionHangup = m.Proc<decltype(admin->connectionHangup)>("MprAdminConnectionHangupNotification");
    // A DLL that fails to initialise keeps the service from starting.
    DWORD result = NO_ERROR;
    if (admin->initialize) {
        InsideCallback inside("MprAdminInitializeDll");
        result = admin->initialize();
    }
    if (result != NO_ERROR) {
        say_("MprAdminInitializeDll of " + Utf8(path) + " failed with " + std::to_string(result));
        return result;
    }
    admins_.push_back(std::move(admin));
    say_("administration DLL " + Utf8(path) + " loaded and initialised");
    return NO_ERROR;
}

// Callers get through only once the DLL is initialised.
void RasHost::OpenForDials() {
    std::lock_guard<std::mutex> lock(mutex_);
    dialsOpen_ = true;
}

bool RasHost::Stop(unsigned long long waitMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_ && !mprapi_) return true;
        running_ = false;
        dialsOpen_ = false;
    }
    // Every connection goes down, also one still being accepted now; the
    // DLL is terminated only when all of their hang-ups have returned.
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        bool accepting = false;
        std::vector<std::shared_future<void>> pending;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& entry : connections_) {
                Connection& c = *entry.second;
                if (c.phase == Connection::Phase::Up) BeginHangupLocked(c);
                if (c.phase == Connection::Phase::Accepting) accepting = true;
                if (c.hungUp.valid()) pending.push_back(c.hungUp);
            }
        }
        for (auto& f : pending) {
            const ULONGLONG now = GetTickCount64();
            if (f.wait_for(std::chrono::milliseconds(now < deadline ? deadline - now : 0)) !=
                std::future_status::ready) {
                say_("callbacks of the administration DLL did not return; it stays loaded");
                return false;
            }
        }
        JoinRetired();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (connections_.empty()) break;
        }
        if (GetTickCount64() >= deadline) {
            say_("a new connection's callbacks did not return; the administration DLL stays loaded");
            return false;
        }
        if (accepting) Sleep(20);
    }
    if (!admins_.empty()) {
        for (const auto& admin : admins_) {
            if (admin->terminate) {
                InsideCallback inside("MprAdminTerminateDll");
                admin->terminate();
            }
        }
        admins_.clear();
        say_("administration DLLs terminated and unloaded");
    }
    if (auto setHooks = mprapi_.Proc<StandinMprapiSetHooksFn>(STANDIN_MPRAPI_SET_HOOKS)) setHooks(nullptr);
    mprapi_.Reset();
    return true;
}

template <class F>
auto RasHost::Callback(Connection& c, const char* name, F call) -> decltype(call()) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c.busyIn = name;
        c.busySince = GetTickCount64();
    }
    struct Clear {
        RasHost& host;
        Connection& c;
        ~Clear() {
            std::lock_guard<std::mutex> lock(host.mutex_);
            c.busyIn = nullptr;
        }
    } clear{*this, c};
    InsideCallback inside(name);
    return call();
}

// The real service never returns from an administration client call made
// inside one of its callbacks. Neither does the stand-in; it says so in
// `state`, where a plug-in's test can see it.
void RasHost::RefuseInsideCallback(const char* call) {
    if (!tInCallback) return;
    const std::string what = std::string(call) + " called inside " + tInCallback;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        forbiddenCalls_.push_back(what);
    }
    say_(what + ": it will not return");
    for (;;) Sleep(INFINITE);
}

std::string RasHost::Handle(const Request& request) {
    switch (request.kind) {
        case RequestKind::Dial:
            return Dial(request);
        case RequestKind::Hangup:
            return Hangup(request.connection);
        case RequestKind::Drop:
            return Drop(request.connection);
        case RequestKind::Mode: {
            std::lock_guard<std::mutex> lock(mutex_);
            syncDisconnect_ = request.syncDisconnect;
            return std::string("ok\nmode ") + (syncDisconnect_ ? "sync" : "async") + "\n";
        }
        case RequestKind::Quit:
            SetEvent(quit_);
            return "ok\n";
        case RequestKind::State:
        default:
            return State();
    }
}

std::string RasHost::Dial(const Request& request) {
    JoinRetired();
    std::shared_ptr<Connection> c;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!dialsOpen_) return "error: the host is starting or stopping\n";
        c = std::make_shared<Connection>();
        c->id = ++lastId_;
        c->handle = ConnectionHandle(c->id);
        c->port = PortHandle(c->id);
        c->dialTick = GetTickCount64();
        c->bytesRcved = request.bytesRcved;
        c->bytesXmited = request.bytesXmited;
        connections_[c->id] = c;
    }
    // 0 refused, 1 accepted, 2 connection accepted but link refused.
    // The strand's jobs hold the connection by pointer: the table owns it, and
    // a strand must never be the last owner, or it would have to join itself.
    Connection* cp = c.get();
    auto outcome = c->strand.Post([this, cp] {
        Connection* c = cp;
        RAS_CONNECTION_0 c0;
        RAS_CONNECTION_1 c1;
        c->Fill(c0, c1, 0, false);
        // Refused as soon as one DLL of the list refuses.
        BOOL accepted = TRUE;
        for (const auto& admin : admins_) {
            if (accepted && admin->acceptConnection)
                accepted = Callback(*c, "MprAdminAcceptNewConnection",
                                    [&] { return admin->acceptConnection(&c0, &c1); });
        }
        if (!accepted) {
            std::lock_guard<std::mutex> lock(mutex_);
            RetireLocked(*c);
            return 0;
        }
        RAS_PORT_0 p0;
        RAS_PORT_1 p1;
        c->Fill(p0, p1, 0, false);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            c->linkOffered = true;
        }
        BOOL linked = TRUE;
        for (const auto& admin : admins_) {
            if (linked && admin->acceptLink)
                linked = Callback(*c, "MprAdminAcceptNewLink", [&] { return admin->acceptLink(&p0, &p1); });
        }
        std::lock_guard<std::mutex> lock(mutex_);
        // Disconnected while its link was offered: the hang-up is queued
        // behind this job already.
        if (c->phase == Connection::Phase::HangingUp) return linked ? 1 : 2;
        if (linked) {
            c->phase = Connection::Phase::Up;
            return 1;
        }
        // The connection was accepted, so its hang-up is told all the same.
        c->phase = Connection::Phase::HangingUp;
        c->hungUp = c->strand.Post([this, c] { DeliverHangup(*c, false); }).share();
        return 2;
    });
    if (outcome.wait_for(kCallbackWait) != std::future_status::ready)
        return "error: the administration DLL has not answered the new connection " + std::to_string(c->id) + "\n";
    const int result = outcome.get();
    if (result != 1) {
        say_("connection " + std::to_string(c->id) + " refused");
        return "refused\n";
    }
    say_("connection " + std::to_string(c->id) + " accepted on port " + Hex(c->port));
    return "ok\nconnection " + std::to_string(c->id) + " handle " + Hex(c->handle) + " port " + Hex(c->port) + "\n";
}

std::shared_future<void> RasHost::BeginHangupLocked(Connection& c) {
    c.phase = Connection::Phase::HangingUp;
    c.seconds = static_cast<uint32_t>((GetTickCount64() - c.dialTick) / 1000);
    Connection* cp = &c;
    c.hungUp = c.strand.Post([this, cp] { DeliverHangup(*cp, true); }).share();
    return c.hungUp;
}

void RasHost::RetireLocked(Connection& c) {
    c.phase = Connection::Phase::Gone;
    auto it = connections_.find(c.id);
    if (it == connections_.end()) return;
    retired_.push_back(it->second);
    connections_.erase(it);
}

void RasHost::DeliverHangup(Connection& conn, bool linkUp) {
    Connection* c = &conn;
    for (const auto& admin : admins_) {
        if (!admin->linkHangup || !linkUp) continue;
        RAS_PORT_0 p0;
        RAS_PORT_1 p1;
        c->Fill(p0, p1, c->seconds, true);
        Callback(*c, "MprAdminLinkHangupNotification", [&] { admin->linkHangup(&p0, &p1); });
    }
    double ms = 0;
    for (const auto& admin : admins_) {
        if (!admin->connectionHangup) continue;
        RAS_CONNECTION_0 c0;
        RAS_CONNECTION_1 c1;
        c->Fill(c0, c1, c->seconds, true);
        const LARGE_INTEGER start = CounterNow();
        Callback(*c, "MprAdminConnectionHangupNotification", [&] { admin->connectionHangup(&c0, &c1); });
        ms += CounterMs(start, CounterNow());
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hangupLatency_.Add(ms);
        hangups_.emplace_back(c->id, ms);
        RetireLocked(*c);
    }
    say_("connection " + std::to_string(c->id) + " hung up after " + std::to_string(c->seconds) +
         " s; its hang-up notification took " + Ms(ms) + " ms");
}

std::string RasHost::Hangup(uint32_t id) {
    std::shared_future<void> done;
    uint32_t seconds = 0, rx = 0, tx = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = connections_.find(id);
        if (it == connections_.end()) return "error: no connection " + std::to_string(id) + "\n";
        const auto& c = it->second;
        if (c->phase != Connection::Phase::Up)
            return "error: connection " + std::to_string(id) + " is not up (being accepted or hanging up)\n";
        done = BeginHangupLocked(*c);
        seconds = c->seconds;
        rx = c->bytesRcved;
        tx = c->bytesXmited;
    }
    if (done.wait_for(kCallbackWait) != std::future_status::ready)
        return "error: the hang-up notifications of connection " + std::to_string(id) + " have not returned\n";
    return "ok\nconnection " + std::to_string(id) + " seconds " + std::to_string(seconds) + " rx " +
           std::to_string(rx) + " tx " + std::to_string(tx) + "\n";
}

// The caller's line goes dead and the service loses the hang-up: the
// connection and its port are forgotten, and the DLL is told nothing.
std::string RasHost::Drop(uint32_t id) {
    uint32_t seconds = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = connections_.find(id);
        if (it == connections_.end()) return "error: no connection " + std::to_string(id) + "\n";
        Connection& c = *it->second;
        if (c.phase != Connection::Phase::Up)
            return "error: connection " + std::to_string(id) + " is not up (being accepted or hanging up)\n";
        c.seconds = seconds = static_cast<uint32_t>((GetTickCount64() - c.dialTick) / 1000);
        drops_.emplace_back(id, seconds);
        RetireLocked(c);
    }
    say_("connection " + std::to_string(id) + " dropped after " + std::to_string(seconds) +
         " s; no hang-up is delivered");
    return "ok\nconnection " + std::to_string(id) + " dropped seconds " + std::to_string(seconds) + "\n";
}

std::string RasHost::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out = "ok\n";
    out += std::string("mode ") + (syncDisconnect_ ? "sync" : "async") + "\n";
    out += "admin-dll " + (adminPath_.empty() ? std::string("none") : Utf8(adminPath_)) + "\n";
    // The control pipe answers before the DLL is initialised: a client that
    // waits for the host waits for this line.
    out += std::string("dials ") + (dialsOpen_ ? "open" : "closed") + "\n";
    const ULONGLONG now = GetTickCount64();
    for (const auto& entry : connections_) {
        const Connection& c = *entry.second;
        const char* phase = c.phase == Connection::Phase::Up          ? "up"
                            : c.phase == Connection::Phase::Accepting ? "accepting"
                                                                      : "hanging-up";
        out += "connection " + std::to_string(c.id) + " handle " + Hex(c.handle) + " port " + Hex(c.port) +
               " seconds " + std::to_string((now - c.dialTick) / 1000) + " rx " + std::to_string(c.bytesRcved) +
               " tx " + std::to_string(c.bytesXmited) + " " + phase + "\n";
        if (c.busyIn)
            out += "busy " + std::to_string(c.id) + " " + c.busyIn + " ms " + std::to_string(now - c.busySince) + "\n";
    }
    for (const auto& h : hangups_) out += "hangup " + std::to_string(h.first) + " ms " + Ms(h.second) + "\n";
    out += "hangups " + std::to_string(hangupLatency_.Count()) + " median-ms " + Ms(hangupLatency_.Median()) +
           " max-ms " + Ms(hangupLatency_.Max()) + "\n";
    for (const auto& d : drops_)
        out += "dropped " + std::to_string(d.first) + " seconds " + std::to_string(d.second) + "\n";
    for (const std::string& call : forbiddenCalls_) out += "forbidden " + call + "\n";
    out += "port-calls clear-stats " + std::to_string(clearStatsCalls_) + " reset " + std::to_string(resetCalls_) + "\n";
    out += "connection-enum calls " + std::to_string(connectionEnumCalls_) + "\n";
    return out;
}

void RasHost::JoinRetired() {
    std::vector<std::shared_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done.swap(retired_);
    }
    // Their last job has run or is returning: each strand ends at once.
    done.clear();
}

std::shared_ptr<RasHost::Connection> RasHost::LivePortLocked(HANDLE port) {
    for (auto& entry : connections_)
        if (entry.second->port == port &&
            (entry.second->phase == Connection::Phase::Up ||
             (entry.second->phase == Connection::Phase::Accepting && entry.second->linkOffered)))
            return entry.second;
    return nullptr;
}

DWORD WINAPI RasHost::OnServerConnect(void* context) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminServerConnect");
    std::lock_guard<std::mutex> lock(host->mutex_);
    return host->running_ ? NO_ERROR : ERROR_SERVICE_NOT_ACTIVE;
}

DWORD WINAPI RasHost::OnPortClearStats(void* context, HANDLE port) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminPortClearStats");
    std::lock_guard<std::mutex> lock(host->mutex_);
    if (!host->LivePortLocked(port)) return ERROR_INVALID_HANDLE;
    ++host->clearStatsCalls_;
    return NO_ERROR;
}

DWORD WINAPI RasHost::OnPortReset(void* context, HANDLE port) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminPortReset");
    std::lock_guard<std::mutex> lock(host->mutex_);
    if (!host->LivePortLocked(port)) return ERROR_INVALID_HANDLE;
    ++host->resetCalls_;
    return NO_ERROR;
}

// The hang-ups follow on the connection's own strand. In sync mode the call
// returns only after they were delivered, as a plug-in that disconnects from
// inside a callback would experience with the real service: it never returns.
DWORD WINAPI RasHost::OnPortDisconnect(void* context, HANDLE port) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminPortDisconnect");
    std::shared_future<void> done;
    bool sync = false;
    {
        std::lock_guard<std::mutex> lock(host->mutex_);
        auto c = host->LivePortLocked(port);
        if (!c) return ERROR_INVALID_HANDLE;
        done = host->BeginHangupLocked(*c);
        sync = host->syncDisconnect_;
    }
    if (sync) done.wait();
    return NO_ERROR;
}

void WINAPI RasHost::OnServerDisconnect(void* context) {
    static_cast<RasHost*>(context)->RefuseInsideCallback("MprAdminServerDisconnect");
}

// Every connection in the table exists for the service: from the moment it is
// offered to the DLL until its hang-up notifications have returned. A refused
// or dropped one has left the table.
DWORD WINAPI RasHost::OnConnectionEnum(void* context, HANDLE* connections, DWORD capacity, DWORD* count) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminConnectionEnum");
    std::lock_guard<std::mutex> lock(host->mutex_);
    DWORD n = 0;
    for (const auto& entry : host->connections_) {
        if (n < capacity) connections[n] = entry.second->handle;
        ++n;
    }
    *count = n;
    // A list too long for the buffer is asked for again: count the answer once.
    if (n <= capacity) ++host->connectionEnumCalls_;
    return NO_ERROR;
}

// One link per connection: its port, while the service lists the connection.
DWORD WINAPI RasHost::OnPortEnum(void* context, HANDLE connection, HANDLE* ports, DWORD capacity, DWORD* count) {
    auto* host = static_cast<RasHost*>(context);
    host->RefuseInsideCallback("MprAdminPortEnum");
    std::lock_guard<std::mutex> lock(host->mutex_);
    *count = 0;
    for (const auto& entry : host->connections_) {
        if (entry.second->handle != connection) continue;
        if (capacity > 0) ports[0] = entry.second->port;
        *count = 1;
        return NO_ERROR;
    }
    return ERROR_INVALID_PARAMETER;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

#include "GateSoak.h"

#include <mprapi.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <random>

#include "PluginCopy.h"
#include "StandinMprapi.h"
#include "Win32Clock.h"

namespace {

std::string ExeFolder() {
    std::string name(MAX_PATH * 4, '\0');
    const DWORD n = GetModuleFileNameA(nullptr, &name[0], static_cast<DWORD>(name.size()));
    name.resize(n);
    return name.substr(0, name.find_last_of('\\') + 1);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD w = 0;
    const BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &w, nullptr);
    CloseHandle(f);
    return ok && w == bytes.size();
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + name + "\\");
            else
                DeleteFileA((dir + name).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// Every line of every daily log in the folder, read as it grows. A midnight
// during a long soak starts a second file; both are followed.
class LogFollower {
public:
    explicit LogFollower(std::string folder) : folder_(std::move(folder)) {}

    uint64_t Lines() {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((folder_ + "*_log.txt").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return lines_;
        do ReadNew(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
        return lines_;
    }
    uint64_t Torn() const { return torn_; }

    // Polls until at least `count` lines are there; false after `timeoutMs`.
    bool WaitLines(uint64_t count, DWORD timeoutMs) {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        while (Lines() < count) {
            if (GetTickCount64() >= deadline) return false;
            Sleep(1);
        }
        return true;
    }

private:
    struct FileState {
        uint64_t offset = 0;
        std::string partial;  // a line whose end has not been written yet
    };

    void ReadNew(const std::string& name) {
        FileState& st = files_[name];
        HANDLE f = CreateFileA((folder_ + name).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(st.offset);
        SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
        char buf[65536];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) {
            st.offset += got;
            for (DWORD i = 0; i < got; ++i) {
                if (buf[i] != '\n') {
                    st.partial += buf[i];
                    continue;
                }
                Check(st.partial);
                st.partial.clear();
                ++lines_;
            }
        }
        CloseHandle(f);
    }

    // A whole line is empty or one dated line: "[date] : [time] - text".
    void Check(const std::string& line) {
        if (line.empty() || line[line.size() - 1] != '\r') {
            ++torn_;
            return;
        }
        if (line.size() == 1) return;
        size_t marks = 0;
        for (size_t p = 0; (p = line.find("] : [", p)) != std::string::npos; ++p) ++marks;
        if (line[0] != '[' || marks != 1) ++torn_;
    }

    std::string folder_;
    std::map<std::string, FileState> files_;
    uint64_t lines_ = 0;
    uint64_t torn_ = 0;
};


// One dial-in, as the service hands it over.
struct Call {
    RAS_CONNECTION_0 c0{};
    RAS_CONNECTION_1 c1{};
    RAS_PORT_0 p0{};
    RAS_PORT_1 p1{};
    explicit Call(uintptr_t id) {
        c0.hConnection = c1.hConnection = p0.hConnection = reinterpret_cast<HANDLE>(id);
        p0.hPort = p1.hPort = reinterpret_cast<HANDLE>(id + 0x100000);
    }
};

// The soak's remote-access service: the plug-in's client calls, with a
// hang-up delivered while a chosen port call is under way.
class Service {
public:
    enum class Hold { None, ClearStats, Reset, Disconnect, InsideDisconnect };

    explicit Service(const PluginCopy& plugin) : plugin_(plugin) {
        inCall_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Service() {
        Remove();
        CloseHandle(inCall_);
        CloseHandle(release_);
    }
    bool Install() {
        set_ = reinterpret_cast<StandinMprapiSetHooksFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("mprapi.dll"), STANDIN_MPRAPI_SET_HOOKS)));
        if (!set_) return false;
        StandinMprapiHooks hooks{this, &Connect, &ClearStats, &Reset, &Disconnect, &ServerDisconnect, nullptr, nullptr};
        set_(&hooks);
        return true;
    }
    void Remove() {
        if (set_) set_(nullptr);
        set_ = nullptr;
    }

    // The next disconnect stops in `hold`; `call` is the connection it belongs to.
    void Arm(Hold hold, Call* call) {
        ResetEvent(inCall_);
        ResetEvent(release_);
        call_ = call;
        hold_ = hold;
    }
    bool WaitInCall(DWORD ms) { return WaitForSingleObject(inCall_, ms) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_); }
    double InsideHangupMs() const { return insideHangupMs_; }

    // The two hang-up callbacks; returns how long the connection's took.
    double HangUp(Call& call) const {
        plugin_.LinkHangup(&call.p0, &call.p1);
        const double start = CounterMs();
        plugin_.ConnectionHangup(&call.c0, &call.c1);
        return CounterMs() - start;
    }

private:
    DWORD PortCall(Hold which) {
        if (hold_ != which) return NO_ERROR;
        hold_ = Hold::None;
        if (which == Hold::InsideDisconnect) {
            // As a service that reports the hang-up before the call returns, on the caller's thread.
            insideHangupMs_ = HangUp(*call_);
            SetEvent(inCall_);
            return NO_ERROR;
        }
        SetEvent(inCall_);
        // The hang-up comes from the driver's thread meanwhile; bounded, so a
        // plug-in that never hangs up shows as a timed-out wait, not a hang.
        WaitForSingleObject(release_, 10000);
        return NO_ERROR;
    }
    static DWORD WINAPI Connect(void*) { return NO_ERROR; }
    static DWORD WINAPI ClearStats(void* c, HANDLE) { return static_cast<Service*>(c)->PortCall(Hold::ClearStats); }
    static DWORD WINAPI Reset(void* c, HANDLE) { return static_cast<Service*>(c)->PortCall(Hold::Reset); }
    static DWORD WINAPI Disconnect(void* c, HANDLE) {
        auto* self = static_cast<Service*>(c);
        return self->hold_ == Hold::InsideDisconnect ? self->PortCall(Hold::InsideDisconnect)
                                                     : self->PortCall(Hold::Disconnect);
    }
    static void WINAPI ServerDisconnect(void*) {}

    const PluginCopy& plugin_;
    StandinMprapiSetHooksFn set_ = nullptr;
    HANDLE inCall_ = nullptr;
    HANDLE release_ = nullptr;
    volatile Hold hold_ = Hold::None;
    Call* call_ = nullptr;
    double insideHangupMs_ = 0;
};

// What each connection owes the log, in lines ('\n'):
// accepted + worker started, link up, link down, and the hang-up's five.
constexpr uint64_t kCallbackLines = 2 + 1 + 1 + 5;
// Blank, arrived, user, pass, limit (its value ends in a line end of its own), blank.
constexpr uint64_t kUserBlockLines = 2 + 1 + 1 + 1 + 2 + 2;
// FTP stopping, account, starting.
constexpr uint64_t kFtpLines = 3;
// Server connect, three port calls, disconnected, exit thread.
constexpr uint64_t kDisconnectLines = 6;

size_t CountThreads(DWORD processId) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    size_t n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == processId) ++n;
    CloseHandle(snap);
    return n;
}

// Wine answers GetProcessHandleCount with 0; its system handle list is
// complete, so the handles are counted there instead.
DWORD CountHandles(HANDLE process, DWORD processId) {
    DWORD n = 0;
    if (GetProcessHandleCount(process, &n) && n != 0) return n;
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<BYTE> buf(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(16 /* SystemHandleInformation */, buf.data(), static_cast<ULONG>(buf.size()), &needed);
        if (status == 0) break;
        if (status != static_cast<LONG>(0xC0000004) /* info length mismatch */ || buf.size() > (256u << 20)) return 0;
        buf.resize(std::max<size_t>(buf.size() * 2, needed + 4096));
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(buf.data());
    const auto* entries = reinterpret_cast<const Entry*>(buf.data() + sizeof(ULONG_PTR));
    n = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].ownerPid == processId) ++n;
    return n;
}

}  // namespace

const char* HangupMomentName(HangupMoment m) {
    switch (m) {
        case HangupMoment::BeforeRecord: return "before the record";
        case HangupMoment::InFtpStep: return "in the FTP step";
        case HangupMoment::InDisconnect: return "during the disconnect";
        case HangupMoment::InsideDisconnect: return "inside MprAdminPortDisconnect";
        case HangupMoment::AfterDisconnect: return "after the disconnect";
        case HangupMoment::AtLimit: return "at the limit";
        default: return "?";
    }
}

ProcessSample SampleProcess(HANDLE process, DWORD processId, int connections) {
    ProcessSample s;
    s.connections = connections;
    s.handles = CountHandles(process, processId);
    s.threads = CountThreads(processId);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
        s.privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    return s;
}

GateSoakResult RunGateSoak(const GateSoakOptions& options) {
    GateSoakResult r;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir =
        std::string(temp) + "gatesoak_" + std::to_string(GetCurrentProcessId()) + "_" +
        std::to_string(GetTickCount64() % 1000000) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string users = dir + "users\\", logs = dir + "LOGS\\";
    CreateDirectoryA(users.c_str(), nullptr);
    CreateDirectoryA((dir + "ftp").c_str(), nullptr);
    // The FTP service does not exist: its stop and start fail at once and the
    // step still writes its account and its three lines.
    WriteFileBytes(dir + "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + dir +
                                              "time.txt\r\nTIME_FOR_REG=1\r\nSHOW_VARS=0\r\n[LOG]\r\nLOG_PATH=" + logs +
                                              "\r\n[FTP]\r\nFTP_INI_FILE=" + dir +
                                              "ftp\\users.ini\r\nFTP_ACCOUNTING_ENABLED=1\r\n"
                                              "FTP_SERVICE_NAME=dg_soak_no_such_service\r\n");
    const HANDLE self = GetCurrentProcess();
    const DWORD selfId = GetCurrentProcessId();
    auto sample = [&](int done) {
        r.samples.push_back(SampleProcess(self, selfId, done));
        if (options.onSample) options.onSample(r.samples.back());
    };
    {
        PluginCopy plugin(dir, ExeFolder() + "fast\\dialgate.dll");
        if (!plugin.Loaded()) {
            r.failure = "cannot load fast\\dialgate.dll with mprapi.dll beside it";
            return r;
        }
        Service service(plugin);
        if (!service.Install()) {
            r.failure = "the stand-in mprapi.dll is not the one loaded (WINEDLLOVERRIDES=mprapi=n,b)";
            return r;
        }
        plugin.Initialize();
        // The start: the plug-in loaded and initialised, no connection yet.
        sample(0);
        LogFollower log(logs);
        // The start-up lines: whatever initialisation wrote.
        Sleep(50);
        r.linesExpected = log.Lines();

        std::string rows;
        std::mt19937 rng(options.seed);
        auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        for (int i = 0; i < options.connections; ++i) {
            Call call(0xc0000 + static_cast<uintptr_t>(i) + 1);
            // The previous worker may still finish its FTP step: the dial is refused, logged, and tried again.
            BOOL accepted = FALSE;
            for (int tries = 0; tries < 200 && !accepted; ++tries) {
                accepted = plugin.AcceptConnection(&call.c0, &call.c1);
                if (!accepted) {
                    rows += "refused\r\n";
                    ++r.refusals;
                    ++r.linesExpected;
                    Sleep(20);
                }
            }
            if (!accepted) {
                r.failure = "connection " + std::to_string(i) + " refused for 4 s";
                break;
            }
            plugin.AcceptLink(&call.p0, &call.p1);
            r.linesExpected += kCallbackLines;
            const uint64_t upTo = r.linesExpected - 5 - 1;  // before the link's and the connection's hang-up lines

            HangupMoment moment;
            const int pick = below(options.atLimitOneIn * 5);
            if (pick < 5)
                moment = HangupMoment::AtLimit;
            else
                moment = static_cast<HangupMoment>(pick % 5);
            ++r.byMoment[static_cast<int>(moment)];

            // Fifty callers take turns, so users.ini keeps fifty sections.
            const std::string user = "soak" + std::to_string(i % 50);
            rows += user + " " + HangupMomentName(moment) + "\r\n";
            double took = 0;
            bool came = true;
            switch (moment) {
                case HangupMoment::BeforeRecord:
                    Sleep(below(150));
                    took = service.HangUp(call);
                    break;
                case HangupMoment::InFtpStep:
                    WriteFileBytes(users + "current.user", user + "\r\npw\r\n1\r\n");
                    // The FTP step's first line is out: the step is under way.
                    came = log.WaitLines(upTo + kUserBlockLines + 1, 5000);
                    if (below(2)) Sleep(below(100));
                    took = service.HangUp(call);
                    r.linesExpected += kUserBlockLines + kFtpLines;
                    break;
                case HangupMoment::InDisconnect:
                case HangupMoment::InsideDisconnect: {
                    const Service::Hold hold = moment == HangupMoment::InsideDisconnect
                                                   ? Service::Hold::InsideDisconnect
                                                   : static_cast<Service::Hold>(1 + below(3));
                    service.Arm(hold, &call);
                    WriteFileBytes(users + "current.user", user + "\r\npw\r\n0\r\n");
                    came = service.WaitInCall(5000);
                    if (hold == Service::Hold::InsideDisconnect) {
                        took = service.InsideHangupMs();
                    } else {
                        took = service.HangUp(call);
                        service.Release();
                    }
                    // Server connect and the port calls that returned before the hold;
                    // the held call's own line comes after the hang-up and is not written.
                    const uint64_t portLines = hold == Service::Hold::ClearStats ? 0
                                               : hold == Service::Hold::Reset    ? 1
                                                                                 : 2;
                    r.linesExpected += kUserBlockLines + kFtpLines + 1 + portLines;
                    break;
                }
                case HangupMoment::AfterDisconnect:
                    WriteFileBytes(users + "current.user", user + "\r\npw\r\n0\r\n");
                    came = log.WaitLines(upTo + kUserBlockLines + kFtpLines + kDisconnectLines, 5000);
                    Sleep(below(50));
                    took = service.HangUp(call);
                    r.linesExpected += kUserBlockLines + kFtpLines + kDisconnectLines;
                    break;
                case HangupMoment::AtLimit:
                    // A minute of fifty-millisecond cycles.
                    came = log.WaitLines(upTo + kDisconnectLines, 10000);
                    took = service.HangUp(call);
                    r.linesExpected += kDisconnectLines;
                    break;
                default: break;
            }
            if (!came) ++r.waitsTimedOut;
            r.hangupMs.push_back(took);
            if ((i + 1) % options.sampleEvery == 0 && i + 1 < options.connections) sample(i + 1);
        }
        // The last worker ends, its lines are written and its handles closed.
        const size_t before = r.samples.front().threads;
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (CountThreads(selfId) > before && GetTickCount64() < deadline) Sleep(10);
        log.WaitLines(r.linesExpected, 2000);
        r.linesCounted = log.Lines();
        r.tornLines = log.Torn();
        service.Remove();
        sample(options.connections);
        plugin.Terminate();
        if (!options.keepLog.empty()) {
            WIN32_FIND_DATAA fd;
            HANDLE h = FindFirstFileA((logs + "*_log.txt").c_str(), &fd);
            if (h != INVALID_HANDLE_VALUE) {
                CopyFileA((logs + fd.cFileName).c_str(), options.keepLog.c_str(), FALSE);
                FindClose(h);
            }
            WriteFileBytes(options.keepLog + ".rows", rows);
        }
    }
    RemoveTree(dir);
    return r;
}

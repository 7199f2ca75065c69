#include "Worker.h"

#include <string>
#include <vector>

#include "Config.h"
#include "Countdown.h"
#include "FtpAccount.h"
#include "FtpAccountFormat.h"
#include "Log.h"
#include "Services.h"
#include "Texts.h"
#include "UserFiles.h"

namespace {

// How long the FTP step waits for the FTP service to stop before it writes
// users.ini, so that a server saving its user list on shutdown cannot
// overwrite the new account.
constexpr DWORD kFtpStopWaitMs = 10000;
// The record's lines are short; this only bounds a file far outside the format.
constexpr size_t kRecordLineBytes = 4096;

// Holds the worker's step mutex for one step. A step begins only while no
// hang-up has asked the worker to stop.
class StepLock {
public:
    explicit StepLock(WorkerContext& ctx) : ctx_(ctx) { WaitForSingleObject(ctx_.stepMutex.Get(), INFINITE); }
    ~StepLock() { ReleaseMutex(ctx_.stepMutex.Get()); }
    StepLock(const StepLock&) = delete;
    StepLock& operator=(const StepLock&) = delete;
    bool MayProceed() const { return !ctx_.stopRequested.load(); }

private:
    WorkerContext& ctx_;
};

template <class Write>
bool GatedWrite(WorkerContext& ctx, Write write) {
    AcquireSRWLockExclusive(&ctx.writeGate);
    const bool open = !ctx.gateClosed;
    if (open) write();
    ReleaseSRWLockExclusive(&ctx.writeGate);
    return open;
}

double MonotonicMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

// Waits until `deadlineMs`; true when the hang-up's stop signal came first.
bool WaitForStop(WorkerContext& ctx, double deadlineMs) {
    for (;;) {
        const double left = deadlineMs - MonotonicMs();
        const DWORD wait = left <= 0 ? 0 : static_cast<DWORD>(left + 0.999);
        if (WaitForSingleObject(ctx.stopEvent.Get(), wait) == WAIT_OBJECT_0) return true;
        if (MonotonicMs() >= deadlineMs) return false;
    }
}

void LogUserBlock(WorkerContext& ctx, const UserRecordHead& head) {
    WorkerLog(ctx, "\n", false);
    WorkerLog(ctx, text::kUserArrived, true);
    WorkerLog(ctx, std::string(text::kUserLine) + head.user, true);
    WorkerLog(ctx, std::string(text::kPassLine) + head.password, true);
    WorkerLog(ctx, std::string(text::kLimitLine) + head.limitText + "\n", true);
    WorkerLog(ctx, "\n", false);
}

// Stop request, account, start request. Once begun it runs to its end, even
// when the caller hangs up meanwhile, so that the FTP service is never left
// stopped and no section is left half written; its lines are written in any
// case. False when the worker is to end after it.
bool RunFtpStep(WorkerContext& ctx, const std::vector<std::string>& record) {
    const GatewayConfigRecord& c = *ctx.config;
    StepLock step(ctx);
    if (!step.MayProceed()) return false;

    // Written past the gate: the step's lines belong with the step.
    const auto log = [&](std::string_view line) { LogWriteTo(c.logFolder, line, true); };
    ServiceStop(c.ftpServiceName);
    log(text::kFtpStopping);
    const std::string login = LineOrEmpty(record, 1);
    if (login != "USER" && IsAcceptableFtpLogin(login)) ServiceWaitStopped(c.ftpServiceName, kFtpStopWaitMs);
    const FtpAccountResult result = ProvisionFtpAccount(c, record);
    log(text::kFtpAccount);
    if (result == FtpAccountResult::RefusedLogin) log(text::kFtpLoginRefused);
    if (result == FtpAccountResult::WriteFailed) log(std::string(text::kFtpWriteFailed) + c.ftpIniFile);
    ServiceStart(c.ftpServiceName);
    log(text::kFtpStarting);
    return step.MayProceed();
}

// A client call of the remote-access service. Marked, so that a hang-up the
// call itself delivers does not wait for the worker.
template <class Call>
DWORD ClientCall(WorkerContext& ctx, Call call) {
    ctx.clientCallSince = GetTickCount64();
    const DWORD result = call();
    ctx.clientCallSince = 0;
    return result;
}

void LogOutcome(WorkerContext& ctx, const char* call, DWORD result) {
    WorkerLog(ctx, std::string(call) + (result == NO_ERROR ? text::kCallOk : text::kCallFailed), true);
}

bool GateClosed(WorkerContext& ctx) {
    AcquireSRWLockShared(&ctx.writeGate);
    const bool closed = ctx.gateClosed;
    ReleaseSRWLockShared(&ctx.writeGate);
    return closed;
}

void DisconnectActivePort(WorkerContext& ctx) {
    StepLock step(ctx);
    if (!step.MayProceed()) return;
    const HANDLE port = ActivePortHandle();
    MPR_SERVER_HANDLE server = nullptr;
    LogOutcome(ctx, "MprAdminServerConnect",
               ClientCall(ctx, [&] { return MprAdminServerConnect(nullptr, &server); }));

    struct PortStep {
        const char* name;
        DWORD(WINAPI* call)(RAS_SERVER_HANDLE, HANDLE);
    };
    const PortStep portSteps[] = {{"MprAdminPortClearStats", MprAdminPortClearStats},
                                  {"MprAdminPortReset", MprAdminPortReset},
                                  {"MprAdminPortDisconnect", MprAdminPortDisconnect}};
    for (const PortStep& s : portSteps) {
        // Once the caller has hung up the port is gone: no further port call.
        if (GateClosed(ctx)) break;
        LogOutcome(ctx, s.name, ClientCall(ctx, [&] { return s.call(server, port); }));
    }
    // The server handle is released whatever happened to the port.
    if (server) {
        ClientCall(ctx, [&] {
            MprAdminServerDisconnect(server);
            return DWORD{NO_ERROR};
        });
    }
    WorkerLog(ctx, text::kDisconnected, true);
    WorkerLog(ctx, text::kExitThread, true);
}

void RunWorker(WorkerContext& ctx) {
    const GatewayConfigRecord& c = *ctx.config;
    Countdown countdown(c.regMinutes);
    bool userPending = true;
    const double start = MonotonicMs();
    while (countdown.Running()) {
        // Paced against the clock: the file work of a cycle does not add up.
        if (WaitForStop(ctx, start + static_cast<double>(countdown.Elapsed() + 1) * kCycleMs)) return;
        std::vector<std::string> record;
        bool ftpStep = false;
        {
            StepLock step(ctx);
            if (!step.MayProceed()) return;
            GatedWrite(ctx, [&] { WriteUserTimeFile(c, countdown.SecondsLeft()); });
            UserRecordHead head;
            // A record that exists but cannot be read yet is tried again next
            // cycle: an empty one would mean a limit of 0.
            if (userPending && FileExists(c.currentUser) && ReadCurrentUserHead(c, head) &&
                ReadFileLines(c.currentUser, 2, kRecordLineBytes, record)) {
                LogUserBlock(ctx, head);
                countdown.UserArrived(LeadingNumber(head.limitText));
                userPending = false;
                ftpStep = c.ftpAccounting;
            }
        }
        if (ftpStep && !RunFtpStep(ctx, record)) return;
        countdown.CycleDone();
    }
    DisconnectActivePort(ctx);
}

}  // namespace

bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated) {
    return GatedWrite(ctx, [&] { LogWriteTo(ctx.config->logFolder, message, dated); });
}

DWORD WINAPI ConnectionWorker(LPVOID param) {
    auto* handed = static_cast<std::shared_ptr<WorkerContext>*>(param);
    std::shared_ptr<WorkerContext> ctx = std::move(*handed);
    delete handed;
    try {
        RunWorker(*ctx);
    } catch (...) {
        // Out of memory: the worker ends; the caller is disconnected by the hang-up or stays untimed.
    }
    const HMODULE module = ctx->module;
    ctx.reset();
    FreeLibraryAndExitThread(module, 0);
}

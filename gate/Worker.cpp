#include "Worker.h"

#include <string>
#include <vector>

#include "Countdown.h"
#include "Events.h"
#include "FtpAccount.h"
#include "FtpAccountFormat.h"
#include "Log.h"
#include "Services.h"
#include "LogTexts.h"
#include "UserFiles.h"
#include "Win32Files.h"

namespace {

// How long the FTP step waits for the FTP service to stop before it writes
// users.ini, so that a server saving its user list on shutdown cannot
// overwrite the new account.
constexpr DWORD kFtpStopWaitMs = 10000;
// The record's lines are short; this only bounds a file far outside the format.
constexpr size_t kRecordLineBytes = 4096;

class PerformanceClock : public WorkerClock {
public:
    double NowMs() override {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) / ticksPerMs_;
    }
    bool WaitUntil(const WorkerStop& stop, double deadlineMs) override {
        for (;;) {
            const double left = deadlineMs - NowMs();
            const DWORD wait = left <= 0 ? 0 : static_cast<DWORD>(left + 0.999);
            if (WaitForSingleObject(stop.WakeEvent(), wait) == WAIT_OBJECT_0) return true;
            if (NowMs() >= deadlineMs) return stop.Requested();
        }
    }

private:
    const double ticksPerMs_ = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
};

void LogUserBlock(WorkerContext& ctx, const UserRecordHead& head) {
    WorkerLog(ctx, "\n", false);
    WorkerLog(ctx, log_text::kUserArrived, true);
    WorkerLog(ctx, std::string(log_text::kUserLine) + head.user, true);
    WorkerLog(ctx, std::string(log_text::kPassLine) + head.password, true);
    WorkerLog(ctx, std::string(log_text::kLimitLine) + head.limitText + "\n", true);
    WorkerLog(ctx, "\n", false);
}

// Stop request, account, start request. Once begun it runs to its end, even
// when the caller hangs up meanwhile, so that the FTP service is never left
// stopped and no section is left half written; its lines are written in any
// case. False when the worker is to end after it.
bool RunFtpStep(WorkerContext& ctx, const std::vector<std::string>& record) {
    const GatewayConfigRecord& c = *ctx.config;
    WorkerStop::Step step(ctx.stop);
    if (!step.Begun()) return false;

    // Written past the gate: the step's lines belong with the step.
    const auto log = [&](std::string_view line) { LogWriteTo(c.logFolder, line, true); };
    ServiceStop(c.ftpServiceName);
    log(log_text::kFtpStopping);
    const std::string login = LineOrEmpty(record, 1);
    if (login != "USER" && IsAcceptableFtpLogin(login)) ServiceWaitStopped(c.ftpServiceName, kFtpStopWaitMs);
    const FtpAccountResult result = ProvisionFtpAccount(c, record);
    log(log_text::kFtpAccount);
    if (result == FtpAccountResult::RefusedLogin) log(log_text::kFtpLoginRefused);
    if (result == FtpAccountResult::WriteFailed) log(std::string(log_text::kFtpWriteFailed) + c.ftpIniFile);
    ServiceStart(c.ftpServiceName);
    log(log_text::kFtpStarting);
    return !ctx.stop.Requested();
}

void LogOutcome(WorkerContext& ctx, const char* call, DWORD result) {
    WorkerLog(ctx, std::string(call) + (result == NO_ERROR ? log_text::kCallOk : log_text::kCallFailed), true);
}

void DisconnectActivePort(WorkerContext& ctx, const WorkerEnv& env) {
    WorkerStop::Step step(ctx.stop);
    if (!step.Begun()) return;
    const AdminCalls& admin = env.admin;
    const HANDLE port = env.activePort();
    MPR_SERVER_HANDLE server = nullptr;
    LogOutcome(ctx, log_text::kDisconnectCalls[0],
               ctx.stop.ClientCall([&] { return admin.serverConnect(nullptr, &server); }));

    struct PortStep {
        const char* name;
        DWORD(WINAPI* call)(RAS_SERVER_HANDLE, HANDLE);
    };
    const PortStep portSteps[] = {{log_text::kDisconnectCalls[1], admin.portClearStats},
                                  {log_text::kDisconnectCalls[2], admin.portReset},
                                  {log_text::kDisconnectCalls[3], admin.portDisconnect}};
    for (const PortStep& s : portSteps) {
        // Once the caller has hung up the port is gone: no further port call.
        if (ctx.stop.GateClosed()) break;
        LogOutcome(ctx, s.name, ctx.stop.ClientCall([&] { return s.call(server, port); }));
    }
    // The server handle is released whatever happened to the port.
    if (server) {
        ctx.stop.ClientCall([&] {
            admin.serverDisconnect(server);
            return DWORD{NO_ERROR};
        });
    }
    WorkerLog(ctx, log_text::kDisconnected, true);
    WorkerLog(ctx, log_text::kExitThread, true);
}

// Whether the service answered that this connection no longer exists. A call
// that fails proves nothing: the caller may be there, and would go untimed.
bool ConnectionGone(WorkerContext& ctx, const AdminCalls& admin) {
    MPR_SERVER_HANDLE server = nullptr;
    if (ctx.stop.ClientCall([&] { return admin.serverConnect(nullptr, &server); }) != NO_ERROR || !server)
        return false;
    bool answered = false, listed = false;
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        const DWORD result = ctx.stop.ClientCall(
            [&] { return admin.connectionEnum(server, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume); });
        if (buffer) {
            const auto* entries = reinterpret_cast<const RAS_CONNECTION_0*>(buffer);
            for (DWORD i = 0; i < read; ++i) listed = listed || entries[i].hConnection == ctx.connection;
            admin.bufferFree(buffer);
        }
        if (result == ERROR_MORE_DATA && !listed) continue;
        answered = result == NO_ERROR || result == ERROR_MORE_DATA;
        break;
    }
    ctx.stop.ClientCall([&] {
        admin.serverDisconnect(server);
        return DWORD{NO_ERROR};
    });
    return answered && !listed;
}

// The service lost the hang-up: the worker ends as a hang-up would have ended it.
void EndForGoneConnection(WorkerContext& ctx, int64_t secondsTimed) {
    ReportConnectionGone(secondsTimed);
    WorkerLog(ctx, log_text::kConnectionGone, true);
    ctx.stop.GatedWrite([&] { ClearUserFiles(*ctx.config); });
    WorkerLog(ctx, std::string(log_text::kDuration) + std::to_string(secondsTimed), true);
    WorkerLog(ctx, log_text::kUserHungUp, true);
}

}  // namespace

WorkerClock& SystemClock() {
    static PerformanceClock clock;
    return clock;
}

bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated) {
    return ctx.stop.GatedWrite([&] { LogWriteTo(ctx.config->logFolder, message, dated); });
}

void RunWorker(WorkerContext& ctx, const WorkerEnv& env) {
    const GatewayConfigRecord& c = *ctx.config;
    Countdown countdown(c.regMinutes);
    bool userPending = true;
    const double start = env.clock.NowMs();
    double nextAsk = start + kServiceAskIntervalMs;
    while (countdown.Running()) {
        // Paced against the clock: the file work of a cycle does not add up.
        const double due = start + static_cast<double>(countdown.Elapsed() + 1) * env.cycleMs;
        if (env.clock.WaitUntil(ctx.stop, due)) return;
        std::vector<std::string> record;
        bool ftpStep = false;
        {
            WorkerStop::Step step(ctx.stop);
            if (!step.Begun()) return;
            // Asked after a caller was refused, so that a connection whose
            // hang-up never came cannot keep every later caller out.
            if (ctx.askService.exchange(false) || env.clock.NowMs() >= nextAsk) {
                nextAsk = env.clock.NowMs() + kServiceAskIntervalMs;
                if (ConnectionGone(ctx, env.admin)) {
                    EndForGoneConnection(ctx, countdown.Elapsed());
                    return;
                }
            }
            ctx.stop.GatedWrite([&] { WriteUserTimeFile(c, countdown.SecondsLeft()); });
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
    DisconnectActivePort(ctx, env);
}

HMODULE RunConnectionWorker(LPVOID param, const WorkerEnv& env) noexcept {
    auto* handed = static_cast<std::shared_ptr<WorkerContext>*>(param);
    std::shared_ptr<WorkerContext> ctx = std::move(*handed);
    delete handed;
    try {
        RunWorker(*ctx, env);
    } catch (...) {
        // Out of memory: the worker ends; the caller is disconnected by the hang-up or stays untimed.
    }
    // No further step: a new caller need only wait for the thread's end.
    ctx->stopped = true;
    return ctx->module;
}

#include "Worker.h"

#include <algorithm>
#include <new>
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

void LogUserBlock(WorkerContext& ctx, const UserRecordHead& head) noexcept {
    try {
        const std::string user = std::string(log_text::kUserLine) + head.user;
        const std::string password = std::string(log_text::kPassLine) + head.password;
        const std::string limit = std::string(log_text::kLimitLine) + head.limitText + "\n";
        WorkerLog(ctx, {{"\n", false}, {log_text::kUserArrived}, {user}, {password}, {limit}, {"\n", false}});
    } catch (...) {
        // Out of memory: the block is lost, the caller is timed all the same.
    }
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

void LogOutcome(WorkerContext& ctx, const char* call, DWORD result) noexcept {
    try {
        WorkerLog(ctx, std::string(call) + (result == NO_ERROR ? log_text::kCallOk : log_text::kCallFailed), true);
    } catch (...) {
        // Out of memory: the line is lost; the disconnect goes on.
    }
}

// A handle of the local administration server, let go on every way out.
class ServerConnection {
public:
    ServerConnection(WorkerContext& ctx, const AdminCalls& admin) : ctx_(ctx), admin_(admin) {
        result_ = ctx_.stop.ClientCall([&] { return admin_.serverConnect(nullptr, &server_); });
        if (result_ != NO_ERROR) server_ = nullptr;
    }
    ~ServerConnection() {
        if (!server_) return;
        ctx_.stop.ClientCall([&] {
            admin_.serverDisconnect(server_);
            return DWORD{NO_ERROR};
        });
    }
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;
    DWORD Result() const { return result_; }
    MPR_SERVER_HANDLE Get() const { return server_; }

private:
    WorkerContext& ctx_;
    const AdminCalls& admin_;
    MPR_SERVER_HANDLE server_ = nullptr;
    DWORD result_ = ERROR_INVALID_HANDLE;
};

// Walks the pages of one of the service's answers: `ask` fetches a page
// (buffer, entries read, resume handle), `visit` reads its entries and
// returns true when it has what it wanted. The pages are bounded and a
// hang-up ends the walk between them. True when the answer was had whole (or
// `visit` was satisfied); false when it proves nothing.
template <class Ask, class Visit>
bool WalkPages(WorkerContext& ctx, const AdminCalls& admin, Ask ask, Visit visit) {
    DWORD resume = 0;
    for (int page = 0; page < kMostAnswerPages; ++page) {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        const DWORD before = resume;
        const DWORD result = ctx.stop.ClientCall([&] { return ask(&buffer, &read, &resume); });
        bool found = false;
        if (buffer) {
            if (result == NO_ERROR || result == ERROR_MORE_DATA) found = visit(buffer, read);
            admin.bufferFree(buffer);
        }
        if (found || result == NO_ERROR) return true;
        // More to come only from a page that brought something and moved on.
        if (result != ERROR_MORE_DATA || read == 0 || resume == 0 || resume == before) return false;
        if (ctx.stop.Requested()) return false;
    }
    return false;
}

enum class Listing { Listed, NotListed, Unknown };

// Whether the service lists this connection. A call that fails, or an answer
// that cannot be had whole, proves nothing: the caller may be there, and
// would go untimed.
Listing AskForConnection(WorkerContext& ctx, const AdminCalls& admin) {
    ServerConnection server(ctx, admin);
    if (!server.Get()) return Listing::Unknown;
    bool listed = false;
    const bool answered = WalkPages(
        ctx, admin,
        [&](LPBYTE* buffer, DWORD* read, DWORD* resume) {
            DWORD total = 0;
            return admin.connectionEnum(server.Get(), 0, buffer, MAX_PREFERRED_LENGTH, read, &total, resume);
        },
        [&](LPBYTE buffer, DWORD read) {
            const auto* entries = reinterpret_cast<const RAS_CONNECTION_0*>(buffer);
            for (DWORD i = 0; i < read; ++i) listed = listed || entries[i].hConnection == ctx.connection;
            return listed;
        });
    if (listed) return Listing::Listed;
    return answered ? Listing::NotListed : Listing::Unknown;
}

// The ports of this connection as the service lists them now, added to
// `ports`. False when the service could not say.
bool AskForPorts(WorkerContext& ctx, const AdminCalls& admin, const ServerConnection& server,
                 std::vector<HANDLE>& ports) {
    if (!server.Get()) return false;
    return WalkPages(
        ctx, admin,
        [&](LPBYTE* buffer, DWORD* read, DWORD* resume) {
            DWORD total = 0;
            return admin.portEnum(server.Get(), 0, ctx.connection, buffer, MAX_PREFERRED_LENGTH, read, &total,
                                  resume);
        },
        [&](LPBYTE buffer, DWORD read) {
            const auto* entries = reinterpret_cast<const RAS_PORT_0*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                if (entries[i].hConnection == ctx.connection) ports.push_back(entries[i].hPort);
            return false;
        });
}

// The design's DisconnectActivePort, for every port of the timed connection.
void DisconnectActivePort(WorkerContext& ctx, const WorkerEnv& env) {
    WorkerStop::Step step(ctx.stop);
    if (!step.Begun()) return;
    const AdminCalls& admin = env.admin;
    ServerConnection server(ctx, admin);
    LogOutcome(ctx, log_text::kDisconnectCalls[0], server.Result());

    // The service knows which ports the connection has now; the links it
    // reported count only when it cannot say. A port that went down may by
    // now carry someone else's call.
    std::vector<HANDLE> ports;
    try {
        if (!AskForPorts(ctx, admin, server, ports)) ports = ctx.ports.Copy();
    } catch (const std::bad_alloc&) {
        // Out of memory: the ports had so far.
    }
    // No port known: the steps run with none and fail, as the design has it,
    // rather than touch another connection's port.
    const size_t count = std::max<size_t>(ports.size(), 1);

    struct PortStep {
        const char* name;
        DWORD(WINAPI* call)(RAS_SERVER_HANDLE, HANDLE);
    };
    const PortStep portSteps[] = {{log_text::kDisconnectCalls[1], admin.portClearStats},
                                  {log_text::kDisconnectCalls[2], admin.portReset},
                                  {log_text::kDisconnectCalls[3], admin.portDisconnect}};
    for (size_t i = 0; i < count; ++i) {
        for (const PortStep& s : portSteps) {
            // Once the caller has hung up the port is gone: no further port call.
            if (ctx.stop.GateClosed()) break;
            const HANDLE port = i < ports.size() ? ports[i] : nullptr;
            LogOutcome(ctx, s.name, ctx.stop.ClientCall([&] { return s.call(server.Get(), port); }));
        }
    }
    WorkerLog(ctx, {{log_text::kDisconnected}, {log_text::kExitThread}});
}

// The service lost the hang-up: the worker ends as a hang-up would have ended it.
void EndForGoneConnection(WorkerContext& ctx, int64_t secondsTimed) {
    if (ctx.stop.GateClosed()) return;
    const std::string duration = std::string(log_text::kDuration) + std::to_string(secondsTimed);
    PendingLog block = PrepareLog(ctx.config->logFolder,
                                  {{log_text::kConnectionGone}, {duration}, {log_text::kUserHungUp}});
    // Deleted before the gate is taken, so that a hang-up does not wait for
    // the users' folder; a hang-up meanwhile deletes the same files.
    ClearUserFiles(*ctx.config);
    const bool ended = ctx.stop.GatedWrite([&] {
        ctx.foundGone = true;
        block.Write();
    });
    block.NoteOutcome();
    if (ended) ReportConnectionGone(secondsTimed);
}

}  // namespace

void ConnectionPorts::Add(HANDLE port) {
    ExclusiveLock lock(lock_);
    if (std::find(ports_.begin(), ports_.end(), port) == ports_.end()) ports_.push_back(port);
}

void ConnectionPorts::Remove(HANDLE port) {
    ExclusiveLock lock(lock_);
    ports_.erase(std::remove(ports_.begin(), ports_.end(), port), ports_.end());
}

std::vector<HANDLE> ConnectionPorts::Copy() const {
    SharedLock lock(lock_);
    return ports_;
}

WorkerClock& SystemClock() {
    static PerformanceClock clock;
    return clock;
}

bool WorkerLog(WorkerContext& ctx, std::initializer_list<LogLine> lines) noexcept {
    if (ctx.stop.GateClosed()) return false;
    // Opened before the gate is taken: a held log file makes the worker wait,
    // not the hang-up.
    PendingLog pending = PrepareLog(ctx.config->logFolder, lines);
    const bool written = ctx.stop.GatedWrite([&] { pending.Write(); });
    pending.NoteOutcome();
    return written;
}

bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated) noexcept {
    return WorkerLog(ctx, {LogLine{message, dated}});
}

void RunWorker(WorkerContext& ctx, const WorkerEnv& env) {
    const GatewayConfigRecord& c = *ctx.config;
    Countdown countdown(c.regMinutes);
    bool userPending = true;
    RecordWatch recordWatch;
    const double start = env.clock.NowMs();
    double nextAsk = start + kServiceAskIntervalMs;
    // An answer without the connection may be a moment of the service's, and
    // believing it leaves a live caller untimed: it counts only when an ask
    // at least a cycle of the clock later agrees. Cycles that catch up after
    // a slow step come at once, so their count proves nothing.
    bool unlisted = false;
    double unlistedAt = 0;
    while (countdown.Running()) {
        // Paced against the clock: the file work of a cycle does not add up.
        const double due = start + static_cast<double>(countdown.Elapsed() + 1) * env.cycleMs;
        if (env.clock.WaitUntil(ctx.stop, due)) return;
        UserRecord record;
        bool ftpStep = false;
        {
            WorkerStop::Step step(ctx.stop);
            if (!step.Begun()) return;
            // Asked after a caller was refused, so that a connection whose
            // hang-up never came cannot keep every later caller out; asked
            // again a cycle after an answer without it.
            const double now = env.clock.NowMs();
            const bool confirming = unlisted && now >= unlistedAt + env.cycleMs;
            if (ctx.askService.exchange(false) || confirming || now >= nextAsk) {
                nextAsk = now + kServiceAskIntervalMs;
                switch (AskForConnection(ctx, env.admin)) {
                    case Listing::Listed: unlisted = false; break;
                    case Listing::NotListed:
                        if (confirming) {
                            EndForGoneConnection(ctx, countdown.Elapsed());
                            return;
                        }
                        if (!unlisted) unlistedAt = env.clock.NowMs();
                        unlisted = true;
                        break;
                    case Listing::Unknown: break;
                }
            }
            TimeFileWrite timeFile(c, countdown.SecondsLeft());
            ctx.stop.GatedWrite([&] { timeFile.Write(); });
            // One read feeds the log, the limit and the account alike. A record
            // that exists but cannot be read yet, or that the site may still be
            // writing, is tried again next cycle.
            if (userPending && FileExists(c.currentUser) &&
                ReadCurrentUserRecord(c, recordWatch, env.clock.NowMs(), record)) {
                LogUserBlock(ctx, record.head);
                countdown.UserArrived(LeadingNumber(record.head.limitText));
                userPending = false;
                ftpStep = c.ftpAccounting;
            }
        }
        if (ftpStep && !RunFtpStep(ctx, record.lines)) return;
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
    ctx->stop.Finish();
    return ctx->module;
}

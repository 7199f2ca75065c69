#include "Connection.h"

#include <memory>
#include <string>

#include "Config.h"
#include "ConnectionTable.h"
#include "Events.h"
#include "Log.h"
#include "LogTexts.h"
#include "UserFiles.h"
#include "Worker.h"
#include "WorkerStop.h"

// Locks, in the only order they are ever taken:
//   stateLock (below, held around every call of the connections' table) ->
//     the configuration's lock (CurrentGatewayConfig), a worker's list of
//     ports (links coming and going), a new worker's WorkerStop lock (as its
//     thread is handed over);
//   a worker's WorkerStop lock -> the log's write lock (Log.cpp).
// Under stateLock nothing is done but the table's decisions and the
// hang-up's deletion of the users' files; under a WorkerStop lock and the
// log's write lock nothing but a write to a file already open. Logs are
// opened, and events reported to the Application log, with no lock held. So
// the service's thread is held by a hang-up at most:
//   a moment for stateLock (its holders only decide and delete);
//   kStepWaitMs for the worker's step in progress (kClientCallGraceMs for a
//   client call in it), plus the one write that may be under way then;
//   kLeavingWaitMs for the accepted lines of its caller, only when his
//   acceptance is writing them at that moment;
//   its own lines, one open of the log (up to kLogShareWaitMs when another
//   program holds the log, once per outage) and one write.
// docs/PERFORMANCE.md has the measured worst case with a held log.

namespace {

// The hang-up waits this long for the worker's step in progress; the
// service's thread is not ours to hold.
constexpr DWORD kStepWaitMs = 1000;
// A client call that has not returned after this long may be waiting for the
// hang-up itself (a service that delivers it from inside the call).
constexpr DWORD kClientCallGraceMs = 200;
// How long a new caller's acceptance waits for a hung-up worker that takes no
// further step to be gone.
constexpr DWORD kLeavingWaitMs = 1000;

WorkerContext& Context(const ConnectionTable::Worker& w) { return static_cast<WorkerContext&>(*w); }

WorkerFacts FactsOf(const TimedConnection& w) {
    const auto& ctx = static_cast<const WorkerContext&>(w);
    return {ctx.thread.Valid() && WaitForSingleObject(ctx.thread.Get(), 0) == WAIT_TIMEOUT, ctx.stop.Finished()};
}

SRWLOCK stateLock = SRWLOCK_INIT;
// Woken when the table changes in a way someone waits for under stateLock.
CONDITION_VARIABLE stateChanged = CONDITION_VARIABLE_INIT;
ConnectionTable table(&FactsOf);

// The answer to a caller whose hang-up came before his acceptance was
// decided; it follows the hang-up's marked lines.
BOOL RefuseHungUp(const WorkerContext& ctx) {
    WaitForSingleObject(ctx.hangupLines.Get(), kLeavingWaitMs);
    LogWrite(log_text::kAcceptedAfterHangup, true);
    return FALSE;
}

// The new caller's files, worker and acceptance, once `ctx` is current. The
// file work is done outside stateLock, so that a hang-up meanwhile is not
// held by it; whatever it finds then is decided under the lock again.
// `handed` is the thread's own reference, allocated before anything was
// taken, so that nothing can fail between taking the library's reference and
// handing both to the thread.
BOOL StartConnection(const std::shared_ptr<WorkerContext>& ctx,
                     std::unique_ptr<std::shared_ptr<WorkerContext>> handed) {
    ClearUserFiles(*ctx->config);

    HMODULE self = nullptr;
    HANDLE thread = nullptr;
    DWORD id = 0;
    if (ctx->stop.Valid() &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&ConnectionWorker)), &self)) {
        ctx->module = self;
        thread = CreateThread(nullptr, 0, ConnectionWorker, handed.get(), CREATE_SUSPENDED, &id);
        if (thread) handed.release();
        else FreeLibrary(self);
    }
    bool hungUpMeanwhile = false;
    {
        ExclusiveLock lock(stateLock);
        if (thread) {
            ctx->thread.Reset(thread);
            ctx->stop.SetWorkerThread(id);
            hungUpMeanwhile = !table.Started(ctx);
        } else {
            hungUpMeanwhile = ctx->hangupCame;
            table.NotStarted(ctx);
        }
    }
    if (hungUpMeanwhile) {
        // Its thread, if any, ends without a step.
        ctx->stop.Stop(0, 0);
        ctx->stop.Release();
        if (thread) ResumeThread(thread);
        return RefuseHungUp(*ctx);
    }
    // The accepted lines are written once the caller is accepted, together,
    // and before his worker's first line; a hang-up meanwhile waits for them.
    PendingLog lines = PrepareLog(ctx->config->logFolder,
                                  {{log_text::kConnectionAccepted},
                                   {thread ? log_text::kWorkerStarted : log_text::kWorkerNotStarted}});
    lines.Write();
    {
        ExclusiveLock lock(stateLock);
        table.AcceptedWritten(ctx);
    }
    WakeAllConditionVariable(&stateChanged);
    lines.NoteOutcome();
    if (!thread) return FALSE;
    ResumeThread(thread);
    return TRUE;
}

// The hang-up's lines, in one write so that no line of another thread comes
// between them; marked first when they end no connection timed here.
void LogHangup(bool marked, bool ended, const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1) noexcept {
    try {
        const std::string duration = std::string(log_text::kDuration) + std::to_string(c0 ? c0->dwConnectDuration : 0);
        const std::string received = std::string(log_text::kBytesReceived) + std::to_string(c1 ? c1->dwBytesRcved : 0);
        const std::string sent = std::string(log_text::kBytesSent) + std::to_string(c1 ? c1->dwBytesXmited : 0);
        const std::string_view end = ended ? log_text::kWorkerEnded : log_text::kWorkerNotEnded;
        const GatewayConfigPtr config = CurrentGatewayConfig();
        const std::string& folder = config->logFolder;
        if (marked)
            LogWriteTo(folder, {{log_text::kUnmatchedHangup}, {end}, {duration}, {received}, {sent},
                                {log_text::kUserHungUp}});
        else
            LogWriteTo(folder, {{end}, {duration}, {received}, {sent}, {log_text::kUserHungUp}});
    } catch (...) {
        // Out of memory: the lines are lost.
    }
}

}  // namespace

BOOL AcceptConnection(const RAS_CONNECTION_0* c0) {
    auto ctx = std::make_shared<WorkerContext>();
    ctx->connection = c0 ? c0->hConnection : nullptr;
    ctx->config = CurrentGatewayConfig();
    {
        ExclusiveLock lock(stateLock);
        table.AcceptanceBegins(ctx);
    }
    struct Done {
        const std::shared_ptr<WorkerContext>& ctx;
        ~Done() {
            ExclusiveLock lock(stateLock);
            table.AcceptanceEnds(ctx);
        }
    } done{ctx};

    // Allocated here: once the caller is current, nothing may throw before
    // his worker is started or he is taken out again.
    auto handed = std::make_unique<std::shared_ptr<WorkerContext>>(ctx);
    for (int waits = 0;; ++waits) {
        ConnectionTable::Admission admission;
        {
            ExclusiveLock lock(stateLock);
            admission = table.Admit(ctx, waits);
        }
        switch (admission.verdict) {
            case ConnectionTable::Verdict::Admitted: return StartConnection(ctx, std::move(handed));
            case ConnectionTable::Verdict::RefusedRunning:
                LogWrite(log_text::kSecondConnectionRefused, true);
                return FALSE;
            case ConnectionTable::Verdict::RefusedHungUp: return RefuseHungUp(*ctx);
            case ConnectionTable::Verdict::WaitForLeaving: break;
        }
        // A hung-up worker on its way out, or its hang-up's lines still to
        // come: give them a moment, outside the lock.
        const WorkerContext& leaving = Context(admission.leaving);
        const HANDLE both[] = {leaving.thread.Get(), leaving.hangupLines.Get()};
        if (admission.waitForLines)
            WaitForMultipleObjects(2, both, TRUE, kLeavingWaitMs);
        else
            WaitForSingleObject(leaving.thread.Get(), kLeavingWaitMs);
    }
}

void AcceptLink(const RAS_PORT_0* p0) {
    LogWrite(log_text::kLinkUp, true);
    if (!p0) return;
    // Only a link of the timed connection is its port: the service may report
    // links of a refused caller, or a multilink caller's second line.
    ExclusiveLock lock(stateLock);
    if (const ConnectionTable::Worker w = table.Timing(p0->hConnection)) Context(w).ports.Add(p0->hPort);
}

void LinkHangup(const RAS_PORT_0* p0) {
    LogWrite(log_text::kLinkDown, true);
    if (!p0) return;
    // The limit's end must not reset a port that may carry another call by then.
    ExclusiveLock lock(stateLock);
    if (const ConnectionTable::Worker w = table.Timing(p0->hConnection)) Context(w).ports.Remove(p0->hPort);
}

void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1) {
    ConnectionTable::Hangup hangup;
    {
        ExclusiveLock lock(stateLock);
        hangup = table.TakeHangup(c0 ? c0->hConnection : nullptr, c0 != nullptr);
    }
    WorkerContext* ctx = hangup.worker ? &Context(hangup.worker) : nullptr;
    // On every way out: the next caller waits for these lines, and the
    // worker, if waiting, ends now rather than at its next cycle.
    struct Done {
        const ConnectionTable::Hangup& hangup;
        WorkerContext* ctx;
        ~Done() {
            {
                ExclusiveLock lock(stateLock);
                table.HangupWritten(hangup);
            }
            if (!ctx) return;
            SetEvent(ctx->hangupLines.Get());
            ctx->stop.Release();
        }
    } done{hangup, ctx};
    // A worker not started yet is stopped all the same, so that it never
    // takes a step; but no worker was ended.
    const bool stopped = ctx && ctx->stop.Stop(kStepWaitMs, kClientCallGraceMs);
    if (hangup.workerStarted && !stopped) ReportWorkerNotEnded();
    const bool ended = hangup.workerStarted && stopped;
    bool marked = true;
    {
        ExclusiveLock lock(stateLock);
        // The caller's accepted lines come before his end, also when their
        // write is waiting for the log.
        for (const ULONGLONG until = GetTickCount64() + kLeavingWaitMs; ConnectionTable::AcceptedLinesPending(hangup);) {
            const ULONGLONG now = GetTickCount64();
            if (now >= until) break;
            SleepConditionVariableSRW(&stateChanged, &stateLock, static_cast<DWORD>(until - now), 0);
        }
        // Decided and done under the lock, so that no caller is accepted in
        // between: a caller accepted after this hang-up began has his own
        // record in the users' folder, and a running worker its time file.
        if (table.MayClearUserFiles(hangup)) ClearUserFiles(*CurrentGatewayConfig());
        marked = table.Marked(hangup);
    }
    LogHangup(marked, ended, c0, c1);
}

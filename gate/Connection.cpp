#include "Connection.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Config.h"
#include "Events.h"
#include "Log.h"
#include "LogTexts.h"
#include "UserFiles.h"
#include "Worker.h"
#include "WorkerStop.h"

// Locks, in the only order they are ever taken:
//   stateLock (below) -> the configuration's lock (CurrentGatewayConfig);
//   a worker's WorkerStop lock -> the log's write lock (Log.cpp).
// No file is opened under stateLock but the users' files the hang-up
// deletes, and under a WorkerStop lock nothing but a write to a file already
// open. So the service's thread is held by a hang-up at most:
//   a moment for stateLock (its holders only decide and delete);
//   kStepWaitMs for the worker's step in progress (kClientCallGraceMs for a
//   client call in it), plus the one write that may be under way then;
//   its own lines, one open of the log (up to kLogShareWaitMs when another
//   program holds the log, once per outage) and one write.
// docs/PERFORMANCE.md has the measured worst case with a held log.

namespace {

// A few connection handles, with no allocation: the callbacks must not fail
// for want of memory where the state is kept.
template <size_t N>
class HandleRing {
public:
    void Add(HANDLE h) {
        if (Has(h)) return;
        handles_[next_] = h;
        next_ = (next_ + 1) % N;
    }
    bool Has(HANDLE h) const { return std::find(handles_, handles_ + N, h) != handles_ + N; }
    bool Take(HANDLE h) {
        HANDLE* at = std::find(handles_, handles_ + N, h);
        if (at == handles_ + N) return false;
        *at = nullptr;
        return true;
    }

private:
    HANDLE handles_[N] = {};
    size_t next_ = 0;
};

// All under stateLock:
// - current: the worker of the connection accepted last and not yet hung up
//   (the design's WorkerThread);
// - hungUp: workers whose hang-up came but whose threads have not ended yet;
// - accepts: how many callers were accepted;
// - accepting: connections whose acceptance is under way; decided: the ones
//   accepted or refused lately; overtaken: the ones hung up before their
//   acceptance was decided, which is then refused;
// - owed: connections timed to their end and followed by another caller
//   before their own hang-up came: that hang-up is still theirs.
SRWLOCK stateLock = SRWLOCK_INIT;
std::shared_ptr<WorkerContext> current;
std::vector<std::shared_ptr<WorkerContext>> hungUp;
uint64_t accepts = 0;
HandleRing<8> accepting;
HandleRing<16> decided;
HandleRing<8> overtaken;
HandleRing<8> owed;

// The hang-up waits this long for the worker's step in progress; the
// service's thread is not ours to hold.
constexpr DWORD kStepWaitMs = 1000;
// A client call that has not returned after this long may be waiting for the
// hang-up itself (a service that delivers it from inside the call).
constexpr DWORD kClientCallGraceMs = 200;
// How long a new caller's acceptance waits for a hung-up worker that takes no
// further step to be gone.
constexpr DWORD kLeavingWaitMs = 1000;

// A worker whose thread has not been started yet counts as running.
bool WorkerRunning(const WorkerContext& ctx) {
    return !ctx.thread.Valid() || WaitForSingleObject(ctx.thread.Get(), 0) == WAIT_TIMEOUT;
}

// What stands in the way of a new caller.
enum class Earlier { None, Running, Leaving };

// Under stateLock. A second worker never starts while an earlier one still
// runs: the current connection's, or one whose hang-up came while it was in a
// step it had to finish. A worker that takes no further step (stopped by its
// hang-up, or done with its disconnect) is waited for once (`leaving`), since
// its thread ends at once; so is the hang-up's writing of its lines.
Earlier EarlierWorker(bool waited, std::shared_ptr<WorkerContext>& leaving) {
    hungUp.erase(std::remove_if(hungUp.begin(), hungUp.end(),
                                [](const std::shared_ptr<WorkerContext>& w) {
                                    return !WorkerRunning(*w) && !w->HangupPending();
                                }),
                 hungUp.end());
    if (current && WorkerRunning(*current) && !current->stop.Finished()) {
        // Its hang-up may have been lost: the worker asks the service.
        current->askService = true;
        return Earlier::Running;
    }
    auto stillRunning = [&](const std::shared_ptr<WorkerContext>& w) {
        if (!w) return false;
        const bool running = WorkerRunning(*w);
        if (!running && !w->HangupPending()) return false;
        if ((running && (!w->stop.Finished() || !w->thread.Valid())) || waited) return true;
        leaving = w;
        return false;
    };
    if (stillRunning(current)) return Earlier::Running;
    for (const auto& w : hungUp)
        if (stillRunning(w)) return Earlier::Running;
    return leaving ? Earlier::Leaving : Earlier::None;
}

// The new caller's files, worker and acceptance, once `ctx` is current. The
// file work is done outside stateLock, so that a hang-up meanwhile is not
// held by it; whatever it finds then is decided under the lock again.
// `handed` is the thread's own reference, allocated before anything was
// taken, so that nothing can fail between taking the library's reference and
// handing both to the thread.
BOOL StartConnection(const std::shared_ptr<WorkerContext>& ctx,
                     std::unique_ptr<std::shared_ptr<WorkerContext>> handed) {
    LogWrite(log_text::kConnectionAccepted, true);
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
            hungUpMeanwhile = ctx->stop.Requested();
        } else {
            if (current == ctx) current.reset();
            hungUp.erase(std::remove(hungUp.begin(), hungUp.end(), ctx), hungUp.end());
        }
    }
    if (!thread) {
        LogWrite(log_text::kWorkerNotStarted, true);
        return FALSE;
    }
    // Its first line must not come before this one. A worker whose hang-up
    // came meanwhile finds it at once and ends.
    if (!hungUpMeanwhile) LogWrite(log_text::kWorkerStarted, true);
    ResumeThread(thread);
    return hungUpMeanwhile ? FALSE : TRUE;
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
    const HANDLE id = c0 ? c0->hConnection : nullptr;
    {
        ExclusiveLock lock(stateLock);
        accepting.Add(id);
    }
    struct Done {
        HANDLE id;
        ~Done() {
            ExclusiveLock lock(stateLock);
            accepting.Take(id);
        }
    } done{id};

    auto ctx = std::make_shared<WorkerContext>();
    ctx->connection = id;
    ctx->config = CurrentGatewayConfig();
    // Allocated here: once the caller is current, nothing may throw before
    // his worker is started or he is taken out again.
    auto handed = std::make_unique<std::shared_ptr<WorkerContext>>(ctx);
    for (bool waited = false;;) {
        std::shared_ptr<WorkerContext> leaving;
        Earlier earlier = Earlier::None;
        bool overtakenByHangup = false;
        {
            ExclusiveLock lock(stateLock);
            overtakenByHangup = overtaken.Take(id);
            if (!overtakenByHangup) earlier = EarlierWorker(waited, leaving);
            if (overtakenByHangup || earlier == Earlier::Running) decided.Add(id);
            if (!overtakenByHangup && earlier == Earlier::None) {
                decided.Add(id);
                ++accepts;
                if (current && !current->foundGone) owed.Add(current->connection);
                current = ctx;
            }
        }
        if (overtakenByHangup) {
            LogWrite(log_text::kAcceptedAfterHangup, true);
            return FALSE;
        }
        switch (earlier) {
            case Earlier::None: return StartConnection(ctx, std::move(handed));
            case Earlier::Running:
                LogWrite(log_text::kSecondConnectionRefused, true);
                return FALSE;
            case Earlier::Leaving: break;
        }
        // A hung-up worker on its way out, or its hang-up's lines still to
        // come: give them a moment, outside the lock.
        const HANDLE both[] = {leaving->thread.Get(), leaving->hangupWritten.Get()};
        if (leaving->hangupCame)
            WaitForMultipleObjects(2, both, TRUE, kLeavingWaitMs);
        else
            WaitForSingleObject(leaving->thread.Get(), kLeavingWaitMs);
        waited = true;
    }
}

void AcceptLink(const RAS_PORT_0* p0) {
    LogWrite(log_text::kLinkUp, true);
    if (!p0) return;
    // Only a link of the timed connection is its port: the service may report
    // links of a refused caller, or a multilink caller's second line.
    ExclusiveLock lock(stateLock);
    if (current && current->connection == p0->hConnection) current->ports.Add(p0->hPort);
}

void LinkHangup(const RAS_PORT_0* p0) {
    LogWrite(log_text::kLinkDown, true);
    if (!p0) return;
    // The limit's end must not reset a port that may carry another call by then.
    ExclusiveLock lock(stateLock);
    if (current && current->connection == p0->hConnection) current->ports.Remove(p0->hPort);
}

void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1) {
    const HANDLE id = c0 ? c0->hConnection : nullptr;
    std::shared_ptr<WorkerContext> ctx;
    uint64_t acceptsSeen = 0;
    bool owedEnd = false;
    {
        ExclusiveLock lock(stateLock);
        acceptsSeen = accepts;
        // Only the hang-up of the connection the worker times ends it: a late
        // hang-up of an earlier connection must not end the next caller's.
        if (current && c0 && current->connection == id) {
            // Listed first: a worker is never in neither place, even when
            // the list cannot grow.
            hungUp.push_back(current);
            ctx = std::move(current);
            ctx->hangupCame = true;
        } else if (c0 && owed.Take(id)) {
            owedEnd = true;
        } else if (c0 && (accepting.Has(id) || !decided.Has(id))) {
            // Its acceptance is under way or still to come: it is refused.
            overtaken.Add(id);
        }
    }
    // On every way out: the next caller waits for these lines, and the
    // worker, if waiting, ends now rather than at its next cycle.
    struct Done {
        WorkerContext* ctx;
        ~Done() {
            if (!ctx) return;
            SetEvent(ctx->hangupWritten.Get());
            ctx->stop.Release();
        }
    } done{ctx.get()};
    const bool ended = ctx && ctx->stop.Stop(kStepWaitMs, kClientCallGraceMs);
    if (ctx && !ended) ReportWorkerNotEnded();
    {
        // Decided and done under the lock, so that no caller is accepted in
        // between: a caller accepted after this hang-up began has his own
        // record in the users' folder, and a running worker its time file.
        ExclusiveLock lock(stateLock);
        if (accepts == acceptsSeen && !(current && WorkerRunning(*current))) ClearUserFiles(*CurrentGatewayConfig());
    }
    // Marked unless it ends a connection timed here: a refused caller's, a
    // duplicate, or one that comes after the worker found its connection gone
    // (whose own lines ended it).
    LogHangup(ctx ? ctx->foundGone.load() : !owedEnd, ended, c0, c1);
}

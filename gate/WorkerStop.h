// How a hang-up stops a connection's worker without killing its thread.
//
// The worker takes its steps (a cycle's file work, the FTP step, the
// disconnect) one at a time, and a step begins only while no stop is asked
// for. Its writes pass a gate that the hang-up closes. Stop() asks, then waits
// a bounded time for the step in progress: afterwards the worker takes no
// further step and, once the gate is closed, writes nothing more. A client
// call of the remote-access service is marked, since the service may deliver
// the hang-up from inside it: the hang-up does not wait for such a call.
// Release() then wakes a waiting worker to end; the hang-up does that last,
// so that the thread's end does not compete with its own lines.
//
// So one object says where a worker is in its life: running, asked to stop,
// its gate closed, finished (it takes no further step; what remains of its
// thread is its way out).
//
// A gated write holds the lock only for the write itself: whatever may wait
// (a log file another program holds, a slow folder) is opened before it, so
// that Stop()'s bound runs from its call.
#pragma once
#include <windows.h>

#include <atomic>

#include "Win32Handles.h"

class WorkerStop {
public:
    WorkerStop();
    WorkerStop(const WorkerStop&) = delete;
    WorkerStop& operator=(const WorkerStop&) = delete;

    bool Valid() const { return wake_.Valid(); }
    // The stop request: set once by Stop(), never reset.
    bool Requested() const { return requested_.load(); }
    // Set by Release(): a worker's wait for its next cycle waits on it. A
    // worker that wakes by its clock instead finds the request all the same.
    HANDLE WakeEvent() const { return wake_.Get(); }

    // The worker's thread: a hang-up delivered on it (from inside the
    // worker's own client call) cannot wait for that call.
    void SetWorkerThread(DWORD id);

    // One step of the worker, held for a scope. Begun() is false when a stop
    // was asked for first; the worker then ends.
    class Step {
    public:
        explicit Step(WorkerStop& stop);
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;
        bool Begun() const { return begun_; }

    private:
        WorkerStop& stop_;
        bool begun_;
    };

    // Runs `write` unless the gate is closed; false when it was dropped. The
    // gate stays shut while the write runs, so a closed gate means no write
    // of the worker is under way or to come. `write` only writes: anything
    // that may wait is done before.
    template <class Write>
    bool GatedWrite(Write write) {
        ExclusiveLock lock(lock_);
        if (gateClosed_) return false;
        write();
        return true;
    }
    bool GateClosed();

    // Runs a client call of the remote-access service, marked as such.
    template <class Call>
    DWORD ClientCall(Call call) {
        CallMark mark(*this);
        return call();
    }

    // The hang-up's side: asks the worker to stop and waits up to `boundMs`
    // for its step in progress, and up to `callGraceMs` for a client call in
    // progress. Closes the gate in any case. True when the worker takes no
    // further step; false when a step outlasted the bound (it finishes, with
    // its writes dropped, and the worker ends after it).
    bool Stop(DWORD boundMs, DWORD callGraceMs);
    // Wakes the worker from its wait, so that it ends now rather than at its next cycle.
    void Release() { SetEvent(wake_.Get()); }

    // The worker takes no further step: set by a Stop() that returned true,
    // or by the worker itself at its end.
    void Finish() { finished_ = true; }
    bool Finished() const { return finished_.load(); }

private:
    class CallMark {
    public:
        explicit CallMark(WorkerStop& stop);
        ~CallMark();
        CallMark(const CallMark&) = delete;
        CallMark& operator=(const CallMark&) = delete;

    private:
        WorkerStop& stop_;
    };

    UniqueHandle wake_;
    // Everything below is changed under lock_ (requested_ is also read
    // without it); changed_ wakes Stop() when a step or a call ends.
    std::atomic<bool> requested_{false};
    std::atomic<bool> finished_{false};
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    bool inStep_ = false;
    bool gateClosed_ = false;
    ULONGLONG callSince_ = 0;  // when the client call in progress began; 0: none
    DWORD workerThread_ = 0;
};

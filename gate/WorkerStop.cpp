#include "WorkerStop.h"

#include <algorithm>

WorkerStop::WorkerStop() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void WorkerStop::SetWorkerThread(DWORD id) {
    ExclusiveLock lock(lock_);
    workerThread_ = id;
}

WorkerStop::Step::Step(WorkerStop& stop) : stop_(stop) {
    ExclusiveLock lock(stop_.lock_);
    // Both under the lock: either Stop() sees the step begun, or the step
    // sees the request.
    begun_ = !stop_.Requested();
    stop_.inStep_ = begun_;
}

WorkerStop::Step::~Step() {
    if (!begun_) return;
    ExclusiveLock lock(stop_.lock_);
    stop_.inStep_ = false;
    // Asked to stop: whatever the worker does after its step is not written,
    // also before the waiting hang-up gets the lock back.
    if (stop_.Requested()) stop_.gateClosed_ = true;
    WakeAllConditionVariable(&stop_.changed_);
}

WorkerStop::CallMark::CallMark(WorkerStop& stop) : stop_(stop) {
    ExclusiveLock lock(stop_.lock_);
    stop_.callSince_ = GetTickCount64();
}

WorkerStop::CallMark::~CallMark() {
    ExclusiveLock lock(stop_.lock_);
    stop_.callSince_ = 0;
    WakeAllConditionVariable(&stop_.changed_);
}

bool WorkerStop::GateClosed() {
    ExclusiveLock lock(lock_);
    return gateClosed_;
}

bool WorkerStop::Stop(DWORD boundMs, DWORD callGraceMs) {
    ExclusiveLock lock(lock_);
    requested_ = true;
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    bool stopped = true;
    // Delivered from inside the worker's own client call: that call is its
    // last step, and waiting for it here would wait for ourselves.
    while (inStep_ && GetCurrentThreadId() != workerThread_) {
        const ULONGLONG now = GetTickCount64();
        // A call that does not return soon may be waiting for this very
        // hang-up; once the gate is closed nothing of it is written, and no
        // step follows it.
        if (callSince_ != 0 && now - callSince_ >= callGraceMs) break;
        if (now >= deadline) {
            stopped = false;
            break;
        }
        ULONGLONG wait = deadline - now;
        if (callSince_ != 0) wait = std::min<ULONGLONG>(wait, callSince_ + callGraceMs - now);
        // The step's own writes go on while this waits.
        SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(wait), 0);
    }
    gateClosed_ = true;
    if (stopped) finished_ = true;
    return stopped;
}

// Out of memory at any allocation of the hang-up, the disconnect or a write:
// the worker is never left untracked, a server handle taken is always let
// go, and no lock stays held. A program of its own, since it replaces the
// allocator for the whole process and needs the hang-up's list empty-handed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "Connection.h"
#include "InProcessGate.h"
#include "SteppedWorker.h"

namespace {

// The `failIn`-th allocation (1: the next one) on thread `failOn` fails.
std::atomic<DWORD> failOn{0};
std::atomic<int> failIn{0};

void FailAllocation(DWORD thread, int nth) {
    failIn = nth;
    failOn = thread;
}
// Whether the armed allocation failed; disarms in any case.
bool AllocationFailed() {
    const bool failed = failOn.exchange(0) == 0;
    return failed;
}

}  // namespace

void* operator new(size_t size) {
    if (failOn.load() == GetCurrentThreadId() && --failIn == 0) {
        failOn = 0;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operator new takes its memory from malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

// First in the program: the list of hung-up workers has not grown yet.
TEST(OutOfMemory, AtAnyAllocationOfTheHangupNoSecondWorkerStarts) {
    for (int nth = 1;; ++nth) {
        InProcessGate gate;
        Caller a(gate, 80), b(gate, 81);
        ASSERT_TRUE(a.Dial());
        FailAllocation(GetCurrentThreadId(), nth);
        try {
            a.HangUp();
        } catch (const std::bad_alloc&) {
        }
        const bool failed = AllocationFailed();
        // The next caller gets in only once the first worker has ended.
        if (b.Dial()) {
            EXPECT_EQ(gate.ended.load(), 1) << "two workers at once, allocation " << nth;
        }
        // A hang-up cut short is delivered again, as the service would not;
        // here it lets the worker go.
        ConnectionHangup(&a.c0, &a.c1);
        if (!failed || ::testing::Test::HasFailure()) break;
    }
}

// At any allocation of a limit's end: a server handle taken is let go, and
// with one the port is disconnected.
TEST(OutOfMemory, AtAnyAllocationOfTheDisconnectTheServerHandleIsLetGo) {
    for (int nth = 1;; ++nth) {
        SteppedWorker w;
        w.Start();
        WriteAll(w.ctx->config->currentUser, "ivan\r\npw\r\n0\r\n");
        FailAllocation(w.threadId.load(), nth);
        ASSERT_TRUE(w.Cycle());
        ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
        const bool failed = AllocationFailed();
        EXPECT_EQ(w.service.serverDisconnects.load(), w.service.connects.load()) << "allocation " << nth;
        if (w.service.connects.load() > 0) {
            EXPECT_EQ(w.service.disconnects.load(), 1) << "allocation " << nth;
        }
        if (!failed || ::testing::Test::HasFailure()) break;
    }
}

// Out of memory while the worker composes the time file's text: the
// worker's thread ends, and the hang-up that follows finds no lock held and
// returns within its bound.
TEST(OutOfMemory, InAWriteLeavesTheHangupFree) {
    // Seconds left with twelve digits: the time file's text no longer fits
    // in a string's own small buffer and must be allocated.
    SteppedWorker w(INT32_MAX);
    w.Start();
    ASSERT_TRUE(w.Cycle());
    FailAllocation(w.threadId.load(), 1);
    ASSERT_TRUE(w.Cycle());
    ASSERT_EQ(WaitForSingleObject(w.done.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(w.threw.load());
    EXPECT_TRUE(AllocationFailed());
    bool stopped = false;
    Side hangup([&] { stopped = w.ctx->stop.Stop(1000, 200); });
    ASSERT_TRUE(hangup.Wait(5000));
    EXPECT_TRUE(stopped);
}

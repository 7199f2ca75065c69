// The connection worker: the registration window, the countdown in the time
// file, the caller's record and FTP account, and the disconnect at the end.
#pragma once
#include <windows.h>

#include <memory>
#include <string_view>

#include "Connection.h"

// Thread entry; `param` is a heap-held std::shared_ptr<WorkerContext> that the
// worker takes over. Ends through FreeLibraryAndExitThread, so the library
// stays mapped until the worker is gone.
DWORD WINAPI ConnectionWorker(LPVOID param);

// A line written by the worker: dropped once the hang-up has closed the gate.
bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated);

// Length of one cycle; tests build a short one.
#ifndef DIALGATE_CYCLE_MS
#define DIALGATE_CYCLE_MS 1000
#endif
constexpr DWORD kCycleMs = DIALGATE_CYCLE_MS;

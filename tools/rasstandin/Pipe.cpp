#include "Pipe.h"

#include <vector>

const wchar_t kControlPipe[] = L"\\\\.\\pipe\\rasstandin";

#include "Win32Handles.h"

namespace {

const size_t kMaxRequest = 4096;  // a command line is a few words


HANDLE CreateInstance(bool first) {
    return CreateNamedPipeW(kControlPipe,
                            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
}

// Overlapped I/O on the pipe, waited for at once (the handle was opened for it).
bool Transfer(HANDLE pipe, bool write, void* data, DWORD size, DWORD& done) {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    const BOOL ok = write ? WriteFile(pipe, data, size, nullptr, &ov) : ReadFile(pipe, data, size, nullptr, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(pipe, &ov, &done, TRUE) != FALSE;
}

}  // namespace

PipeServer::PipeServer(Handler handler)
    : handler_(std::move(handler)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

PipeServer::~PipeServer() {
    Close();
    if (stop_) CloseHandle(stop_);
}

DWORD PipeServer::Open() {
    if (!stop_) return GetLastError();
    HANDLE first = CreateInstance(true);
    if (first == INVALID_HANDLE_VALUE) return GetLastError();
    listener_ = std::thread([this, first] { Listen(first); });
    return NO_ERROR;
}

void PipeServer::Close() {
    if (!listener_.joinable()) return;
    SetEvent(stop_);
    listener_.join();
    const ULONGLONG deadline = GetTickCount64() + 35000;
    while (serving_ > 0 && GetTickCount64() < deadline) Sleep(20);
}

void PipeServer::Listen(HANDLE first) {
    UniqueHandle pipe(first);
    UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    while (pipe && connected) {
        OVERLAPPED ov{};
        ResetEvent(connected.Get());
        ov.hEvent = connected.Get();
        bool ready = ConnectNamedPipe(pipe.Get(), &ov) != FALSE;
        if (!ready) {
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                ready = true;
            } else if (error == ERROR_IO_PENDING) {
                const HANDLE waits[] = {stop_, connected.Get()};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                    CancelIo(pipe.Get());
                    DWORD ignored;
                    GetOverlappedResult(pipe.Get(), &ov, &ignored, TRUE);
                    return;
                }
                DWORD ignored;
                ready = GetOverlappedResult(pipe.Get(), &ov, &ignored, FALSE) != FALSE;
            }
        }
        if (ready) {
            ++serving_;
            HANDLE client = pipe.Release();
            std::thread([this, client] {
                Serve(client);
                --serving_;
            }).detach();
        } else {
            DisconnectNamedPipe(pipe.Get());
            continue;
        }
        UniqueHandle next(CreateInstance(false));
        if (!next) return;
        pipe.Reset(next.Release());
    }
}

void PipeServer::Serve(HANDLE client) {
    UniqueHandle pipe(client);
    std::string request;
    char chunk[256];
    DWORD got = 0;
    while (request.find('\n') == std::string::npos && request.size() < kMaxRequest &&
           Transfer(pipe.Get(), false, chunk, sizeof chunk, got) && got > 0)
        request.append(chunk, got);
    std::string answer = request.find('\n') == std::string::npos ? "error: incomplete request\n"
                                                                 : handler_(request.substr(0, request.find('\n')));
    DWORD written = 0;
    Transfer(pipe.Get(), true, &answer[0], static_cast<DWORD>(answer.size()), written);
    FlushFileBuffers(pipe.Get());
    DisconnectNamedPipe(pipe.Get());
}

bool CallHost(const std::string& request, std::string& answer, DWORD& error) {
    UniqueHandle pipe;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        pipe.Reset(CreateFileW(kControlPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (pipe) break;
        error = GetLastError();
        const ULONGLONG waited = GetTickCount64() - start;
        // Between two instances of the pipe there is a moment without one;
        // a second without any means no host is running.
        if (error == ERROR_FILE_NOT_FOUND && waited < 1000) {
            Sleep(50);
        } else if (error == ERROR_PIPE_BUSY && waited < 10000) {
            WaitNamedPipeW(kControlPipe, 1000);
        } else {
            return false;
        }
    }
    std::string line = request + "\n";
    DWORD written = 0;
    if (!WriteFile(pipe.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        error = GetLastError();
        return false;
    }
    answer.clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) answer.append(chunk, got);
    error = NO_ERROR;
    return true;
}

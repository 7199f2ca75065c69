// The control channel between the command line and the running host: a named
// pipe, one request line and one answer per connection.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

extern const wchar_t kControlPipe[];

// Serves each connection on a thread of its own, so that a command waiting
// for a slow callback does not hold up `state`.
class PipeServer {
public:
    using Handler = std::function<std::string(const std::string& request)>;
    explicit PipeServer(Handler handler);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Creates the pipe; fails when another host has it already.
    DWORD Open();
    // Stops taking connections and waits (bounded) for the answers under way.
    void Close();

private:
    void Listen(HANDLE first);
    void Serve(HANDLE pipe);

    Handler handler_;
    HANDLE stop_;
    std::thread listener_;
    std::atomic<int> serving_{0};
};

// Sends one request and gives the answer; false when no host is listening.
bool CallHost(const std::string& request, std::string& answer, DWORD& error);

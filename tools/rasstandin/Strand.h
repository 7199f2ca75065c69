// A thread of the host's own that runs the jobs given to it one after
// another: one per connection, so that the callbacks of one connection are
// delivered in order and never on the thread that answers a control command.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

class Strand {
public:
    Strand() : thread_([this] { Loop(); }) {}
    // Runs what is queued, then ends. A strand stuck in a callback would hang
    // here: the host ends its process instead of destroying such a strand.
    ~Strand() {
        Close();
        if (thread_.joinable()) thread_.join();
    }
    Strand(const Strand&) = delete;
    Strand& operator=(const Strand&) = delete;

    template <class F>
    auto Post(F job) -> std::future<decltype(job())> {
        auto task = std::make_shared<std::packaged_task<decltype(job())()>>(std::move(job));
        auto result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back([task] { (*task)(); });
        }
        wake_.notify_one();
        return result;
    }

    void Close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        wake_.notify_one();
    }

private:
    void Loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool closed_ = false;
    std::thread thread_;  // last: starts once the members above exist
};

// The connection worker's arithmetic: how many one-second cycles a connection
// gets and which number each cycle writes into the time file. Platform-free.
#pragma once
#include <cstdint>

class Countdown {
public:
    // The registration window: `regMinutes` until the caller's record arrives.
    explicit Countdown(int32_t regMinutes) : limitMinutes_(regMinutes) {}

    // Whether another cycle runs. 64-bit, so that no configured number of
    // minutes can overflow the count of seconds.
    bool Running() const { return LimitSeconds() > elapsed_; }
    // The seconds left as this cycle writes them: counted before it completes.
    int64_t SecondsLeft() const { return LimitSeconds() - elapsed_; }
    // The caller's own limit replaces the window, counted from the connection's start.
    void UserArrived(int32_t limitMinutes) { limitMinutes_ = limitMinutes; }
    void CycleDone() { ++elapsed_; }

    int64_t Elapsed() const { return elapsed_; }

private:
    int64_t LimitSeconds() const { return static_cast<int64_t>(limitMinutes_) * 60; }
    int32_t limitMinutes_;
    int64_t elapsed_ = 0;
};

// The period's totals per login: how often each caller came, for how long,
// how many bytes, how the connections ended, the first and the last call.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ReportPeriod.h"

struct LoginTotals {
    std::string login;
    bool noLogin = false;  // the callers who never registered, refused ones among them
    size_t connections = 0;  // refused callers not included
    size_t refused = 0;
    uint64_t seconds = 0;
    uint64_t bytesReceived = 0;
    uint64_t bytesSent = 0;
    std::array<size_t, kEndingCount> endings{};  // connections by how they ended
    size_t figuresMixed = 0;  // rows whose figures may be another's
    // The first and the last dial, as "date time"; empty when no dial of the
    // login is in the period's logs.
    std::string firstCall;
    std::string lastCall;
};

// By login in byte order (alphabetical in Windows-1251), the callers without
// a login last.
std::vector<LoginTotals> TotalsByLogin(const PeriodRows& period);

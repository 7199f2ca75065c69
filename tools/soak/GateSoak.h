// Thousands of dial-in connections through the fast-cycle plug-in
// (bin/fast/dialgate.dll) and the stand-in mprapi.dll, in this process, each
// hung up at a random moment: what the process holds afterwards, how long the
// hang-ups took, and whether the log has every line the connections owe it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The process's own figures at one moment.
struct ProcessSample {
    int connections = 0;  // finished before the sample
    DWORD handles = 0;
    size_t threads = 0;
    SIZE_T privateBytes = 0;  // PagefileUsage: Wine leaves PrivateUsage empty
};

ProcessSample SampleProcess(HANDLE process, DWORD processId, int connections);

// Where a connection is when its caller hangs up.
enum class HangupMoment {
    BeforeRecord,      // registration window, no record written
    InFtpStep,         // record read, FTP step under way or just done
    InDisconnect,      // inside a port call of the disconnect (hang-up from another thread)
    InsideDisconnect,  // delivered from inside MprAdminPortDisconnect, on the worker's thread
    AfterDisconnect,   // the worker has disconnected and ended
    AtLimit,           // no record: the registration window runs out, then the disconnect
    Count
};
const char* HangupMomentName(HangupMoment m);

struct GateSoakOptions {
    int connections = 300;
    int sampleEvery = 100;
    unsigned seed = 20261207;
    // One connection in this many runs to its limit (about 3 s each).
    int atLimitOneIn = 30;
    std::function<void(const ProcessSample&)> onSample;
    // When set, the day's log is copied here before the run's folder goes,
    // and beside it (keepLog + ".rows") what each dial was, in order: "refused",
    // or the caller's login and the moment of the hang-up.
    std::string keepLog;
};

struct GateSoakResult {
    std::string failure;  // empty when every connection ran
    std::vector<ProcessSample> samples;  // start, every sampleEvery, end
    std::vector<double> hangupMs;        // one per connection
    uint64_t linesExpected = 0;
    uint64_t linesCounted = 0;
    uint64_t tornLines = 0;  // lines not starting as a log line does
    int refusals = 0;        // a dial met the previous worker still running
    int byMoment[static_cast<int>(HangupMoment::Count)] = {};
    int waitsTimedOut = 0;  // a phase the driver waited for never came
};

GateSoakResult RunGateSoak(const GateSoakOptions& options);

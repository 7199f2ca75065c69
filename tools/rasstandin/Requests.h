// The control commands of rasstandin.exe as plain values: what a command line
// asks the running host for, and the answer's first line. The client sends
// the words of its command line; the host reads them back with the same rules.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class RequestKind { Dial, Hangup, Drop, State, Mode, Quit };

struct Request {
    RequestKind kind = RequestKind::State;
    uint32_t bytesRcved = 0;   // dial --rx: what the caller sent to the server
    uint32_t bytesXmited = 0;  // dial --tx: what the server sent to the caller
    uint32_t connection = 0;   // hangup ID, drop ID
    bool syncDisconnect = false;  // mode sync|async
};

// The words after the program name ("dial", "--rx", "100", ...). False with a
// reason for anything else, so that nothing half-understood reaches the host.
bool ParseRequest(const std::vector<std::string>& words, Request& out, std::string& error);
// Splits a request line on blanks.
std::vector<std::string> SplitWords(const std::string& line);
// The request as the line the client sends (without its line feed).
std::string RequestLine(const Request& request);

// A decimal number that fits in 32 bits, nothing else.
bool ParseUInt32(const std::string& text, uint32_t& out);

// Exit codes of the control commands; 3 is the plug-in refusing a dial.
enum AnswerCode { kAnswerOk = 0, kAnswerError = 1, kHostNotRunning = 2, kAnswerRefused = 3 };
// The first line of an answer ("ok", "refused", "error") as an exit code.
int AnswerExitCode(const std::string& firstLine);

// Hang-up latencies: how long each MprAdminConnectionHangupNotification took.
class LatencyStats {
public:
    void Add(double ms) { samples_.push_back(ms); }
    size_t Count() const { return samples_.size(); }
    const std::vector<double>& Samples() const { return samples_; }
    double Median() const;  // 0 without samples; the mean of the middle two for an even count
    double Max() const;     // 0 without samples

private:
    std::vector<double> samples_;
};

#include "Requests.h"

#include <algorithm>
#include <sstream>

bool ParseUInt32(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

bool ParseRequest(const std::vector<std::string>& words, Request& out, std::string& error) {
    out = Request{};
    if (words.empty()) {
        error = "no command";
        return false;
    }
    const std::string& verb = words[0];
    if (verb == "dial") {
        out.kind = RequestKind::Dial;
        bool seenRx = false, seenTx = false;
        for (size_t i = 1; i < words.size(); i += 2) {
            const bool rx = words[i] == "--rx";
            if ((!rx && words[i] != "--tx") || (rx ? seenRx : seenTx)) {
                error = "unknown or repeated dial option: " + words[i];
                return false;
            }
            if (i + 1 >= words.size() || !ParseUInt32(words[i + 1], rx ? out.bytesRcved : out.bytesXmited)) {
                error = words[i] + " needs a byte count from 0 to 4294967295";
                return false;
            }
            (rx ? seenRx : seenTx) = true;
        }
        return true;
    }
    if (verb == "hangup" || verb == "drop") {
        out.kind = verb == "hangup" ? RequestKind::Hangup : RequestKind::Drop;
        if (words.size() != 2 || !ParseUInt32(words[1], out.connection) || out.connection == 0) {
            error = verb + " needs the connection id that dial printed";
            return false;
        }
        return true;
    }
    if (verb == "mode") {
        out.kind = RequestKind::Mode;
        if (words.size() != 2 || (words[1] != "sync" && words[1] != "async")) {
            error = "mode needs sync or async";
            return false;
        }
        out.syncDisconnect = words[1] == "sync";
        return true;
    }
    if (verb == "state" || verb == "quit") {
        out.kind = verb == "state" ? RequestKind::State : RequestKind::Quit;
        if (words.size() != 1) {
            error = verb + " takes no arguments";
            return false;
        }
        return true;
    }
    error = "unknown command: " + verb;
    return false;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

std::string RequestLine(const Request& request) {
    switch (request.kind) {
        case RequestKind::Dial:
            return "dial --rx " + std::to_string(request.bytesRcved) + " --tx " + std::to_string(request.bytesXmited);
        case RequestKind::Hangup:
            return "hangup " + std::to_string(request.connection);
        case RequestKind::Drop:
            return "drop " + std::to_string(request.connection);
        case RequestKind::Mode:
            return request.syncDisconnect ? "mode sync" : "mode async";
        case RequestKind::Quit:
            return "quit";
        case RequestKind::State:
        default:
            return "state";
    }
}

int AnswerExitCode(const std::string& firstLine) {
    if (firstLine == "ok") return kAnswerOk;
    if (firstLine == "refused") return kAnswerRefused;
    return kAnswerError;
}

double LatencyStats::Median() const {
    if (samples_.empty()) return 0;
    std::vector<double> sorted = samples_;
    std::sort(sorted.begin(), sorted.end());
    const size_t mid = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
}

double LatencyStats::Max() const {
    return samples_.empty() ? 0 : *std::max_element(samples_.begin(), samples_.end());
}

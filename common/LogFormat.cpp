#include "LogFormat.h"

#include "LogTexts.h"

std::string ComposeLogLine(std::string_view message, bool dated, std::string_view date,
                           std::string_view time) {
    // A message is zero-terminated text: a NUL from a caller's record ends it.
    message = message.substr(0, message.find('\0'));
    std::string line;
    line.reserve(message.size() + date.size() + time.size() + 12);
    if (dated) {
        line += '[';
        line += date;
        line += "] : [";
        line += time;
        line += "] - ";
    }
    line += message;
    line += '\n';
    return line;
}

bool SplitLogLine(std::string_view line, std::string_view& date, std::string_view& time, std::string_view& message) {
    if (line.empty() || line[0] != '[') return false;
    const size_t dateEnd = line.find(']', 1);
    if (dateEnd == std::string_view::npos || line.compare(dateEnd, 5, "] : [") != 0) return false;
    const size_t timeStart = dateEnd + 5;
    const size_t timeEnd = line.find(']', timeStart);
    if (timeEnd == std::string_view::npos || line.compare(timeEnd, 4, "] - ") != 0) return false;
    date = line.substr(1, dateEnd - 1);
    time = line.substr(timeStart, timeEnd - timeStart);
    message = line.substr(timeEnd + 4);
    return true;
}

std::string LogBanner(std::string_view version) {
    std::string banner = log_text::kBanner;
    const size_t at = banner.find("%s");
    return banner.replace(at, 2, version);
}

std::string ToTextMode(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string LogFileName(std::string_view logFolder, std::string_view date) {
    std::string name(logFolder);
    name += date;
    name += kLogFileSuffix;
    return name;
}

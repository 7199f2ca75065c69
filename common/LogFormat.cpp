#include "LogFormat.h"

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
    name += "_log.txt";
    return name;
}

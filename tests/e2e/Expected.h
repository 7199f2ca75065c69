// The log lines of the plug-in as they lie on disk, times masked, for
// comparing whole stretches of the log.
#pragma once
#include <string>
#include <vector>

#include "Gateway.h"
#include "TestSupport.h"

// A plain line: the message, each line feed as CR LF, and a line end.
inline std::string PlainLine(const std::string& message) {
    std::string line;
    for (char c : message) {
        if (c == '\n') line += '\r';
        line += c;
    }
    return line + "\r\n";
}

// The lines of one load of the plug-in, from the path line on (the banner
// before it names the build and is checked apart).
inline std::string LoadLines(const Gateway& g, int regMinutes) {
    return DatedLine("Загрузка из файла конфигурации: " + g.config) +
           PlainLine("\nCURRENT_USER=" + g.users + "current.user") + PlainLine("FILE_WITH_TIME=" + g.timeFile) +
           PlainLine("TIME_FOR_REG=" + std::to_string(regMinutes)) + PlainLine("SHOW_VARS=1") +
           PlainLine("LOG_PATH=" + g.logs) + PlainLine("LOG_SCREEN_ENABLED=1") + PlainLine("LOG_FILE_ENABLED=1") +
           PlainLine("LOG_ENABLED=1") + PlainLine("LOG_DATE=1") + PlainLine("LOG_TIME=1") +
           PlainLine(std::string(44, '_')) + DatedLine("Файл конфигурации загружен") +
           DatedLine("MprAdminInitializeDll - библиотека загружена");
}

inline std::string UnloadLines() {
    return DatedLine("MprAdminTerminateDll - библиотека выгружена") + PlainLine(std::string(52, '*'));
}

// Replaces each banner line (the line before a path line) by "<banner>";
// a banner is a dated line that names dialgate.dll.
inline std::string MaskBanners(const std::string& log) {
    const std::string dated = "[" + TodayShortDate() + "] : [T] - ";
    const std::string pathLine = dated + "Загрузка из файла конфигурации: ";
    std::vector<std::string> lines;
    for (size_t from = 0; from < log.size();) {
        const size_t end = log.find("\r\n", from);
        const size_t next = end == std::string::npos ? log.size() : end + 2;
        lines.push_back(log.substr(from, next - from));
        from = next;
    }
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i + 1].rfind(pathLine, 0) == 0 && lines[i].rfind(dated, 0) == 0 &&
            lines[i].find("dialgate.dll") != std::string::npos)
            lines[i] = "<banner>\r\n";
    }
    std::string out;
    for (const std::string& line : lines) out += line;
    return out;
}

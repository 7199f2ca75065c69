#include "Monitor.h"

#include "../ConsoleTexts.h"
#include "UserFilesFormat.h"

std::string CountdownText(FileRead state, std::string_view fileStart) {
    switch (state) {
        case FileRead::Missing: return text::kUsersOff;
        case FileRead::Unreadable: return text::kCountdown;
        case FileRead::Read: break;
    }
    return text::kCountdown + TimeFileHead(fileStart);
}

UserFields UserFieldsFor(FileRead state, const std::vector<std::string>& lines) {
    if (state == FileRead::Missing) return {text::kNick, text::kPassword, text::kLimit};
    const std::string blank = " ";
    return {text::kNick + blank + LineOrEmpty(lines, 1), text::kPassword + blank + LineOrEmpty(lines, 2),
            text::kLimit + blank + LineOrEmpty(lines, 3)};
}

std::string LogViewText(std::string_view fileBytes) {
    std::string view;
    view.reserve(fileBytes.size() + fileBytes.size() / 32 + 2);
    for (size_t i = 0; i < fileBytes.size(); ++i) {
        const char c = fileBytes[i];
        if (c == '\r') {
            if (i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n') ++i;
            view += "\r\n";
        } else if (c == '\n') {
            view += "\r\n";
        } else {
            view += c == '\0' ? ' ' : c;
        }
    }
    return view;
}

bool IsWorkingTime(int hour, int32_t timeBegin, int32_t timeEnd) { return hour >= timeBegin || hour < timeEnd; }

WatchAction WatchStep(int32_t& watchTickCounter, bool workTimeCheckDisabled, bool workingTime) {
    --watchTickCounter;
    if (watchTickCounter != 0) return WatchAction::None;
    watchTickCounter = 5;
    if (workTimeCheckDisabled) return WatchAction::None;
    return workingTime ? WatchAction::StartService : WatchAction::StopService;
}

const char* ServiceStateWords(uint32_t state) {
    constexpr uint32_t known = sizeof text::kServiceStates / sizeof text::kServiceStates[0];
    return state >= 1 && state <= known ? text::kServiceStates[state - 1] : text::kServiceNotInstalled;
}

// What the console tells the operator in a balloon from the notification
// area while its window is hidden (the log's notices are read with its lines,
// in PluginLog.h): the watch's steps and the plug-in's events worth telling,
// and every notice's texts. Plain code.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Monitor.h"
#include "PluginLog.h"
#include "PluginState.h"

// A watch step worth telling: the service was running and the watch stopped
// it, or was stopped and the watch started it. `stateBefore` is the service's
// state before the step (1 stopped ... 7 paused, 0 not known).
bool WatchNotice(WatchAction action, uint32_t stateBefore, Notice& notice);

// An event of the plug-in worth telling: its log cannot be written.
bool EventNotice(const PluginEventRecord& event, Notice& notice);

enum class NoticeLevel { Info, Warning, Error };
struct NoticeText {
    NoticeLevel level;
    std::string title;
    std::string text;  // Windows-1251
};
NoticeText NoticeTextFor(const Notice& notice);

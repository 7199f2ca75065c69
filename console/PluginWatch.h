// Where the main window gets the facts of the plug-in's state: the log's days
// looked through backwards, the RemoteAccess service's process, and the
// plug-in's events in the Application log. Times are seconds of the local
// clock since 1601 (as PluginState.h counts them).
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "logic/PluginLog.h"
#include "logic/PluginState.h"

// The start of the day `back` days before today, and that day's short date.
int64_t LocalDayStart(int back, std::string* shortDate = nullptr);
// A moment of the local clock, and the same as the console shows it (date and time).
int64_t LocalSeconds(const SYSTEMTIME& local);
std::string LocalTimeText(int64_t seconds);

// The last start-up or unload line in the logs of `logFolder`, from the end
// of today's backwards, day by day; days that ended before `notBefore` (the
// service's start, 0 if not known) are not looked at, nor more than
// `maxDays` days. Each log is read from its end in pieces until the line is found.
PluginLifecycle FindLastLifecycle(const std::string& logFolder, int64_t notBefore, int maxDays);

// The service's state (as ServiceState) and, while it runs, its process's start.
struct ServiceProcess {
    DWORD state = 0;
    DWORD processId = 0;
    int64_t started = 0;  // 0 when the process cannot be asked
};
ServiceProcess QueryServiceProcess(const char* name, const ServiceProcess& previous);

// The plug-in's events newer than those of the last call, oldest first; the
// first call looks at the log's last records. The window's seam: a test
// hands its own.
using PluginEventSource = std::function<std::vector<PluginEventRecord>()>;
// The Application log's events of the source "dialgate".
PluginEventSource ApplicationLogEvents();

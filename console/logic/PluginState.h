// Whether the plug-in is loaded, as the main window's field PluginState
// shows it: from the log's last start-up or unload line, the state of the
// RemoteAccess service and when its process started, and the plug-in's
// events in the Application log. A plug-in that should be loaded but has
// written no start-up line since the service's process started is a problem,
// shown with what to check. Plain code: the window gathers the facts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "PluginLog.h"

// The plug-in's events that tell of its state, by their number in its
// message table (gate/DialgateEvents.mc); the log keeps the severity in the
// high bits of the event's ID.
enum class PluginEventKind { Other, Loaded, LogUnwritable, LogWritableAgain, WorkerNotEnded };
PluginEventKind PluginEventKindOf(uint32_t eventId);

// Times are seconds of the local clock since 1601, as the platform counts
// them; 0 when not known.
struct PluginEventRecord {
    uint32_t id = 0;
    int64_t at = 0;
    std::string atText;  // date and time, as the window shows them (Windows-1251)
    std::string detail;  // lines lost, for LogWritableAgain
};

// The service's state as the state field needs it.
enum class ServiceRun { Unknown, Stopped, Starting, Running, Stopping };
// From the service control manager's state (1 stopped ... 7 paused); 0, a
// service that cannot be queried, is Unknown.
ServiceRun ServiceRunOf(uint32_t state);

struct PluginFacts {
    PluginLifecycle lifecycle;
    int64_t lifecycleAt = 0;       // the line's time
    ServiceRun service = ServiceRun::Unknown;
    int64_t serviceStarted = 0;     // its process's start
    std::string serviceStartedText;
    std::vector<PluginEventRecord> events;  // oldest first
};

struct PluginStateView {
    bool problem = false;
    std::string text;  // Windows-1251
};
PluginStateView PluginStateFor(const PluginFacts& facts);

#include "PluginState.h"

#include "../ConsoleTexts.h"

PluginEventKind PluginEventKindOf(uint32_t eventId) {
    // The numbers of gate/DialgateEvents.mc.
    switch (eventId & 0xFFFF) {
        case 1: return PluginEventKind::Loaded;
        case 3: return PluginEventKind::LogUnwritable;
        case 4: return PluginEventKind::LogWritableAgain;
        case 6: return PluginEventKind::WorkerNotEnded;
        default: return PluginEventKind::Other;
    }
}

ServiceRun ServiceRunOf(uint32_t state) {
    switch (state) {
        case 1: return ServiceRun::Stopped;
        case 2: return ServiceRun::Starting;
        case 3: return ServiceRun::Stopping;
        case 4:  // running
        case 5:  // continuing
        case 6:  // pausing
        case 7:  // paused: the plug-in stays loaded
            return ServiceRun::Running;
        default: return ServiceRun::Unknown;
    }
}

namespace {

std::string When(const PluginLifecycle& l) { return l.date + " " + l.time; }

std::string Loaded(const std::string& version, const std::string& since) {
    std::string text = text::kPluginLoaded;
    if (!version.empty()) text += text::kPluginVersion + version;
    return text + text::kPluginSince + since;
}

// What the plug-in's events since its start add.
struct EventsSince {
    const PluginEventRecord* loaded = nullptr;
    const PluginEventRecord* unwritable = nullptr;  // and not written again since
    const PluginEventRecord* writableAgain = nullptr;
    const PluginEventRecord* workerNotEnded = nullptr;
};

EventsSince Since(const std::vector<PluginEventRecord>& events, int64_t start) {
    EventsSince e;
    for (const PluginEventRecord& r : events) {
        if (start != 0 && r.at != 0 && r.at < start) continue;
        switch (PluginEventKindOf(r.id)) {
            case PluginEventKind::Loaded: e.loaded = &r; break;
            case PluginEventKind::LogUnwritable:
                e.unwritable = &r;
                e.writableAgain = nullptr;
                break;
            case PluginEventKind::LogWritableAgain:
                e.writableAgain = &r;
                e.unwritable = nullptr;
                break;
            case PluginEventKind::WorkerNotEnded: e.workerNotEnded = &r; break;
            case PluginEventKind::Other: break;
        }
    }
    return e;
}

}  // namespace

PluginStateView PluginStateFor(const PluginFacts& f) {
    using State = PluginLifecycle::State;
    const PluginLifecycle& l = f.lifecycle;
    PluginStateView view;
    switch (f.service) {
        case ServiceRun::Stopped:
            view.text = text::kPluginServiceStopped;
            if (l.state == State::Unloaded) view.text += text::kLine + (text::kPluginLastUnloaded + When(l));
            return view;
        case ServiceRun::Starting: view.text = text::kPluginServiceStarting; return view;
        case ServiceRun::Stopping: view.text = text::kPluginServiceStopping; return view;
        case ServiceRun::Unknown:
            if (l.state == State::Loaded) view.text = Loaded(l.version, When(l)) + text::kPluginByLog;
            else if (l.state == State::Unloaded) view.text = text::kPluginUnloaded + When(l) + text::kPluginByLog;
            else view.text = std::string(text::kPluginNoLines) + text::kPluginServiceUnknown;
            break;
        case ServiceRun::Running: {
            // Loaded by this process of the service: a start-up line since it
            // started (the log has whole seconds, the process's start finer).
            const bool sinceStart = l.state == State::Loaded &&
                                    (f.serviceStarted == 0 || f.lifecycleAt == 0 || f.lifecycleAt + 1 >= f.serviceStarted);
            const EventsSince early = Since(f.events, f.serviceStarted);
            if (sinceStart) {
                view.text = Loaded(l.version, When(l));
            } else if (early.loaded && f.serviceStarted != 0) {
                view.problem = true;
                view.text = Loaded(early.loaded->detail, early.loaded->atText) + text::kPluginLoadedByEvent + text::kLine +
                            text::kPluginSameLogFolder;
            } else {
                view.problem = true;
                view.text = text::kPluginMissing;
                if (!f.serviceStartedText.empty()) view.text += text::kPluginRunningSince + f.serviceStartedText;
                view.text += text::kPluginNoStartSince + std::string(text::kLine) + text::kPluginWhatToCheck;
            }
            break;
        }
    }
    // The events of the plug-in's current run.
    const int64_t start = f.serviceStarted != 0 ? f.serviceStarted : (l.state == State::Loaded ? f.lifecycleAt : 0);
    const EventsSince e = Since(f.events, start);
    if (e.unwritable) {
        view.problem = true;
        view.text += text::kLine + (text::kPluginLogUnwritable + e.unwritable->atText) + text::kPluginLogWhatToCheck;
    }
    if (e.writableAgain) {
        view.text += text::kLine + (text::kPluginLogAgain + e.writableAgain->atText);
        if (!e.writableAgain->detail.empty()) view.text += text::kPluginLinesLost + e.writableAgain->detail;
    }
    if (e.workerNotEnded) {
        view.problem = true;
        view.text += text::kLine + std::string(text::kPluginWorkerNotEnded);
    }
    return view;
}

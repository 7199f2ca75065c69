#include "Notices.h"

#include "../ConsoleTexts.h"
#include "LogTexts.h"

bool WatchNotice(WatchAction action, uint32_t stateBefore, Notice& notice) {
    const ServiceRun before = ServiceRunOf(stateBefore);
    if (action == WatchAction::StartService && before == ServiceRun::Stopped) {
        notice = {NoticeKind::WatchStarted, "", "", ""};
        return true;
    }
    if (action == WatchAction::StopService && (before == ServiceRun::Running || before == ServiceRun::Starting)) {
        notice = {NoticeKind::WatchStopped, "", "", ""};
        return true;
    }
    return false;
}

bool EventNotice(const PluginEventRecord& event, Notice& notice) {
    if (PluginEventKindOf(event.id) != PluginEventKind::LogUnwritable) return false;
    notice = {NoticeKind::LogUnwritable, "", "", event.atText};
    return true;
}

NoticeText NoticeTextFor(const Notice& n) {
    const std::string nick = std::string(text::kNick) + " " + n.login;
    switch (n.kind) {
        case NoticeKind::CallerCame:
            return {NoticeLevel::Info, text::kNoticeCallerCame, nick + ", " + text::kLimit + " " + n.limit};
        case NoticeKind::DisconnectedAtLimit: return {NoticeLevel::Warning, log_text::kDisconnected, nick};
        case NoticeKind::LogUnwritable:
            return {NoticeLevel::Error, text::kNoticeLogUnwritable,
                    (n.at.empty() ? std::string() : std::string(text::kNoticeSince) + n.at + ". ") +
                        text::kNoticeLogWhatToCheck};
        case NoticeKind::WatchStarted: return {NoticeLevel::Info, text::kNoticeWatch, text::kNoticeRasStarted};
        case NoticeKind::WatchStopped: return {NoticeLevel::Info, text::kNoticeWatch, text::kNoticeRasStopped};
    }
    return {NoticeLevel::Info, "", ""};
}

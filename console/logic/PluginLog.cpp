#include "PluginLog.h"

#include "ConnectionReport.h"
#include "LogFormat.h"
#include "LogTexts.h"

namespace {

enum class Kind { Other, Banner, Initialized, Terminated };

// Release 1.0.0 wrote the banner with "учёта"; later ones with "учета".
bool BannerTail(std::string_view rest) {
    static const std::string now = std::string(log_text::kBanner).substr(std::string(log_text::kBanner).find("%s") + 2);
    static const std::string old = [] {
        std::string text = now;
        const std::string plain = "учета";
        return text.replace(text.find(plain), plain.size(), "учёта");
    }();
    return rest == now || rest == old;
}

// What a log line is, its version for a banner.
Kind KindOf(std::string_view line, std::string& date, std::string& time, std::string& version) {
    std::string_view d, t, message;
    if (!SplitLogLine(line, d, t, message)) return Kind::Other;
    date.assign(d);
    time.assign(t);
    if (message == log_text::kInitialized) return Kind::Initialized;
    if (message == log_text::kTerminated) return Kind::Terminated;
    const std::string_view banner = log_text::kBanner;
    const std::string_view head = banner.substr(0, banner.find("%s"));
    if (message.substr(0, head.size()) != head) return Kind::Other;
    const std::string_view rest = message.substr(head.size());
    const size_t colon = rest.find(':');
    if (colon == std::string_view::npos || !BannerTail(rest.substr(colon))) return Kind::Other;
    version.assign(rest.substr(0, colon));
    return Kind::Banner;
}

PluginLifecycle Make(PluginLifecycle::State state, std::string version, std::string date, std::string time,
                     int64_t dayStart) {
    PluginLifecycle l;
    l.state = state;
    l.version = std::move(version);
    l.second = SecondOfDay(time);
    l.date = std::move(date);
    l.time = std::move(time);
    l.dayStart = dayStart;
    return l;
}

std::string_view WithoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool StartsWith(const std::string& text, const char* head, std::string& rest) {
    const std::string h = head;
    if (text.compare(0, h.size(), h) != 0) return false;
    rest = text.substr(h.size());
    return true;
}

}  // namespace

void PluginLogFollower::NewDay(int64_t dayStart) {
    dayStart_ = dayStart;
    partial_.clear();
}

void PluginLogFollower::Feed(std::string_view bytes) {
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n', start)) {
        if (partial_.empty()) {
            Line(bytes.substr(start, end - start));
        } else {
            partial_.append(bytes.substr(start, end - start));
            Line(partial_);
            partial_.clear();
        }
        start = end + 1;
    }
    partial_.append(bytes.substr(start));
}

void PluginLogFollower::Line(std::string_view line) {
    std::string_view d, t, message;
    if (SplitLogLine(WithoutCr(line), d, t, message)) notices_.Line(std::string(message));
    std::string date, time, version;
    switch (KindOf(WithoutCr(line), date, time, version)) {
        case Kind::Banner:
            last_ = Make(PluginLifecycle::State::Loaded, version, date, time, dayStart_);
            banner_ = true;
            break;
        case Kind::Initialized:
            // The start-up whose banner came just before keeps the banner's version and time.
            if (!banner_ || last_.state != PluginLifecycle::State::Loaded)
                last_ = Make(PluginLifecycle::State::Loaded, "", date, time, dayStart_);
            banner_ = false;
            break;
        case Kind::Terminated:
            last_ = Make(PluginLifecycle::State::Unloaded, "", date, time, dayStart_);
            banner_ = false;
            break;
        case Kind::Other: break;
    }
}

bool PluginLifecycleSearch::FeedEarlier(std::string_view earlier, bool fileStart, int64_t dayStart) {
    if (done_) return true;
    std::string text(earlier);
    text += head_;
    head_.clear();
    // Whole lines from the last to the first; the first is whole only at the file's start.
    size_t end = text.size();
    while (!done_) {
        const size_t cut = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
        if (cut == std::string::npos) {
            if (fileStart) {
                Line(std::string_view(text).substr(0, end), dayStart);
            } else {
                head_ = text.substr(0, end);
            }
            break;
        }
        Line(std::string_view(text).substr(cut + 1, end - cut - 1), dayStart);
        end = cut;
    }
    // At a file's start a kInitialized found has no banner before it in this log.
    if (fileStart && !done_ && found_.state == PluginLifecycle::State::Loaded) done_ = true;
    return done_;
}

void PluginLifecycleSearch::End() { done_ = true; }

void PluginLifecycleSearch::Line(std::string_view line, int64_t dayStart) {
    std::string date, time, version;
    const Kind kind = KindOf(WithoutCr(line), date, time, version);
    if (kind == Kind::Other) return;
    if (found_.state == PluginLifecycle::State::None) {
        if (kind == Kind::Terminated) {
            found_ = Make(PluginLifecycle::State::Unloaded, "", date, time, dayStart);
            done_ = true;
        } else {
            found_ = Make(PluginLifecycle::State::Loaded, version, date, time, dayStart);
            done_ = kind == Kind::Banner;
        }
        return;
    }
    // Found a kInitialized; before it, its own banner, or an earlier start or unload.
    if (kind == Kind::Banner) found_ = Make(PluginLifecycle::State::Loaded, version, date, time, dayStart);
    done_ = true;
}


void NoticeReader::Line(const std::string& message) {
    std::string rest;
    if (message == log_text::kUserArrived) {
        login_.clear();
    } else if (StartsWith(message, log_text::kUserLine, rest)) {
        login_ = rest;
    } else if (StartsWith(message, log_text::kLimitLine, rest)) {
        // The password between the two lines is never taken.
        notices_.push_back({NoticeKind::CallerCame, login_, rest, ""});
        lastLogin_ = login_;
    } else if (message == log_text::kDisconnected) {
        notices_.push_back({NoticeKind::DisconnectedAtLimit, lastLogin_, "", ""});
    }
}

std::vector<Notice> NoticeReader::Take() {
    std::vector<Notice> taken;
    taken.swap(notices_);
    return taken;
}

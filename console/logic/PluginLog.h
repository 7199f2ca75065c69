// What the plug-in's daily log says of the plug-in itself: when it was
// loaded (its start-up banner, with its version) and unloaded; and what the
// operator is to be told of its callers (Notices.h). Read two ways:
// forwards, line by line as the plug-in appends them, and backwards from the
// end of a day's log, in pieces, for the last such line before the console
// started. Plain code over the files' bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The last start-up or unload line of the plug-in.
struct PluginLifecycle {
    enum class State { None, Loaded, Unloaded };
    State state = State::None;  // None: no such line (yet)
    std::string version;        // of the banner; empty when the start had none
    std::string date, time;     // as the line carries them
    int64_t dayStart = 0;       // the start of its log's day, in the caller's seconds
    int32_t second = -1;        // of the day, from `time` (SecondOfDay); -1 when it does not read as one
};

// What the console tells the operator in a balloon while its window is
// hidden: a caller came (his login and limit, never his password), a caller
// was disconnected at his limit, the plug-in cannot write its log, the
// working-hours watch started or stopped RemoteAccess.
enum class NoticeKind { CallerCame, DisconnectedAtLimit, LogUnwritable, WatchStarted, WatchStopped };
struct Notice {
    NoticeKind kind;
    std::string login;  // the caller's, as the log has it (Windows-1251)
    std::string limit;  // his limit in minutes, as the log has it
    std::string at;     // when the log became unwritable
};

// The notices in the lines of the plug-in's log: a user block's ">USER: "
// and ">LIMIT: " lines, and the disconnect at the end of the limit (with the
// login of the last caller who came).
class NoticeReader {
public:
    // A dated line's message.
    void Line(const std::string& message);
    std::vector<Notice> Take();

private:
    std::vector<Notice> notices_;
    std::string login_;     // of the user block being read
    std::string lastLogin_;  // of the last caller who came
};

// Follows the lines appended to a day's log, in pieces of any size.
class PluginLogFollower {
public:
    // A new day's log, which begins at `dayStart`: its lines come from its start.
    void NewDay(int64_t dayStart);
    void Feed(std::string_view bytes);
    const PluginLifecycle& Lifecycle() const { return last_; }
    // The notices of the lines fed since the last call.
    std::vector<Notice> TakeNotices() { return notices_.Take(); }
    // Where a search backwards left it, before any line was followed.
    void SetLifecycle(const PluginLifecycle& found) { last_ = found; }

private:
    void Line(std::string_view line);

    PluginLifecycle last_;
    bool banner_ = false;  // the last start-up line was a banner, not yet followed by kInitialized
    int64_t dayStart_ = 0;
    std::string partial_;  // a line not ended yet
    NoticeReader notices_;
};

// Looks for the last start-up or unload line, fed a day's log from its end
// backwards, one piece before the other, and then the days before it. A
// start-up is the banner; where only the line of kInitialized is found, the
// banner of the same start before it is looked for, for the version.
class PluginLifecycleSearch {
public:
    // `earlier`: the bytes just before those fed so far of the log of the
    // day that begins at `dayStart`; `fileStart`: they begin the file. True
    // once the answer is known (Found()).
    bool FeedEarlier(std::string_view earlier, bool fileStart, int64_t dayStart);
    // No more logs to look at: what was found so far is the answer.
    void End();
    bool Done() const { return done_; }
    const PluginLifecycle& Found() const { return found_; }

private:
    void Line(std::string_view line, int64_t dayStart);

    PluginLifecycle found_;
    bool done_ = false;
    std::string head_;  // the first, not yet whole line of what was fed
};

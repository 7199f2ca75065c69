// What the plug-in's daily log says of the plug-in itself: when it was
// loaded (its start-up banner, with its version) and unloaded. Read two ways:
// forwards, line by line as the plug-in appends them, and backwards from the
// end of a day's log, in pieces, for the last such line before the console
// started. Plain code over the files' bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The last start-up or unload line of the plug-in.
struct PluginLifecycle {
    enum class State { None, Loaded, Unloaded };
    State state = State::None;  // None: no such line (yet)
    std::string version;        // of the banner; empty when the start had none
    std::string date, time;     // as the line carries them
    int64_t dayStart = 0;       // the start of its log's day, in the caller's seconds
    int32_t second = -1;        // of the day, from `time` (SecondOfDay); -1 when it does not read as one
};

// Follows the lines appended to a day's log, in pieces of any size.
class PluginLogFollower {
public:
    // A new day's log, which begins at `dayStart`: its lines come from its start.
    void NewDay(int64_t dayStart);
    void Feed(std::string_view bytes);
    const PluginLifecycle& Lifecycle() const { return last_; }
    // Where a search backwards left it, before any line was followed.
    void SetLifecycle(const PluginLifecycle& found) { last_ = found; }

private:
    void Line(std::string_view line);

    PluginLifecycle last_;
    bool banner_ = false;  // the last start-up line was a banner, not yet followed by kInitialized
    int64_t dayStart_ = 0;
    std::string partial_;  // a line not ended yet
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

// The log view's decisions: keep, append or load anew, given what is shown
// and what the file holds; and the size of a load's steps.
#include <gtest/gtest.h>

#include <algorithm>

#include "LogView.h"

namespace {

const size_t npos = std::string_view::npos;

LogStamp Stamp(const std::string& file, uint64_t writeTime = 1, const char* path = "L:\\07.12.2026_log.txt") {
    return LogStamp{path, true, file.size(), writeTime};
}

// A view driven the way the window drives it: the text it would hold and
// what it remembers, one step after another, each reading at most `slice`
// bytes past the tail on show.
struct View {
    ShownLog shown;
    std::string text;

    LogViewPlan Step(const std::string& file, size_t slice, uint64_t writeTime = 1) {
        const LogStamp now = Stamp(file, writeTime);
        LogViewPlan plan = PlanLogView(shown, now);
        if (plan == LogViewPlan::Keep) return plan;
        ShownLog base = shown;
        if (plan == LogViewPlan::Reload) base = ShownLog{};
        const std::string_view bytes = file;
        const std::string_view head = bytes.substr(0, base.HeadBytes());
        const std::string_view from = bytes.substr(std::min<uint64_t>(base.ReadFrom(), bytes.size()), base.tail.size() + slice);
        size_t at = LogViewChange(base, head, from);
        if (at == npos) {
            // The window empties the view and starts from the file's start.
            base = ShownLog{};
            plan = LogViewPlan::Reload;
            at = LogViewChange(base, bytes.substr(0, 0), bytes.substr(0, slice));
            EXPECT_EQ(at, 0u);
            TakeLogBytes(base, bytes.substr(0, slice), at);
            text.clear();
            text += LogViewText(bytes.substr(0, slice));
        } else {
            if (plan == LogViewPlan::Reload) text.clear();
            TakeLogBytes(base, from, at);
            text += LogViewText(from.substr(at));
        }
        base.valid = true;
        base.stamp = now;
        shown = base;
        return plan;
    }
    // Steps until nothing more is read; the number of steps taken.
    int Catch(const std::string& file, size_t slice, uint64_t writeTime = 1) {
        int steps = 0;
        while (Step(file, slice, writeTime) != LogViewPlan::Keep && steps < 100000) ++steps;
        return steps;
    }
};

std::string Lines(int count, const char* word = "Принято новое подключение") {
    std::string log;
    for (int i = 0; i < count; ++i) log += "[07.12.2026] : [21:40:00] - " + std::string(word) + " " + std::to_string(i) + "\r\n";
    return log;
}

TEST(LogViewPlanTest, KeepsAnUnchangedFileAndLoadsANewDayOrACutFileAnew) {
    ShownLog shown;
    const LogStamp now = Stamp("abc\r\n");
    EXPECT_EQ(PlanLogView(shown, now), LogViewPlan::Reload);  // nothing shown yet
    shown.valid = true;
    shown.stamp = now;
    shown.bytes = now.size;
    EXPECT_EQ(PlanLogView(shown, now), LogViewPlan::Keep);

    LogStamp grown = now, touched = now, cut = now, nextDay = now;
    grown.size += 10;
    touched.writeTime += 1;
    cut.size -= 1;
    nextDay.path = "L:\\08.12.2026_log.txt";
    EXPECT_EQ(PlanLogView(shown, grown), LogViewPlan::ReadOn);
    EXPECT_EQ(PlanLogView(shown, touched), LogViewPlan::ReadOn);  // checked at both ends
    EXPECT_EQ(PlanLogView(shown, cut), LogViewPlan::Reload);
    EXPECT_EQ(PlanLogView(shown, nextDay), LogViewPlan::Reload);

    // Half loaded: the rest is read even though the file has not changed.
    shown.bytes = 2;
    EXPECT_TRUE(shown.Loading());
    EXPECT_EQ(PlanLogView(shown, now), LogViewPlan::ReadOn);

    // After "Очистить лог" the unchanged file is loaded again.
    shown.valid = false;
    EXPECT_EQ(PlanLogView(shown, now), LogViewPlan::Reload);
}

TEST(LogViewPlanTest, AMissingFileIsSaidOnceADay) {
    ShownLog shown;
    LogStamp gone{"L:\\07.12.2026_log.txt", false, 0, 0};
    EXPECT_EQ(PlanLogView(shown, gone), LogViewPlan::ShowMissing);
    shown.valid = true;
    shown.stamp = gone;
    EXPECT_EQ(PlanLogView(shown, gone), LogViewPlan::Keep);
    gone.path = "L:\\08.12.2026_log.txt";
    EXPECT_EQ(PlanLogView(shown, gone), LogViewPlan::ShowMissing);
    // A file that appears after the missing one is loaded from its start.
    EXPECT_EQ(PlanLogView(shown, Stamp("x", 1, "L:\\08.12.2026_log.txt")), LogViewPlan::Reload);
}

TEST(LogViewChangeTest, OnlyAFileThatGoesOnFromBothEndsOfTheViewIsAppendedTo) {
    View view;
    const std::string log = Lines(300);  // more than both check ends
    view.Catch(log, 1 << 20);
    ASSERT_EQ(view.text, log);
    EXPECT_EQ(view.shown.head, log.substr(0, kLogCheckBytes));
    EXPECT_EQ(view.shown.tail, log.substr(log.size() - kLogCheckBytes));

    const std::string grown = log + "[07.12.2026] : [21:40:01] - Подключен интерфейс\r\n";
    const std::string_view from = std::string_view(grown).substr(view.shown.ReadFrom());
    EXPECT_EQ(LogViewChange(view.shown, grown.substr(0, kLogCheckBytes), from), kLogCheckBytes);
    EXPECT_EQ(LogViewChange(view.shown, grown.substr(0, kLogCheckBytes), from.substr(0, kLogCheckBytes)),
              kLogCheckBytes);  // touched, nothing new

    std::string otherStart = grown;
    otherStart[3] = 'X';
    EXPECT_EQ(LogViewChange(view.shown, otherStart.substr(0, kLogCheckBytes), from), npos);
    std::string otherEnd = grown;
    otherEnd[log.size() - 5] = 'X';
    EXPECT_EQ(LogViewChange(view.shown, grown.substr(0, kLogCheckBytes),
                            std::string_view(otherEnd).substr(view.shown.ReadFrom())),
              npos);
    EXPECT_EQ(LogViewChange(view.shown, grown.substr(0, 10), from), npos);              // cut to ten bytes
    EXPECT_EQ(LogViewChange(view.shown, grown.substr(0, kLogCheckBytes), from.substr(0, 5)), npos);  // cut
}

TEST(LogViewChangeTest, ACrLfSplitBetweenTwoReadsBecomesOneLineEnd) {
    ShownLog shown;
    shown.valid = true;
    TakeLogBytes(shown, "a\r", 0);
    EXPECT_EQ(LogViewChange(shown, "a\r", "a\r"), 2u);       // the LF not there yet
    EXPECT_EQ(LogViewChange(shown, "a\r", "a\r\nb"), 3u);    // its LF passed over
    EXPECT_EQ(LogViewChange(shown, "a\r", "a\rb"), 2u);      // a lone CR stays one
    TakeLogBytes(shown, "a\r\nb", 3);
    EXPECT_EQ(shown.bytes, 4u);
    EXPECT_EQ(shown.tail, "a\r\nb");
    EXPECT_EQ(shown.lines.ScrollLines(), 1);
}

// The property the window relies on: however the file is cut into reads and
// however it grows meanwhile, the view ends with what one whole load shows.
TEST(LogViewChangeTest, LoadingInAnyStepsShowsWhatOneWholeLoadShows) {
    std::string file = "a\r\nb\rc\nd\r\r\n" + Lines(5) + std::string("nul\0byte\r", 9) + "\nend";
    for (size_t slice = 1; slice <= 40; ++slice) {
        View view;
        view.Catch(file, slice);
        EXPECT_EQ(view.text, LogViewText(file)) << "slice " << slice;
        EXPECT_EQ(view.shown.lines.ScrollLines(), LogScrollLines(file)) << "slice " << slice;
        EXPECT_EQ(view.shown.bytes, file.size());
        EXPECT_FALSE(view.shown.Loading());
    }
    // Growing while it loads, a few bytes between two steps, also inside a CR LF.
    const std::string big = Lines(400) + "x\r";
    for (size_t slice : {size_t{7}, size_t{1000}, size_t{5000}}) {
        View view;
        std::string grows = big.substr(0, 3000);
        int steps = 0;
        while (grows.size() < big.size() || view.Step(grows, slice) != LogViewPlan::Keep) {
            if (grows.size() < big.size()) {
                view.Step(grows, slice);
                grows = big.substr(0, grows.size() + 37);
            }
            ASSERT_LT(++steps, 200000);
        }
        EXPECT_EQ(view.text, LogViewText(big)) << "slice " << slice;
        EXPECT_EQ(view.shown.lines.ScrollLines(), LogScrollLines(big));
        grows += "\nlast";
        view.Catch(grows, slice);
        EXPECT_EQ(view.text, LogViewText(grows));
        EXPECT_EQ(view.shown.lines.ScrollLines(), LogScrollLines(grows));
    }
}

TEST(LogViewChangeTest, AFileReplacedDuringALoadIsLoadedAnewFromItsStart) {
    const std::string first = Lines(800, "старый");
    View view;
    for (int i = 0; i < 5; ++i) view.Step(first, 4000);
    ASSERT_TRUE(view.shown.Loading());
    // Longer than before and different: the check at the start catches it.
    const std::string second = Lines(900, "новый");
    EXPECT_EQ(view.Step(second, 4000), LogViewPlan::Reload);
    view.Catch(second, 4000);
    EXPECT_EQ(view.text, second);
    // Shorter: the plan already says so.
    const std::string third = Lines(3, "третий");
    EXPECT_EQ(view.Step(third, 4000), LogViewPlan::Reload);
    view.Catch(third, 4000);
    EXPECT_EQ(view.text, third);
}

TEST(LogSlicerTest, AStepAimsAtItsTimeAndGrowsAtMostTwofold) {
    LogSlicer slicer;
    EXPECT_EQ(slicer.next, LogSlicer::kFirst);
    // 200,000 bytes took 100 ms: 50 ms takes 100,000.
    slicer.Took(200000, 1 << 20, 100.0);
    EXPECT_EQ(slicer.next, 100000u);
    // The control's cost grew: 125 ms for 100,000 bytes.
    slicer.Took(100000, 1 << 20, 125.0);
    EXPECT_EQ(slicer.next, 40000u);
    // Fast again: at most twice the last step.
    slicer.Took(40000, 1 << 20, 5.0);
    EXPECT_EQ(slicer.next, 80000u);
}

TEST(LogSlicerTest, StepsStayWithinTheirBoundsWhateverTheClockSays) {
    LogSlicer slicer;
    slicer.Took(LogSlicer::kFirst, 1 << 20, 0.0);  // a clock that did not move
    EXPECT_EQ(slicer.next, 2 * LogSlicer::kFirst);
    for (int i = 0; i < 20; ++i) slicer.Took(slicer.next, 1 << 20, 0.0);
    EXPECT_EQ(slicer.next, LogSlicer::kMax);
    // Past the target whatever the size: the floor, not steps of a few bytes.
    LogSlicer slow;
    for (int i = 0; i < 5; ++i) slow.Took(slow.next, 1 << 20, 1e6);
    EXPECT_EQ(slow.next, LogSlicer::kMin);
    // The per-second line learns nothing of a step's cost.
    LogSlicer lines;
    lines.Took(70, 1 << 20, 500.0);
    EXPECT_EQ(lines.next, LogSlicer::kFirst);
}

TEST(LogSlicerTest, ABigViewTakesStepsOfAtLeastA256thOfItself) {
    LogSlicer slicer;
    // 50 MB on show and a step of 32 KB took a second: the step a 256th.
    slicer.Took(32 * 1024, 50u << 20, 1000.0);
    EXPECT_EQ(slicer.next, (50u << 20) / 256);
    // Not past the largest step, however big the view.
    slicer.Took(slicer.next, uint64_t{4} << 30, 1000.0);
    EXPECT_EQ(slicer.next, LogSlicer::kMax);
}

}  // namespace

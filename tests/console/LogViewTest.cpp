// The log view's decisions: the index of line starts, what a refresh reads of
// the file, the lines held for drawing, the caret and selection, and find.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "LogView.h"
#include "Monitor.h"

namespace {

const char kPath[] = "L:\\07.12.2026_log.txt";

std::string Lines(int count, const char* word = "Принято новое подключение") {
    std::string log;
    for (int i = 0; i < count; ++i) log += "[07.12.2026] : [21:40:00] - " + std::string(word) + " " + std::to_string(i) + "\r\n";
    return log;
}

std::vector<uint64_t> Starts(const LineIndex& index) {
    std::vector<uint64_t> starts;
    for (uint64_t line = 0; line < index.Lines(); ++line) starts.push_back(index.Start(line));
    return starts;
}

LineIndex IndexOf(std::string_view text) {
    LineIndex index;
    index.Add(text);
    return index;
}

// The file as a refresh reads it, counting the reads.
struct File {
    std::string bytes;
    uint64_t writeTime = 1;
    int reads = 0;
    bool readable = true;
    LogStamp Stamp() const { return LogStamp{kPath, true, bytes.size(), writeTime}; }
    ShownReader Reader() {
        return [this](uint64_t offset, size_t size, std::string& out) {
            ++reads;
            out = offset < bytes.size() ? bytes.substr(offset, size) : std::string();
            return readable;
        };
    }
};

// One refresh step as the window takes it, reading at most `pieces` pieces.
void Step(LogViewState& view, File& file, int pieces = 1000) {
    const LogViewPlan plan = view.Plan(file.Stamp());
    if (plan == LogViewPlan::ShowMissing) view.ShowMissing(file.Stamp());
    if (plan != LogViewPlan::Reload && plan != LogViewPlan::ReadOn) return;
    int left = pieces;
    view.Read(plan, file.Stamp(), file.Reader(), [&] { return --left > 0; });
}

TEST(LineIndexTest, AnySplitOfTheFileGivesTheSameLinesAndTextLength) {
    const std::string file = std::string("a\r\nb\rc\nd\r\r\n\n\r") + std::string("nul\0byte\r", 9) + "\nend\r";
    const LineIndex whole = IndexOf(file);
    EXPECT_EQ(whole.Lines(), 10u);
    EXPECT_EQ(whole.TextLength(), LogViewText(file).size());
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        for (size_t cut2 = cut; cut2 <= file.size(); cut2 += 3) {
            LineIndex parts;
            parts.Add(std::string_view(file).substr(0, cut));
            parts.Add(std::string_view(file).substr(cut, cut2 - cut));
            parts.Add(std::string_view(file).substr(cut2));
            ASSERT_EQ(Starts(parts), Starts(whole)) << "cut at " << cut << ", " << cut2;
            EXPECT_EQ(parts.TextLength(), whole.TextLength());
            EXPECT_EQ(parts.LongestLine(), whole.LongestLine());
            EXPECT_EQ(parts.LastLineOnTop(), whole.LastLineOnTop());
        }
        // The index as far as read says what the text as far as read says.
        const LineIndex part = IndexOf(std::string_view(file).substr(0, cut));
        const std::string text = LogViewText(file.substr(0, cut));
        EXPECT_EQ(part.TextLength(), text.size()) << "cut at " << cut;
        for (uint64_t line = 0, at = 0; line < part.Lines(); ++line) {
            const uint64_t end = std::min(text.find("\r\n", at), text.size());
            EXPECT_EQ(std::make_tuple(part.TextStart(line), part.TextOffset(part.Start(line)), part.ContentLength(line),
                                      part.LineAtText(end)),
                      std::make_tuple(at, at, end - at, line)) << "cut at " << cut << ", line " << line;
            at = end + 2;
        }
    }
}

TEST(LineIndexTest, TheLastLineGoesOnTopAndOffsetsFindTheirLines) {
    struct Case {
        const char* text;
        uint64_t top;
    };
    for (const Case& c : {Case{"", 0}, Case{"one", 0}, Case{"one\r\n", 0}, Case{"\r\n", 0}, Case{"one\r\ntwo", 1},
                          Case{"one\r\ntwo\r\n", 1}, Case{"one\r\n\r\n", 1}, Case{"\r\n\r\n\r\n", 2},
                          Case{"a\nb\nc\n", 2}, Case{"a\rb\rc", 2}, Case{"a\r\nb\nc\rd\r\n", 3}}) {
        EXPECT_EQ(IndexOf(c.text).LastLineOnTop(), c.top) << "text: " << c.text;
    }
    const std::string log = Lines(100000);
    const LineIndex index = IndexOf(log);
    EXPECT_EQ(index.LastLineOnTop(), 99999u);
    EXPECT_EQ(index.Lines(), 100001u);  // and the empty line after the last line end
    const uint64_t line = 77777;
    EXPECT_EQ(index.LineAt(index.Start(line)), line);
    EXPECT_EQ(index.LineAt(index.Start(line) - 1), line - 1);
    EXPECT_EQ(index.LineAt(log.size()), 100000u);
    EXPECT_EQ(log.compare(index.Start(line), 28, "[07.12.2026] : [21:40:00] - "), 0);
}

TEST(LineIndexTest, LinesPastFourGigabytesKeepTheirStarts) {
    LineIndex index;
    const std::string piece(1 << 20, 'x');
    const uint64_t pieces = 4097;  // a little past 4 GB
    for (uint64_t i = 0; i < pieces; ++i) {
        index.Add(piece);
        // A CR at the end of the piece, whose LF comes with the next one.
        if (i % 1024 == 1023) index.Add("\r");
        if (i % 1024 == 1023) index.Add("\n");
    }
    index.Add("\r");
    index.Add("\nlast");
    ASSERT_EQ(index.Lines(), 6u);
    const uint64_t mb = 1 << 20;
    EXPECT_EQ(index.Start(4), 4096 * mb + 4 * 2);  // just past 4 GB
    EXPECT_EQ(index.Start(5), 4097 * mb + 5 * 2);
    EXPECT_EQ(index.LineAt(4096 * mb + 9), 4u);
    EXPECT_EQ(index.LineAt(index.Bytes()), 5u);
    EXPECT_EQ(index.TextLength(), index.Bytes());
    EXPECT_EQ(index.LongestLine(), 0u);
}

TEST(LogViewStateTest, AnUnchangedFileIsKeptAndANewDayOrACutFileReadAnew) {
    LogViewState view;
    File file{Lines(3)};
    EXPECT_EQ(view.Plan(file.Stamp()), LogViewPlan::Reload);  // nothing shown yet
    Step(view, file);
    EXPECT_EQ(view.Plan(file.Stamp()), LogViewPlan::Keep);

    LogStamp grown = file.Stamp(), touched = grown, cut = grown, nextDay = grown, gone = grown;
    grown.size += 10;
    touched.writeTime += 1;
    cut.size -= 1;
    nextDay.path = "L:\\08.12.2026_log.txt";
    gone.exists = false;
    EXPECT_EQ(view.Plan(grown), LogViewPlan::ReadOn);
    EXPECT_EQ(view.Plan(touched), LogViewPlan::ReadOn);  // checked at both ends
    EXPECT_EQ(view.Plan(cut), LogViewPlan::Reload);
    EXPECT_EQ(view.Plan(nextDay), LogViewPlan::Reload);
    EXPECT_EQ(view.Plan(gone), LogViewPlan::ShowMissing);

    // After "Очистить лог" the unchanged file is read again.
    view.Clear();
    EXPECT_EQ(view.What(), LogViewState::Shows::Nothing);
    EXPECT_EQ(view.Bytes(), 0u);
    EXPECT_EQ(view.Plan(file.Stamp()), LogViewPlan::Reload);
}

TEST(LogViewStateTest, AMissingFileIsSaidOnceADayAndAFileThatAppearsIsRead) {
    LogViewState view;
    LogStamp gone{kPath, false, 0, 0};
    EXPECT_EQ(view.Plan(gone), LogViewPlan::ShowMissing);
    view.ShowMissing(gone);
    EXPECT_EQ(view.Line(0), "Не удается открыть лог-файл");
    EXPECT_EQ(view.Lines(), 1u);
    EXPECT_EQ(view.Plan(gone), LogViewPlan::Keep);
    gone.path = "L:\\08.12.2026_log.txt";
    EXPECT_EQ(view.Plan(gone), LogViewPlan::ShowMissing);
    File file{"x"};
    EXPECT_EQ(view.Plan(file.Stamp()), LogViewPlan::Reload);
}

// The property the window relies on: however the file is read in steps and
// however it grows meanwhile (a CR LF split between two reads too), the view
// ends with the lines of the whole file.
TEST(LogViewStateTest, ReadingInStepsWhileTheFileGrowsShowsTheWholeFile) {
    File file{Lines(40000)};  // more than two pieces
    file.bytes.resize(LogViewState::kReadBytes - 1);
    file.bytes += "\r\nnext line\r";
    LogViewState view;
    Step(view, file, 1);
    EXPECT_TRUE(view.Loading());
    EXPECT_EQ(view.Bytes(), LogViewState::kReadBytes);  // one piece a step here
    for (int grown = 0; grown < 3; ++grown) {
        file.bytes += Lines(1, "Подключен интерфейс");
        file.writeTime++;
        Step(view, file, 1);
    }
    for (int steps = 0; view.Plan(file.Stamp()) != LogViewPlan::Keep; ++steps) {
        ASSERT_LT(steps, 10);
        Step(view, file, 1);
    }
    EXPECT_FALSE(view.Loading());
    EXPECT_EQ(Starts(view.Index()), Starts(IndexOf(file.bytes)));
    EXPECT_EQ(view.TextLength(), LogViewText(file.bytes).size());

    // A line the plug-in appends: one read of the head and one of the tail on.
    file.reads = 0;
    file.bytes += "\n";
    Step(view, file);
    EXPECT_EQ(file.reads, 2);
    EXPECT_EQ(Starts(view.Index()), Starts(IndexOf(file.bytes)));
}

TEST(LogViewStateTest, AFileReplacedOrCutIsReadAnewAndAnUnreadableOneKeepsTheView) {
    const std::string old = Lines(3000, "старый");
    for (size_t changed : {size_t{3}, old.size() - 5}) {  // at its start, at its end
        LogViewState view;
        File file{old};
        Step(view, file);
        file.bytes[changed] = 'X';
        file.bytes += Lines(1, "новый");
        file.writeTime++;
        Step(view, file);
        EXPECT_EQ(Starts(view.Index()), Starts(IndexOf(file.bytes))) << changed;
        EXPECT_EQ(view.Bytes(), file.bytes.size());
    }
    // A load whose file can no longer be read waits for the next refresh.
    File big{Lines(20000)};
    LogViewState loading;
    for (const bool readable : {true, false, true}) {
        big.readable = readable;
        Step(loading, big, 1);
        EXPECT_EQ(loading.Loading(), readable);
    }

    LogViewState view;
    File file{old};
    Step(view, file);
    view.ScrollTo(5);
    file.readable = false;
    file.bytes = Lines(2, "другой");
    Step(view, file);
    EXPECT_EQ(view.Bytes(), old.size());
    EXPECT_EQ(view.Top(), 5u);
    file.readable = true;
    Step(view, file);
    EXPECT_EQ(view.Bytes(), file.bytes.size());
    EXPECT_EQ(view.Top(), 0u);
}

TEST(LogViewStateTest, LinesAreReadOnlyWhenNotHeldAndLongLinesOnlyAsFarAsDrawn) {
    File file{Lines(5000)};
    LogViewState view;
    Step(view, file);
    view.ShowEnd();
    EXPECT_EQ(view.Top(), 4999u);
    file.reads = 0;
    view.Need(view.Top() - 30, 31, file.Reader());
    EXPECT_EQ(file.reads, 1);
    EXPECT_EQ(view.Line(4999), "[07.12.2026] : [21:40:00] - Принято новое подключение 4999");
    view.Need(view.Top() - 40, 41, file.Reader());  // a little further up: held
    EXPECT_EQ(file.reads, 1);

    // What the plug-in appends comes with the refresh's own read.
    file.bytes += "[07.12.2026] : [21:40:01] - Подключен интерфейс\r\nполстроки";
    Step(view, file);
    file.reads = 0;
    view.ShowEnd();
    view.Need(view.Top() - 30, 31, file.Reader());
    EXPECT_EQ(file.reads, 0);
    EXPECT_EQ(view.Line(5000), "[07.12.2026] : [21:40:01] - Подключен интерфейс");
    EXPECT_EQ(view.Line(5001), "полстроки");

    // Lines of megabytes: each read only as far as it is drawn.
    File wide{std::string(3 << 20, 'w') + "\r\nshort\r\n" + std::string(3 << 20, 'v')};
    LogViewState big;
    Step(big, wide);
    wide.reads = 0;
    big.Need(0, 3, wide.Reader());
    EXPECT_EQ(wide.reads, 3);
    EXPECT_EQ(big.Line(0), std::string(kMaxLineChars, 'w'));
    EXPECT_EQ(big.Line(1), "short");
    EXPECT_EQ(big.Line(2), std::string(kMaxLineChars, 'v'));
}

TEST(CaretTest, MovesOverLinesAndSelectsAsItGoes) {
    File file{"first\r\nsecond line\nx\r\r\nlast"};
    LogViewState view;
    Step(view, file);
    auto move = [&](CaretMove m, bool extend = false) { view.PlaceCaret(MoveCaret(view, m, 2), extend); };
    auto selected = [&] { return file.bytes.substr(view.SelectionStart(), view.SelectionEnd() - view.SelectionStart()); };

    move(CaretMove::LineEnd);
    EXPECT_EQ(view.Caret(), 5u);
    move(CaretMove::Right);  // over the CR LF
    EXPECT_EQ(view.Caret(), 7u);
    move(CaretMove::Left);
    EXPECT_EQ(view.Caret(), 5u);
    move(CaretMove::Down, true);  // column 5 of "second line"
    EXPECT_EQ(selected(), "\r\nsecon");
    move(CaretMove::Down, true);  // "x" is shorter
    EXPECT_EQ(selected(), "\r\nsecond line\nx");
    move(CaretMove::PageDown, true);  // two lines on: "last"
    EXPECT_EQ(selected(), "\r\nsecond line\nx\r\r\nl");
    move(CaretMove::TextEnd, true);
    move(CaretMove::Down, true);  // nowhere further
    EXPECT_EQ(selected(), "\r\nsecond line\nx\r\r\nlast");
    move(CaretMove::TextHome);
    EXPECT_FALSE(view.HasSelection());
    move(CaretMove::Up);
    move(CaretMove::Left);
    EXPECT_EQ(view.Caret(), 0u);

    // Which columns of each line to draw selected.
    view.PlaceCaret(3, false);
    view.PlaceCaret(9, true);  // "st\r\nse"
    const SelectedColumns first = SelectionOnLine(view.SelectionStart(), view.SelectionEnd(), 0, 5);
    EXPECT_TRUE(first.any && first.pastEnd);
    EXPECT_EQ(first.first, 3u);
    EXPECT_EQ(first.last, 5u);
    const SelectedColumns second = SelectionOnLine(view.SelectionStart(), view.SelectionEnd(), 7, 11);
    EXPECT_TRUE(second.any && !second.pastEnd);
    EXPECT_EQ(second.first, 0u);
    EXPECT_EQ(second.last, 2u);
    EXPECT_FALSE(SelectionOnLine(view.SelectionStart(), view.SelectionEnd(), 19, 1).any);

    // A refresh ends a selection and a scroll: the last line goes on top.
    view.SelectAll();
    EXPECT_EQ(selected(), file.bytes);
    view.ScrollTo(1);
    view.ShowEnd();
    EXPECT_FALSE(view.HasSelection());
    EXPECT_EQ(view.Top(), 4u);
    EXPECT_EQ(view.Caret(), view.LineStart(4));  // keys and a search go on from there
    EXPECT_EQ(view.FindFrom(false), view.Caret());
    EXPECT_EQ(view.FindFrom(true), view.Caret());

    // A double click takes a word, or a run of blanks or of other signs.
    const std::string line = "[07.12] - Ёлка_2  ok";
    for (const auto& [column, word] : {std::make_pair(13, "Ёлка_2"), {17, "  "}, {8, "-"}, {99, "ok"}}) {
        const auto [first, last] = WordAt(line, column);
        EXPECT_EQ(line.substr(first, last - first), word) << column;
    }
}

TEST(LineLayoutTest, ACutLineIsHitOverItsWholeLengthAndItsMarkStandsForTheRest) {
    const LineLayout cut{{10, 20, 70000, 70010}, 100000, 8};  // wider than 16 bits hold
    EXPECT_EQ(cut.Width(), 70018);
    EXPECT_EQ(std::make_tuple(cut.X(3), cut.X(4), cut.X(5), cut.X(100000)), std::make_tuple(70000, 70010, 70018, 70018));
    // The boundary nearest: past the cut, the mark's start or the line's end.
    for (const auto& [x, column] : {std::make_pair(-5, 0u), {14, 1u}, {16, 2u}, {69999, 3u}, {70013, 4u}, {70015, 100000u}})
        EXPECT_EQ(cut.ColumnAt(x), column) << x;
    EXPECT_EQ(cut.CharAt(19), 1u);
    const LineLayout whole{{10, 20}, 2, 8};
    EXPECT_EQ(std::make_tuple(whole.Width(), whole.ColumnAt(500), whole.CharAt(500)), std::make_tuple(20, 2u, 2u));
}

TEST(FindTest, FindsAcrossPiecesBothWaysInEitherCase) {
    File file{"Первая строка\r\nвторая СТРОКА и ещё строка\r\nпоследняя Строка"};
    file.bytes[2] = '\0';
    const ShownReader read = file.Reader();
    const uint64_t size = file.bytes.size();
    auto find = [&](uint64_t from, const std::string& needle, bool matchCase, bool down) {
        return FindInShown(read, size, from, needle, matchCase, down, false, 5);  // pieces shorter than the needle
    };
    const uint64_t second = file.bytes.find("СТРОКА"), third = file.bytes.find("строка", second),
                   last = file.bytes.find("Строка");
    EXPECT_EQ(find(0, "строка", false, true), file.bytes.find("строка"));
    EXPECT_EQ(find(8, "строка", false, true), second);
    EXPECT_EQ(find(second + 1, "строка", false, true), third);
    EXPECT_EQ(find(third + 1, "строка", true, true), kNotFound);
    EXPECT_EQ(find(size, "строка", false, false), last);
    EXPECT_EQ(find(last, "строка", false, false), third);
    EXPECT_EQ(find(last + 5, "строка", false, false), third);  // a match must end by `from`
    EXPECT_EQ(find(size, "СТРОКА", true, false), second);
    EXPECT_EQ(find(0, "Пе ва", false, true), 0u);  // a NUL is the blank it is shown as
    EXPECT_EQ(find(0, "нет такой", false, true), kNotFound);
    EXPECT_EQ(find(0, "", false, true), kNotFound);
    // Round from the other end, as far as where it started.
    EXPECT_EQ(FindInShown(read, size, third + 1, "строка", true, true, true, 5), file.bytes.find("строка"));
    EXPECT_EQ(FindInShown(read, size, 3, "Строка", true, false, true, 5), last);
    EXPECT_EQ(FindInShown(read, size, 3, "нет такой", false, false, true, 5), kNotFound);
    EXPECT_EQ(FoldForFind(static_cast<unsigned char>('\xA8'), false), static_cast<unsigned char>('\xB8'));  // Ё ё

    // Found: selected, and the next search in either direction goes on past it.
    LogViewState view;
    Step(view, file);
    view.SelectFound(second, 6, true);
    EXPECT_EQ(view.SelectionStart(), second);
    EXPECT_EQ(view.SelectionEnd(), second + 6);
    EXPECT_EQ(find(view.FindFrom(true), "строка", false, true), third);
    EXPECT_EQ(find(view.FindFrom(false), "строка", false, false), file.bytes.find("строка"));
    // A refresh ends the selection but not where the search goes on from.
    view.ShowEnd();
    EXPECT_EQ(view.FindFrom(true), second + 6);
    view.PlaceCaret(last, false);
    EXPECT_EQ(view.FindFrom(true), last);
}

TEST(ScrollTest, TheLastLineCanGoToTheTop) {
    const ScrollRange range = VerticalScroll(99, 20, 99);
    EXPECT_EQ(range.max - static_cast<int>(range.page) + 1, 99);
    EXPECT_EQ(range.pos, 99);
    LogViewState view;
    File file{Lines(100)};
    Step(view, file);
    view.ScrollTo(1000);
    EXPECT_EQ(view.LastLineOnTop(), 99u);  // not the empty line after the last line end
    EXPECT_EQ(view.Top(), 99u);
    view.ScrollBy(-1000);
    EXPECT_EQ(view.Top(), 0u);
    view.ScrollIntoView(50, 20);
    EXPECT_EQ(view.Top(), 31u);
    view.ScrollIntoView(10, 20);
    EXPECT_EQ(view.Top(), 10u);
}

}  // namespace

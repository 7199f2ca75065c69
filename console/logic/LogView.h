// The log view's decisions: which part of today's log file to read, where
// each of its lines starts, which lines to draw, what is selected and where a
// search finds its text. Plain values in, plain values out: the view's window
// (console/LogViewControl) reads the file, draws and takes the input.
//
// A position in the shown text is a byte offset into what is shown (the
// file, or the missing-file text): the file is Windows-1251, one byte a
// character, and a position never falls inside a line end.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Where each line of the log starts in the file, 4 bytes a line. Lines end
// at CR LF, LF or CR, as the edit control that showed the log broke them; a
// line end at the very end starts a further, empty line, as there.
class LineIndex {
public:
    LineIndex() { PushStart(0); }
    LineIndex(LineIndex&&) = default;
    LineIndex& operator=(LineIndex&&) = default;

    // Takes the next bytes of the file, from Bytes() on. A CR LF split
    // between two calls is one line end.
    void Add(std::string_view bytes);
    void Clear() { *this = LineIndex(); }

    uint64_t Lines() const { return count_; }
    uint64_t Bytes() const { return end_; }
    uint64_t Start(uint64_t line) const;
    // One past the line's last byte, its line end included.
    uint64_t Finish(uint64_t line) const { return line + 1 < count_ ? Start(line + 1) : end_; }
    // The line that holds the byte at `offset` (the last line for Bytes()).
    uint64_t LineAt(uint64_t offset) const;
    // The length of the text as the view hands it out (every line end CR LF):
    // the bytes plus one for each line end that is a lone CR or LF.
    uint64_t TextLength() const { return end_ + lone_; }
    // Where the line starts in the text as handed out.
    uint64_t TextStart(uint64_t line) const { return Start(line) + LoneBefore(line); }
    // The byte at `offset` (never inside a line end) in the text as handed out.
    uint64_t TextOffset(uint64_t offset) const;
    // The line that holds position `at` of the text as handed out.
    uint64_t LineAtText(uint64_t at) const;
    // The line's length without its line end.
    uint64_t ContentLength(uint64_t line) const;
    // The line to put on top so that the last line of the text is the top
    // one: the number of lines less one, where a line end at the very end of
    // the text does not count as starting a further line.
    uint64_t LastLineOnTop() const;
    // The line with the most bytes, line end included.
    uint64_t LongestLine() const { return longest_; }

private:
    static constexpr unsigned kBlockShift = 16;
    static constexpr uint64_t kBlock = uint64_t{1} << kBlockShift;
    void PushStart(uint64_t start);
    void PopStart();
    void NoteLength(uint64_t line);
    void MarkLone(uint64_t line, bool lone);
    // The lone CRs and LFs that end lines before `line`.
    uint64_t LoneBefore(uint64_t line) const;

    // The low 32 bits of each line's start, in blocks of kBlock lines, so
    // that growing never copies the index and at most one block lies spare.
    std::vector<std::unique_ptr<uint32_t[]>> blocks_;
    // Per block, a bit a line whose end is a lone CR or LF, and how many of
    // them the block has: the text's positions as handed out in a few
    // thousand steps, without reading the file.
    std::vector<std::unique_ptr<uint64_t[]>> loneBits_;
    std::vector<uint64_t> loneInBlock_;
    // wraps_[k]: the first line that starts at or past (k + 1) * 4 GB.
    std::vector<uint64_t> wraps_;
    uint64_t count_ = 0;
    uint64_t end_ = 0;
    uint64_t lone_ = 0;
    bool afterCr_ = false;
    uint64_t longest_ = 0;
    uint64_t longestBytes_ = 0;
};

// Reads `size` bytes of what is shown from `offset` (fewer at its end); false when it cannot.
using ShownReader = std::function<bool(uint64_t offset, size_t size, std::string& bytes)>;

// The lines around what is shown, as read from the file, so that painting
// reads the file only for lines it does not hold.
class LineCache {
public:
    static constexpr uint64_t kMaxLines = 2048;
    // Whether lines [first, first + count) are all held.
    bool Holds(uint64_t first, uint64_t count) const;
    // The lines to read to show [first, first + count) of `lines`: a page
    // before and after as well, so that scrolling a little reads nothing.
    std::pair<uint64_t, uint64_t> ToRead(uint64_t first, uint64_t count, uint64_t lines) const;
    // Up to this many bytes are read in one piece; past it, each line alone
    // and only as far as it is drawn.
    static constexpr uint64_t kMaxReadBytes = 1 << 20;
    // Holds lines [first, first + n) of the file, read through `read`.
    void Fill(const LineIndex& index, uint64_t first, uint64_t n, const ShownReader& read);
    // The file grew from `oldLines` lines: the old last line, if held, and
    // the new ones after it are taken from `bytes`, read from `offset` to the
    // file's new end; if they do not reach back far enough, they are read
    // again when drawn.
    void Grew(const LineIndex& index, uint64_t oldLines, uint64_t offset, std::string_view bytes);
    std::string_view Line(uint64_t line) const { return lines_[line - first_]; }
    void Clear() { lines_.clear(); }

private:
    uint64_t first_ = 0;
    std::vector<std::string> lines_;
};

// The log file as its directory entry shows it.
struct LogStamp {
    std::string path;
    bool exists = false;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    bool operator==(const LogStamp& o) const {
        return path == o.path && exists == o.exists && size == o.size && writeTime == o.writeTime;
    }
};

// What a refresh does with the file it found.
enum class LogViewPlan {
    Keep,         // the file is as shown
    ShowMissing,  // no file today: the view says so
    Reload,       // read the file anew from its start
    ReadOn,       // read on from what is shown, checked against both its ends
};

// How many bytes at either end of what is shown are kept to check that the
// file still goes on from it rather than having been replaced.
constexpr size_t kLogCheckBytes = 4096;

// What the view shows and where: the file's lines as far as read, the
// scroll, the selection and where the next search starts.
class LogViewState {
public:
    enum class Shows { Nothing, Missing, File };
    // A load reads the file kReadBytes at a time; the window gives a step
    // kStepMs before it answers its messages again.
    static constexpr size_t kReadBytes = 256 * 1024;
    static constexpr double kStepMs = 15.0;

    Shows What() const { return shows_; }
    const LineIndex& Index() const { return index_; }
    uint64_t Lines() const { return shows_ == Shows::File ? index_.Lines() : 1; }
    // Bytes of what is shown: the file's as far as read, or the missing-file text's.
    uint64_t Bytes() const;
    uint64_t TextLength() const { return shows_ == Shows::File ? index_.TextLength() : Bytes(); }
    uint64_t LineStart(uint64_t line) const { return shows_ == Shows::File ? index_.Start(line) : 0; }
    uint64_t LineFinish(uint64_t line) const { return shows_ == Shows::File ? index_.Finish(line) : Bytes(); }
    uint64_t LineAt(uint64_t offset) const { return shows_ == Shows::File ? index_.LineAt(offset) : 0; }
    uint64_t ContentLength(uint64_t line) const { return shows_ == Shows::File ? index_.ContentLength(line) : Bytes(); }
    uint64_t LastLineOnTop() const { return shows_ == Shows::File ? index_.LastLineOnTop() : 0; }
    // Positions in the text as handed out (every line end CR LF), from and to
    // positions in what is shown; one inside a line end is taken to the line's end.
    uint64_t TextOffset(uint64_t at) const { return shows_ == Shows::File ? index_.TextOffset(at) : at; }
    uint64_t TextStart(uint64_t line) const { return shows_ == Shows::File ? index_.TextStart(line) : 0; }
    uint64_t LineAtText(uint64_t at) const { return shows_ == Shows::File ? index_.LineAtText(at) : 0; }
    uint64_t ShownOffset(uint64_t at) const;

    // Counts the times the view started over (a load anew, the missing-file
    // text, "Очистить лог"): what was measured of the lines before is stale.
    uint64_t Showings() const { return showings_; }
    // The file shown, as its entry was last seen.
    const LogStamp& Stamp() const { return stamp_; }

    // --- The file --------------------------------------------------------
    LogViewPlan Plan(const LogStamp& now) const;
    // "Не удается открыть лог-файл" for the day of `now`.
    void ShowMissing(const LogStamp& now);
    // "Очистить лог": nothing shown; the next refresh reads the file anew.
    void Clear();
    // A Reload or ReadOn step through `read`, the file open for this step:
    // the file's first bytes and the tail on show are read and checked (a
    // file that no longer goes on from them is read anew from its start),
    // then what follows, a kReadBytes piece at a time while `goOn()` says
    // the step may take longer. A file that cannot be read keeps what is
    // shown, and a load under way waits for the next refresh.
    void Read(LogViewPlan plan, const LogStamp& now, const ShownReader& read, const std::function<bool()>& goOn);
    // The file held more than is shown when last seen: a load is under way.
    bool Loading() const { return shows_ == Shows::File && index_.Bytes() < stamp_.size && !stalled_; }

    // Makes lines [first, first + count) ready for Line(), reading those it
    // does not hold through `read` (the file, opened for the call).
    void Need(uint64_t first, uint64_t count, const ShownReader& read);
    // A line's text without its line end (cut at kMaxLineChars).
    std::string_view Line(uint64_t line) const;

    // --- Scroll and selection ---------------------------------------------
    uint64_t Top() const { return top_; }
    // Up to the last line on top, not past it.
    void ScrollTo(int64_t line);
    void ScrollBy(int64_t lines) { ScrollTo(static_cast<int64_t>(top_) + lines); }
    // Brings `line` into a view of `rows` whole lines.
    void ScrollIntoView(uint64_t line, uint64_t rows);
    // After a refresh that changed what is shown: the last line on top, the
    // caret at its start. A selection of the operator's ends there, as does a
    // scroll; a search under way goes on past its last match, any other
    // starts from the caret.
    void ShowEnd();

    uint64_t Anchor() const { return anchor_; }
    uint64_t Caret() const { return caret_; }
    bool HasSelection() const { return anchor_ != caret_; }
    uint64_t SelectionStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
    uint64_t SelectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    // The caret moves to `at`; the selection runs from the anchor to it when
    // `extend`, else it is empty. The next search starts there.
    void PlaceCaret(uint64_t at, bool extend) { Select(extend ? anchor_ : at, at); }
    // The selection runs from `anchor` to `caret`; a search down starts at
    // its end, one up at its start.
    void Select(uint64_t anchor, uint64_t caret);
    void SelectAll() { Select(0, Bytes()); }
    // Selects what a search found; the next search in the same direction
    // goes on past it.
    void SelectFound(uint64_t at, uint64_t length, bool down);
    // Where the next search starts: past the last match in its direction,
    // or where the operator put the caret since.
    uint64_t FindFrom(bool down) const { return down ? findDown_ : findUp_; }

private:
    // A read begins with the file's first HeadBytes() bytes and the file from
    // ReadFrom() on: the tail on show, followed by what comes after it.
    static constexpr size_t HeadBytes() { return kLogCheckBytes; }
    uint64_t ReadFrom() const { return index_.Bytes() - tail_.size(); }
    void Forget();
    void StartLoad(const LogStamp& now);
    void FindFromSelection();
    void TakeBytes(std::string_view bytes);

    Shows shows_ = Shows::Nothing;
    LogStamp stamp_;
    LineIndex index_;
    // The file's first and last bytes on show, up to kLogCheckBytes each.
    std::string head_;
    std::string tail_;
    LineCache cache_;
    uint64_t top_ = 0;
    uint64_t anchor_ = 0;
    uint64_t caret_ = 0;
    uint64_t findDown_ = 0;
    uint64_t findUp_ = 0;
    // The selection is what a search found.
    bool found_ = false;
    // The last read failed: a load waits for the next refresh.
    bool stalled_ = false;
    uint64_t showings_ = 0;
};

// How the caret moves; with Shift the selection follows it.
enum class CaretMove { Left, Right, Up, Down, PageUp, PageDown, LineHome, LineEnd, TextHome, TextEnd };
// The caret's new position, over whole lines however long; `rows` the whole
// lines a page holds.
uint64_t MoveCaret(const LogViewState& view, CaretMove move, uint64_t rows);

// A line's text without its line end, at most kMaxLineChars of it: longer
// lines are cut for drawing, not for copying.
constexpr size_t kMaxLineChars = 8192;
std::string_view LineContent(std::string_view lineBytes);

// Where a line's characters lie across the view, in pixels from its left
// edge (32 bits: a line of 8,192 wide letters is wider than 65,535). A line
// longer than it is drawn is followed by a mark that it goes on, which
// stands for the rest of it.
struct LineLayout {
    std::vector<int> ends;  // past each character drawn
    uint64_t length = 0;    // the line's characters, line end not counted
    int markWidth = 0;
    bool Cut() const { return length > ends.size(); }
    int Width() const { return (ends.empty() ? 0 : ends.back()) + (Cut() ? markWidth : 0); }
    // Where the boundary before `column` lies; past the cut, at the mark's end.
    int X(uint64_t column) const;
    // The boundary nearest to `x`, or the character under it.
    uint64_t ColumnAt(int x) const;
    uint64_t CharAt(int x) const;
};

// The word, blanks or other signs around `column` of a line: what a double
// click selects, [first, last).
std::pair<size_t, size_t> WordAt(std::string_view line, size_t column);

// The columns of a line that the selection covers: [first, last) of its
// `contentLength` characters, and whether it goes on past the line's end.
struct SelectedColumns {
    bool any = false;
    uint64_t first = 0;
    uint64_t last = 0;
    bool pastEnd = false;
};
SelectedColumns SelectionOnLine(uint64_t selStart, uint64_t selEnd, uint64_t lineStart, uint64_t contentLength);

// The log's bytes as a search meets them: Windows-1251 letters, Cyrillic
// too, folded to one case unless the case must match; NUL as the blank it
// is shown as.
unsigned char FoldForFind(unsigned char c, bool matchCase);

constexpr uint64_t kNotFound = UINT64_MAX;
// Where `needle` (Windows-1251) first occurs at or after `from` (down), or
// last ends at or before `from` (up), in `bytes` bytes read through `read`
// a piece at a time; with `wrap`, when not there, round from the other end
// of the text; kNotFound when nowhere.
uint64_t FindInShown(const ShownReader& read, uint64_t bytes, uint64_t from, std::string_view needle, bool matchCase,
                     bool down, bool wrap, size_t pieceBytes = 1 << 20);

// The vertical scroll bar: positions 0 to `lastOnTop` (the last line may go
// to the top), a page of `rows`.
struct ScrollRange {
    int max = 0;
    unsigned page = 0;
    int pos = 0;
};
ScrollRange VerticalScroll(uint64_t lastOnTop, uint64_t rows, uint64_t top);

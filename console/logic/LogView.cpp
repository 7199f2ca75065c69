#include "LogView.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "../ConsoleTexts.h"

// --- LineIndex --------------------------------------------------------------

void LineIndex::PushStart(uint64_t start) {
    const uint64_t line = count_;
    while ((start >> 32) > wraps_.size()) wraps_.push_back(line);
    // Not zeroed: only the entries written are ever read, and pages never
    // written cost no memory.
    if ((line >> kBlockShift) == blocks_.size()) {
        blocks_.emplace_back(new uint32_t[kBlock]);
        loneBits_.emplace_back(new uint64_t[kBlock / 64]());
        loneInBlock_.push_back(0);
    }
    blocks_[line >> kBlockShift][line & (kBlock - 1)] = static_cast<uint32_t>(start);
    ++count_;
}

void LineIndex::PopStart() {
    --count_;
    while (!wraps_.empty() && wraps_.back() == count_) wraps_.pop_back();
}

uint64_t LineIndex::Start(uint64_t line) const {
    const uint64_t high = std::upper_bound(wraps_.begin(), wraps_.end(), line) - wraps_.begin();
    return (high << 32) | blocks_[line >> kBlockShift][line & (kBlock - 1)];
}

uint64_t LineIndex::LineAt(uint64_t offset) const {
    uint64_t low = 0, high = count_;  // Start(low) <= offset < Start(high)
    while (high - low > 1) {
        const uint64_t middle = low + (high - low) / 2;
        if (Start(middle) <= offset)
            low = middle;
        else
            high = middle;
    }
    return low;
}

void LineIndex::MarkLone(uint64_t line, bool lone) {
    uint64_t& word = loneBits_[line >> kBlockShift][(line & (kBlock - 1)) / 64];
    const uint64_t bit = uint64_t{1} << (line % 64);
    if (((word & bit) != 0) == lone) return;
    word ^= bit;
    loneInBlock_[line >> kBlockShift] += lone ? 1 : -1;
}

uint64_t LineIndex::LoneBefore(uint64_t line) const {
    const uint64_t block = line >> kBlockShift;
    uint64_t lone = 0;
    for (uint64_t b = 0; b < block && b < loneInBlock_.size(); ++b) lone += loneInBlock_[b];
    if (block >= loneBits_.size()) return lone;
    const uint64_t* bits = loneBits_[block].get();
    const uint64_t inBlock = line & (kBlock - 1);
    for (uint64_t w = 0; w < inBlock / 64; ++w) lone += static_cast<uint64_t>(__builtin_popcountll(bits[w]));
    const uint64_t below = (uint64_t{1} << (inBlock % 64)) - 1;  // the lines of the last word before `line`
    return lone + static_cast<uint64_t>(__builtin_popcountll(bits[inBlock / 64] & below));
}

uint64_t LineIndex::TextOffset(uint64_t offset) const {
    const uint64_t line = LineAt(offset);
    return TextStart(line) + (offset - Start(line));
}

uint64_t LineIndex::LineAtText(uint64_t at) const {
    uint64_t low = 0, high = count_;  // TextStart(low) <= at < TextStart(high)
    while (high - low > 1) {
        const uint64_t middle = low + (high - low) / 2;
        if (TextStart(middle) <= at)
            low = middle;
        else
            high = middle;
    }
    return low;
}

uint64_t LineIndex::ContentLength(uint64_t line) const {
    const uint64_t bytes = Finish(line) - Start(line);
    if (line + 1 >= count_) return bytes;
    const bool lone = (loneBits_[line >> kBlockShift][(line & (kBlock - 1)) / 64] >> (line % 64)) & 1;
    return bytes - (lone ? 1 : 2);
}

void LineIndex::NoteLength(uint64_t line) {
    const uint64_t bytes = Finish(line) - Start(line);
    if (bytes > longestBytes_ || line == longest_) {
        longest_ = line;
        longestBytes_ = bytes;
    }
}

void LineIndex::Add(std::string_view bytes) {
    const uint64_t base = end_;
    size_t i = 0;
    if (afterCr_ && !bytes.empty()) {
        afterCr_ = false;
        if (bytes[0] == '\n') {
            // The LF completes the CR that ended the last piece: one line end.
            PopStart();
            PushStart(base + 1);
            --lone_;
            MarkLone(count_ - 2, false);
            i = 1;
        }
    }
    end_ = base + bytes.size();
    const char* const data = bytes.data();
    const size_t size = bytes.size();
    // memchr, as a log is mostly text between line ends.
    auto next = [&](char c, size_t from) {
        const void* at = from < size ? std::memchr(data + from, c, size - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char*>(at) - data) : size;
    };
    size_t lf = next('\n', i), cr = next('\r', i);
    while (std::min(lf, cr) < size) {
        if (cr + 1 == lf && lf < size) {
            i = lf + 1;
        } else {
            const size_t at = std::min(lf, cr);
            ++lone_;
            MarkLone(count_ - 1, true);
            afterCr_ = at == cr && at + 1 == size;
            i = at + 1;
        }
        PushStart(base + i);
        NoteLength(count_ - 2);
        if (lf < i) lf = next('\n', i);
        if (cr < i) cr = next('\r', i);
    }
    NoteLength(count_ - 1);
}

uint64_t LineIndex::LastLineOnTop() const {
    if (end_ == 0) return 0;
    const bool endsInBreak = count_ > 1 && Start(count_ - 1) == end_;
    return endsInBreak ? count_ - 2 : count_ - 1;
}

// --- LogViewState -----------------------------------------------------------

uint64_t LogViewState::Bytes() const {
    switch (shows_) {
        case Shows::File: return index_.Bytes();
        case Shows::Missing: return std::strlen(text::kNoLogFile);
        case Shows::Nothing: break;
    }
    return 0;
}

LogViewPlan LogViewState::Plan(const LogStamp& now) const {
    if (!now.exists)
        return shows_ == Shows::Missing && stamp_.path == now.path ? LogViewPlan::Keep : LogViewPlan::ShowMissing;
    // A new day's file, or one cut below what is shown, starts over.
    if (shows_ != Shows::File || stamp_.path != now.path || now.size < index_.Bytes()) return LogViewPlan::Reload;
    if (stamp_ == now && index_.Bytes() >= now.size) return LogViewPlan::Keep;
    return LogViewPlan::ReadOn;
}

uint64_t LogViewState::ShownOffset(uint64_t at) const {
    if (shows_ != Shows::File) return std::min(at, Bytes());
    const uint64_t line = index_.LineAtText(at);
    return index_.Start(line) + std::min(at - index_.TextStart(line), index_.ContentLength(line));
}

void LogViewState::Forget() {
    ++showings_;
    index_.Clear();
    cache_.Clear();
    head_.clear();
    tail_.clear();
    top_ = anchor_ = caret_ = 0;
    findDown_ = findUp_ = 0;
    found_ = false;
}

void LogViewState::ShowMissing(const LogStamp& now) {
    Forget();
    shows_ = Shows::Missing;
    stamp_ = now;
}

void LogViewState::Clear() {
    Forget();
    shows_ = Shows::Nothing;
    stamp_ = LogStamp{};
}

void LogViewState::StartLoad(const LogStamp& now) {
    Forget();
    shows_ = Shows::File;
    stamp_ = now;
}

void LogViewState::TakeBytes(std::string_view bytes) {
    index_.Add(bytes);
    if (head_.size() < kLogCheckBytes) head_.append(bytes.substr(0, kLogCheckBytes - head_.size()));
    if (bytes.size() >= kLogCheckBytes) {
        tail_.assign(bytes.substr(bytes.size() - kLogCheckBytes));
    } else {
        tail_.append(bytes);
        if (tail_.size() > kLogCheckBytes) tail_.erase(0, tail_.size() - kLogCheckBytes);
    }
}

void LogViewState::Read(LogViewPlan plan, const LogStamp& now, const ShownReader& read,
                        const std::function<bool()>& goOn) {
    const uint64_t oldLines = Lines();
    uint64_t offset = 0;
    std::string head, from;
    bool atEnd = false;
    stalled_ = true;
    for (bool fresh = plan == LogViewPlan::Reload;; fresh = true) {
        offset = fresh ? 0 : ReadFrom();
        const size_t want = (fresh ? 0 : tail_.size()) + kReadBytes;
        if ((!fresh && !read(0, HeadBytes(), head)) || !read(offset, want, from)) return;
        atEnd = from.size() < want;
        if (fresh) {
            StartLoad(now);
            break;
        }
        // A file rewritten rather than appended to shows at its start or at
        // the end of what is shown.
        if (head.compare(0, head_.size(), head_) == 0 && from.compare(0, tail_.size(), tail_) == 0) break;
    }
    stamp_ = now;
    stalled_ = false;
    const size_t shown = tail_.size();
    TakeBytes(std::string_view(from).substr(shown));
    cache_.Grew(index_, oldLines, offset, from);
    std::string more;
    while (!atEnd && goOn()) {
        if (!read(index_.Bytes(), kReadBytes, more)) {
            stalled_ = true;
            break;
        }
        atEnd = more.size() < kReadBytes;
        TakeBytes(more);
        cache_.Clear();
    }
    // The file was cut, or grew, since its entry was seen: no load waits.
    if (atEnd) stamp_.size = index_.Bytes();
}

void LogViewState::Need(uint64_t first, uint64_t count, const ShownReader& read) {
    if (shows_ != Shows::File) return;
    count = std::min(count, index_.Lines() - std::min(first, index_.Lines()));
    if (count == 0 || cache_.Holds(first, count)) return;
    const auto [from, n] = cache_.ToRead(first, count, index_.Lines());
    cache_.Fill(index_, from, n, read);
}

std::string_view LogViewState::Line(uint64_t line) const {
    switch (shows_) {
        case Shows::File: return cache_.Holds(line, 1) ? cache_.Line(line) : std::string_view();
        case Shows::Missing: return text::kNoLogFile;
        case Shows::Nothing: break;
    }
    return {};
}

void LogViewState::ScrollTo(int64_t line) {
    top_ = static_cast<uint64_t>(std::clamp<int64_t>(line, 0, static_cast<int64_t>(LastLineOnTop())));
}

void LogViewState::ScrollIntoView(uint64_t line, uint64_t rows) {
    if (line < top_)
        top_ = line;
    else if (rows > 0 && line >= top_ + rows)
        top_ = line - rows + 1;
}

void LogViewState::ShowEnd() {
    top_ = LastLineOnTop();
    anchor_ = caret_ = LineStart(top_);
    if (!found_) FindFromSelection();
}

void LogViewState::Select(uint64_t anchor, uint64_t caret) {
    anchor_ = std::min(anchor, Bytes());
    caret_ = std::min(caret, Bytes());
    found_ = false;
    FindFromSelection();
}

void LogViewState::FindFromSelection() {
    findDown_ = SelectionEnd();
    findUp_ = SelectionStart();
}

void LogViewState::SelectFound(uint64_t at, uint64_t length, bool down) {
    anchor_ = down ? at : at + length;
    caret_ = down ? at + length : at;
    findDown_ = at + length;
    findUp_ = at;
    found_ = true;
}

// --- Caret, lines, selection ------------------------------------------------

uint64_t MoveCaret(const LogViewState& view, CaretMove move, uint64_t rows) {
    auto contentLength = [&](uint64_t line) { return view.ContentLength(line); };
    const uint64_t caret = view.Caret();
    const uint64_t line = view.LineAt(caret);
    const uint64_t column = caret - view.LineStart(line);
    const uint64_t last = view.Lines() - 1;
    const uint64_t page = std::max<uint64_t>(rows, 1);
    auto onLine = [&](uint64_t target) { return view.LineStart(target) + std::min(column, contentLength(target)); };
    switch (move) {
        case CaretMove::Left:
            if (column > 0) return caret - 1;
            return line == 0 ? caret : view.LineStart(line - 1) + contentLength(line - 1);
        case CaretMove::Right:
            if (column < contentLength(line)) return caret + 1;
            return line == last ? caret : view.LineStart(line + 1);
        case CaretMove::Up: return line == 0 ? caret : onLine(line - 1);
        case CaretMove::Down: return line == last ? caret : onLine(line + 1);
        case CaretMove::PageUp: return onLine(line > page ? line - page : 0);
        case CaretMove::PageDown: return onLine(std::min(last, line + page));
        case CaretMove::LineHome: return view.LineStart(line);
        case CaretMove::LineEnd: return view.LineStart(line) + contentLength(line);
        case CaretMove::TextHome: return 0;
        case CaretMove::TextEnd: return view.Bytes();
    }
    return caret;
}

std::string_view LineContent(std::string_view lineBytes) {
    if (!lineBytes.empty() && lineBytes.back() == '\n') lineBytes.remove_suffix(1);
    if (!lineBytes.empty() && lineBytes.back() == '\r') lineBytes.remove_suffix(1);
    return lineBytes.substr(0, kMaxLineChars);
}

int LineLayout::X(uint64_t column) const {
    if (column == 0 || ends.empty()) return 0;
    if (column <= ends.size()) return ends[column - 1];
    return Width();
}

uint64_t LineLayout::CharAt(int x) const {
    // The first character that ends past `x`; past the text, its end.
    const auto past = std::upper_bound(ends.begin(), ends.end(), x);
    if (past != ends.end()) return static_cast<uint64_t>(past - ends.begin());
    return Cut() && x < Width() ? ends.size() : length;
}

uint64_t LineLayout::ColumnAt(int x) const {
    const uint64_t under = CharAt(x);
    if (under >= length) return length;
    // The nearer of the character's two boundaries; the mark's are the cut and the line's end.
    const uint64_t after = under < ends.size() ? under + 1 : length;
    return x - X(under) > X(after) - x ? after : under;
}

namespace {

// The upper-case letters of Windows-1251 beyond A-Z and А-Я, with their lower-case twins.
const unsigned char kLetterPairs[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
                                         {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
                                         {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};

// Blanks, letters and digits, other signs: what a word is made of.
int Kind(unsigned char c) {
    if (c == ' ' || c == '\t' || c == 0) return 0;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0) return 1;
    for (const auto& pair : kLetterPairs)
        if (c == pair[0] || c == pair[1]) return 1;
    return 2;
}

}  // namespace

std::pair<size_t, size_t> WordAt(std::string_view line, size_t column) {
    if (line.empty()) return {0, 0};
    const size_t at = std::min(column, line.size() - 1);
    const int kind = Kind(static_cast<unsigned char>(line[at]));
    size_t first = at, last = at + 1;
    while (first > 0 && Kind(static_cast<unsigned char>(line[first - 1])) == kind) --first;
    while (last < line.size() && Kind(static_cast<unsigned char>(line[last])) == kind) ++last;
    return {first, last};
}

SelectedColumns SelectionOnLine(uint64_t selStart, uint64_t selEnd, uint64_t lineStart, uint64_t contentLength) {
    SelectedColumns on;
    const uint64_t lineEnd = lineStart + contentLength;
    if (selStart >= selEnd || selEnd <= lineStart || selStart > lineEnd) return on;
    on.any = true;
    on.first = std::max(selStart, lineStart) - lineStart;
    on.last = std::min(selEnd, lineEnd) - lineStart;
    on.pastEnd = selEnd > lineEnd;
    return on;
}

// --- LineCache --------------------------------------------------------------

bool LineCache::Holds(uint64_t first, uint64_t count) const {
    return !lines_.empty() && first >= first_ && first + count <= first_ + lines_.size();
}

std::pair<uint64_t, uint64_t> LineCache::ToRead(uint64_t first, uint64_t count, uint64_t lines) const {
    count = std::min(count, kMaxLines / 3);
    const uint64_t from = first > count ? first - count : 0;
    const uint64_t to = std::min(lines, first + 2 * count);
    return {from, to > from ? to - from : 0};
}

void LineCache::Fill(const LineIndex& index, uint64_t first, uint64_t n, const ShownReader& read) {
    lines_.clear();
    first_ = first;
    if (n == 0) return;
    const uint64_t from = index.Start(first);
    const uint64_t bytes = index.Finish(first + n - 1) - from;
    std::string chunk;
    if (bytes <= kMaxReadBytes) {
        if (!read(from, static_cast<size_t>(bytes), chunk)) chunk.clear();
        for (uint64_t line = first; line < first + n; ++line) {
            const uint64_t at = index.Start(line) - from;
            const std::string_view all = at < chunk.size() ? std::string_view(chunk).substr(at) : std::string_view();
            lines_.emplace_back(LineContent(all.substr(0, index.Finish(line) - index.Start(line))));
        }
        return;
    }
    // Lines too long to read whole: each read only as far as it is drawn.
    for (uint64_t line = first; line < first + n; ++line) {
        const uint64_t length = std::min<uint64_t>(index.Finish(line) - index.Start(line), kMaxLineChars + 2);
        if (!read(index.Start(line), static_cast<size_t>(length), chunk)) chunk.clear();
        lines_.emplace_back(LineContent(chunk));
    }
}

void LineCache::Grew(const LineIndex& index, uint64_t oldLines, uint64_t offset, std::string_view bytes) {
    // Only a cache that holds the old last line saw anything change.
    if (lines_.empty() || first_ + lines_.size() != oldLines) return;
    lines_.pop_back();
    if (index.Start(oldLines - 1) < offset) return;  // read again when drawn
    for (uint64_t line = oldLines - 1; line < index.Lines(); ++line) {
        const uint64_t at = index.Start(line) - offset;
        lines_.emplace_back(LineContent(bytes.substr(std::min<uint64_t>(at, bytes.size()),
                                                     index.Finish(line) - index.Start(line))));
    }
    if (lines_.size() > kMaxLines) {
        const uint64_t drop = lines_.size() - kMaxLines;
        lines_.erase(lines_.begin(), lines_.begin() + static_cast<ptrdiff_t>(drop));
        first_ += drop;
    }
}

// --- Find ---------------------------------------------------------------------

unsigned char FoldForFind(unsigned char c, bool matchCase) {
    if (c == 0) return ' ';
    if (matchCase) return c;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF)) return static_cast<unsigned char>(c + 0x20);
    for (const auto& pair : kLetterPairs)
        if (c == pair[0]) return pair[1];
    return c;
}

namespace {

std::string Folded(std::string_view bytes, bool matchCase) {
    std::string folded(bytes);
    for (char& c : folded) c = static_cast<char>(FoldForFind(static_cast<unsigned char>(c), matchCase));
    return folded;
}

uint64_t FindOneWay(const ShownReader& read, uint64_t bytes, uint64_t from, std::string_view needle, bool matchCase,
                    bool down, size_t pieceBytes) {
    const uint64_t n = needle.size();
    if (n == 0 || n > bytes) return kNotFound;
    const std::string wanted = Folded(needle, matchCase);
    // Pieces overlap by the needle's length less one, so that no match is
    // split between two of them.
    const uint64_t span = std::max<uint64_t>(pieceBytes, n) + n - 1;
    std::string piece;
    if (down) {
        for (uint64_t at = from; at + n <= bytes; at += span - (n - 1)) {
            if (!read(at, static_cast<size_t>(std::min(span, bytes - at)), piece)) return kNotFound;
            const size_t found = Folded(piece, matchCase).find(wanted);
            if (found != std::string::npos) return at + found;
            if (piece.size() < n) return kNotFound;
        }
        return kNotFound;
    }
    for (uint64_t end = std::min(from, bytes); end >= n;) {
        const uint64_t at = end > span ? end - span : 0;
        if (!read(at, static_cast<size_t>(end - at), piece)) return kNotFound;
        const size_t found = Folded(piece, matchCase).rfind(wanted);
        if (found != std::string::npos) return at + found;
        if (at == 0) break;
        end = at + n - 1;
    }
    return kNotFound;
}

}  // namespace

uint64_t FindInShown(const ShownReader& read, uint64_t bytes, uint64_t from, std::string_view needle, bool matchCase,
                     bool down, bool wrap, size_t pieceBytes) {
    const uint64_t found = FindOneWay(read, bytes, from, needle, matchCase, down, pieceBytes);
    // Nothing from `from` on: whatever lies on the other side of it is the
    // first match from the other end.
    if (found != kNotFound || !wrap) return found;
    return FindOneWay(read, bytes, down ? 0 : bytes, needle, matchCase, down, pieceBytes);
}

ScrollRange VerticalScroll(uint64_t lastOnTop, uint64_t rows, uint64_t top) {
    ScrollRange range;
    range.page = static_cast<unsigned>(std::clamp<uint64_t>(rows, 1, INT_MAX / 2));
    range.max = static_cast<int>(std::min<uint64_t>(lastOnTop + range.page - 1, INT_MAX));
    range.pos = static_cast<int>(std::min<uint64_t>(top, INT_MAX));
    return range;
}

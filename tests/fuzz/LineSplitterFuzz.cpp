// The list-of-lines reader that the FTP provisioning and the console use on
// current.user: the file may arrive in reads of any size, with any mix of
// line ends, and the reader must keep within its caps.
//
// Input: the line cap, the byte cap and the chunking seed come from the end
// of the data (FuzzedDataProvider's integers), the file is the rest.
#include "FuzzCheck.h"
#include "UserFilesFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

using Lines = std::vector<std::string>;

// The rule written out a second way: every line end becomes one LF, then the
// text is cut at the LFs; a final line end does not open another line.
Lines ReferenceLines(std::string_view file, size_t maxLines, size_t maxLineBytes) {
    std::string text;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
        text += file[i] == '\r' ? '\n' : file[i];
    }
    Lines lines;
    size_t start = 0;
    while (start < text.size() && lines.size() < maxLines) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, std::min(end - start, maxLineBytes)));
        start = end + 1;
    }
    return lines;
}

// Feeds the file in chunks of sizes drawn from `seed` (0 = one piece). A
// careful caller stops when Feed says no more is needed; a careless one goes
// on, which must change nothing.
Lines SplitInChunks(std::string_view file, size_t maxLines, size_t maxLineBytes, uint32_t seed,
                    bool stopWhenFull) {
    LineSplitter splitter(maxLines, maxLineBytes);
    size_t pos = 0;
    do {
        size_t chunk = file.size() - pos;
        if (seed != 0) {
            seed = seed * 1103515245u + 12345u;
            chunk = std::min<size_t>(chunk, (seed >> 16) % 9);  // empty chunks included
        }
        const bool wantsMore = splitter.Feed(file.substr(pos, chunk));
        pos += chunk;
        // Feed says "enough" exactly when the line cap is reached.
        FUZZ_CHECK_EQ(splitter.Lines().size() < maxLines, wantsMore, fuzz::Shown(file));
        if (!wantsMore && stopWhenFull) break;
    } while (pos < file.size());
    splitter.Finish();
    return splitter.Lines();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    const size_t maxLines = provider.ConsumeIntegralInRange<size_t>(0, 12);
    const size_t maxLineBytes =
        provider.ConsumeBool() ? provider.ConsumeIntegralInRange<size_t>(0, 40) : size_t(1) << 20;
    const uint32_t seed = provider.ConsumeIntegral<uint32_t>();
    const std::string file = provider.ConsumeRemainingBytesAsString();
    const std::string shown = fuzz::Shown(file) + " caps " + std::to_string(maxLines) + "/" +
                              std::to_string(maxLineBytes);

    const Lines whole = SplitInChunks(file, maxLines, maxLineBytes, 0, false);
    FUZZ_CHECK_EQ(ReferenceLines(file, maxLines, maxLineBytes), whole, shown);
    FUZZ_CHECK_EQ(whole, SplitInChunks(file, maxLines, maxLineBytes, seed | 1, true), shown);
    FUZZ_CHECK_EQ(whole, SplitInChunks(file, maxLines, maxLineBytes, seed | 1, false), shown);

    FUZZ_CHECK(whole.size() <= maxLines);
    for (const std::string& line : whole) {
        FUZZ_CHECK(line.size() <= maxLineBytes);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
    for (size_t n = 0; n <= maxLines + 1; ++n)
        FUZZ_CHECK_EQ(n >= 1 && n <= whole.size() ? whole[n - 1] : std::string(), LineOrEmpty(whole, n), shown);
    return 0;
}

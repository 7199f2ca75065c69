// The console's reading of a day's log back into connections: any bytes,
// fed in pieces of any size, give the rows of the whole; what a password
// line holds changes nothing read; a next day's reader starts with the rows
// still open and no others.
//
// Input: the chunking seed comes from the end of the data (FuzzedDataProvider's
// integers), the log is the rest.
#include "ConnectionReport.h"
#include "FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// Every field of each row, one line a row.
std::vector<std::string> Texts(const std::vector<ConnectionRow>& rows) {
    std::vector<std::string> texts;
    for (const ConnectionRow& r : rows) {
        texts.push_back(std::string(r.date) + "|" + std::string(r.dialTime) + "|" + std::string(r.login) + "|" +
                        std::to_string(r.hasLimit) + "|" + std::to_string(r.limitMinutes) + "|" +
                        std::to_string(static_cast<int>(r.ending)) + "|" +
                        std::to_string(r.hasStatistics) + std::to_string(r.hasBytes) + "|" +
                        std::to_string(r.durationSeconds) + "|" + std::to_string(r.bytesReceived) + "|" +
                        std::to_string(r.bytesSent) + "|" + std::to_string(r.figuresMixed) + "|" +
                        std::to_string(r.lastSecond));
    }
    return texts;
}

// Where each line of `log` ends (the byte after its line end), split as the
// reader splits: at CR LF, LF or a lone CR.
std::vector<size_t> LineEnds(std::string_view log) {
    std::vector<size_t> ends;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n') ++i;
        if (log[i] == '\r' || log[i] == '\n') ends.push_back(i + 1);
    }
    return ends;
}

// The same log with every password line's text replaced, its line end kept.
std::string OtherPasswords(std::string_view log) {
    std::string out;
    size_t from = 0;
    std::vector<size_t> ends = LineEnds(log);
    ends.push_back(log.size());
    for (size_t end : ends) {
        std::string_view line = log.substr(from, end - from);
        size_t text = line.size();
        while (text > 0 && (line[text - 1] == '\r' || line[text - 1] == '\n')) --text;
        const size_t at = line.substr(0, text).find("] - >PASS: ");
        if (at != std::string_view::npos && !line.empty() && line[0] == '[') {
            out += std::string(line.substr(0, at + 11)) + "other" + std::string(line.substr(text));
        } else {
            out += line;
        }
        from = end;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    uint32_t seed = provider.ConsumeIntegral<uint32_t>();
    const std::string log = provider.ConsumeRemainingBytesAsString();
    const std::string shown = fuzz::Shown(log);

    const std::vector<ConnectionRow> whole = ReadConnectionReport(log);
    ConnectionLogReader reader;
    for (size_t pos = 0; pos < log.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t chunk = std::min<size_t>(log.size() - pos, (seed >> 16) % 70);
        reader.Feed(std::string_view(log).substr(pos, chunk));
        pos += chunk;
    }
    FUZZ_CHECK_EQ(Texts(whole), Texts(reader.Rows()), shown);
    FUZZ_CHECK_EQ(static_cast<uint64_t>(log.size()), reader.BytesFed(), shown);

    // Rows start at lines: never more rows than lines.
    FUZZ_CHECK(whole.size() <= LineEnds(log).size() + 1);

    FUZZ_CHECK_EQ(Texts(whole), Texts(ReadConnectionReport(OtherPasswords(log))), shown);

    const ReportTotals totals = TotalsOf(whole);
    FUZZ_CHECK_EQ(whole.size(), totals.connections + totals.refused, shown);

    // The next day goes on with the open rows only, each "going" as here.
    const ConnectionLogReader next = reader.NextDay();
    const std::vector<ConnectionRow> carried = next.Rows();
    FUZZ_CHECK_EQ(carried.size(), next.CarriedFrom().size(), shown);
    for (size_t k = 0; k < carried.size(); ++k) {
        FUZZ_CHECK(next.CarriedFrom()[k] < whole.size());
        FUZZ_CHECK(carried[k] == whole[next.CarriedFrom()[k]]);
    }
    return 0;
}

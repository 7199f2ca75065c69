// The console's reading of a day's log back into connections: any bytes,
// fed in pieces of any size, give the rows of the whole; what a password
// line holds changes nothing shown; the CSV has a header, the rows and the
// totals, each ending in CR LF.
//
// Input: the chunking seed comes from the end of the data (FuzzedDataProvider's
// integers), the log is the rest.
#include "ConnectionReport.h"
#include "FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

std::vector<std::string> Texts(const std::vector<ConnectionRow>& rows) {
    std::vector<std::string> texts;
    for (const ConnectionRow& row : rows) {
        std::string line;
        for (const std::string& field : RowTexts(row)) line += field + "|";
        texts.push_back(line);
    }
    return texts;
}

// The same log with every password line's text replaced.
std::string OtherPasswords(std::string_view log) {
    std::string out;
    size_t from = 0;
    while (from <= log.size()) {
        size_t end = log.find('\n', from);
        const bool last = end == std::string_view::npos;
        if (last) end = log.size();
        std::string line(log.substr(from, end - from));
        const size_t at = line.find("] - >PASS: ");
        if (at != std::string::npos && line[0] == '[') {
            const size_t keep = at + 11;
            const bool cr = !line.empty() && line.back() == '\r';
            line = line.substr(0, keep) + "other" + (cr ? "\r" : "");
        }
        out += line;
        if (last) break;
        out += '\n';
        from = end + 1;
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
    FUZZ_CHECK(whole.size() <= static_cast<size_t>(std::count(log.begin(), log.end(), '\n')) + 1);

    FUZZ_CHECK_EQ(Texts(whole), Texts(ReadConnectionReport(OtherPasswords(log))), shown);

    const std::string csv = ConnectionReportCsv(whole);
    FUZZ_CHECK(csv.size() >= 2 && csv.compare(csv.size() - 2, 2, "\r\n") == 0);
    const ReportTotals totals = TotalsOf(whole);
    FUZZ_CHECK_EQ(whole.size(), totals.connections + totals.refused, shown);
    return 0;
}

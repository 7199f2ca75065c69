// Log lines carry outside text: the login, password and limit from
// current.user, the configuration file's path, the locale's date and time.
// Whatever they hold, the message reaches the line unchanged up to its first
// NUL, and on disk every line feed is CR LF.
//
// Input: a dated/plain switch from the end of the data, then the date and the
// time as FuzzedDataProvider strings (a lone backslash ends each), then the
// message as the rest.
#include "FuzzCheck.h"
#include "LogFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

// The layout as a C format, "%s : %s - %s\n" or "%s\n", written out a second way;
// only for texts without NUL, which a C string cannot carry.
std::string ReferenceLine(const std::string& message, bool dated, const std::string& date, const std::string& time) {
    std::vector<char> buffer(message.size() + date.size() + time.size() + 16);
    if (dated)
        std::snprintf(buffer.data(), buffer.size(), "%s : %s - %s\n", ("[" + date + "]").c_str(),
                      ("[" + time + "]").c_str(), message.c_str());
    else
        std::snprintf(buffer.data(), buffer.size(), "%s\n", message.c_str());
    return buffer.data();
}

// Undoes text mode: drops the CR that stands right before each LF.
std::string FromTextMode(std::string_view disk) {
    std::string text;
    for (size_t i = 0; i < disk.size(); ++i) {
        if (disk[i] == '\r' && i + 1 < disk.size() && disk[i + 1] == '\n') continue;
        text += disk[i];
    }
    return text;
}

void CheckTextMode(std::string_view text, size_t cut) {
    const std::string shown = fuzz::Shown(text);
    const std::string disk = ToTextMode(text);
    for (size_t i = 0; i < disk.size(); ++i)
        if (disk[i] == '\n') FUZZ_CHECK(i > 0 && disk[i - 1] == '\r');
    const size_t feeds = std::count(text.begin(), text.end(), '\n');
    FUZZ_CHECK_EQ(text.size() + feeds, disk.size(), shown);
    FUZZ_CHECK_EQ(std::string(text), FromTextMode(disk), shown);
    // A line written in two pieces lands the same as in one.
    cut = std::min(cut, text.size());
    FUZZ_CHECK_EQ(disk, ToTextMode(text.substr(0, cut)) + ToTextMode(text.substr(cut)), shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    const bool dated = provider.ConsumeBool();
    const size_t cut = provider.ConsumeIntegral<uint16_t>();
    const std::string date = provider.ConsumeRandomLengthString(64);
    const std::string time = provider.ConsumeRandomLengthString(64);
    const std::string message = provider.ConsumeRemainingBytesAsString();
    const std::string shown = fuzz::Shown(message) + (dated ? " dated " : " plain ") + fuzz::Shown(date) + " " +
                              fuzz::Shown(time);

    const std::string line = ComposeLogLine(message, dated, date, time);
    const std::string head = dated ? "[" + date + "] : [" + time + "] - " : std::string();
    // What a C string holds of the message.
    const std::string text(message.c_str());
    FUZZ_CHECK_EQ(head.size() + text.size() + 1, line.size(), shown);
    FUZZ_CHECK_EQ(head, line.substr(0, head.size()), shown);
    FUZZ_CHECK_EQ(text, line.substr(head.size(), text.size()), shown);
    FUZZ_CHECK_EQ('\n', line.back(), shown);
    const auto hasNul = [](const std::string& s) { return s.find('\0') != std::string::npos; };
    if (!hasNul(date) && !hasNul(time)) FUZZ_CHECK_EQ(ReferenceLine(text, dated, date, time), line, shown);

    CheckTextMode(line, cut);
    CheckTextMode(message, cut);

    // The day's file name: the folder and the date as plain text, no separator.
    FUZZ_CHECK_EQ(date + time + "_log.txt", LogFileName(date, time), shown);
    return 0;
}

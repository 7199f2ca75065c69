// What the console shows of the time file, which it may meet empty, half
// written or replaced by anything: at most nine characters of the first
// line, never a line end, and only from the bytes that the console reads.
#include "FuzzCheck.h"
#include "UserFilesFormat.h"

#include <cinttypes>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const std::string shown = fuzz::Shown(file);
    const std::string head = TimeFileHead(file);

    FUZZ_CHECK(head.size() <= 9);
    FUZZ_CHECK_EQ(std::string(file.substr(0, head.size())), head, shown);
    FUZZ_CHECK(head.find_first_of("\r\n\x1a") == std::string::npos);
    // It stops only at nine characters, at a line end or Ctrl-Z, or at the end.
    const bool stoppedAtEnd = head.size() == file.size() ||
                              std::strchr("\r\n\x1a", file[head.size()]) != nullptr;
    FUZZ_CHECK(head.size() == 9 || stoppedAtEnd);
    FUZZ_CHECK_EQ(head, TimeFileHead(file.substr(0, kTimeFileHeadBytes)), shown);

    // What the worker writes, the console shows as the digits it wrote.
    int64_t seconds = 0;
    std::memcpy(&seconds, data, size < sizeof seconds ? size : sizeof seconds);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%" PRId64, seconds);
    const std::string written = TimeFileText(seconds);
    FUZZ_CHECK_EQ(std::string(digits) + "\r\n\r\n", written, fuzz::Shown(seconds));
    FUZZ_CHECK_EQ(std::string(digits).substr(0, 9), TimeFileHead(written), fuzz::Shown(written));
    return 0;
}

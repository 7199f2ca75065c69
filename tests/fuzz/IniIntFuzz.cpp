// The INI whole-number and switch rules against outside text: whatever a
// hand-edited qv_config.ini or users.ini holds, the reader either gets the
// number the text spells or the default, and what the console writes back
// reads as the same number.
#include "FuzzCheck.h"
#include "IniFormat.h"

#include <cinttypes>
#include <cstring>

namespace {

// The rule written out a second way: the text as a pattern of parts, the
// number by the C library, so that a slip in the digit loop shows as a
// difference.
bool ReferenceIniInt(std::string_view text, int32_t& value) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (text.substr(0, prefix.size()) == prefix) {
            base = 16;
            text.remove_prefix(prefix.size());
            break;
        }
    }
    const char* digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (text.empty() || text.find_first_not_of(digits) != std::string_view::npos) return false;
    const size_t significant = text.find_first_not_of('0');
    if (significant == std::string_view::npos) {
        value = 0;
        return true;
    }
    text.remove_prefix(significant);
    if (text.size() > 10) return false;  // more than any 32-bit magnitude needs
    const uint64_t magnitude = std::strtoull(std::string(text).c_str(), nullptr, base);
    if (magnitude > (negative ? 2147483648ULL : 2147483647ULL)) return false;
    value = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
    return true;
}

void CheckText(std::string_view text, int32_t fallback) {
    const std::string shown = fuzz::Shown(text);

    int32_t expected = 0;
    const bool expectedOk = ReferenceIniInt(text, expected);
    // A failed parse must leave the caller's value alone.
    int32_t value = ~fallback;
    const bool ok = ParseIniInt(text, value);
    FUZZ_CHECK_EQ(expectedOk, ok, shown);
    FUZZ_CHECK_EQ(expectedOk ? expected : ~fallback, value, shown);

    FUZZ_CHECK_EQ(ok ? value : fallback, IniIntOr(text, fallback), shown);
    FUZZ_CHECK_EQ(ok ? value != 0 : true, IniBoolOr(text, true), shown);
    FUZZ_CHECK_EQ(ok ? value != 0 : false, IniBoolOr(text, false), shown);

    if (ok) {
        // What the settings dialog writes back for this value reads as the same value.
        const std::string written = IniIntText(value);
        int32_t again = ~value;
        FUZZ_CHECK(ParseIniInt(written, again));
        FUZZ_CHECK_EQ(value, again, shown + " written as " + fuzz::Shown(written));
    }
}

// Every 32-bit value, spelled in each way that the rule allows, reads back.
void CheckNumber(int32_t n) {
    char text[64];
    const auto reads = [n](const char* spelled) {
        int32_t value = ~n;
        const bool ok = ParseIniInt(spelled, value);
        FUZZ_CHECK_EQ(true, ok, fuzz::Shown(spelled));
        FUZZ_CHECK_EQ(n, value, fuzz::Shown(spelled));
    };
    std::snprintf(text, sizeof text, "%" PRId32, n);
    reads(text);
    FUZZ_CHECK_EQ(std::string(text), IniIntText(n), fuzz::Shown(n));
    std::snprintf(text, sizeof text, "   %" PRId32, n);
    reads(text);
    std::snprintf(text, sizeof text, "%+" PRId32, n);
    reads(text);
    std::snprintf(text, sizeof text, "%+015" PRId32, n);
    reads(text);
    const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    const char* sign = n < 0 ? "-" : "";
    for (const char* form : {"%s$%" PRIX32, "%s0x%" PRIx32, "%s0X%08" PRIX32, "%sx%" PRIx32, "%sX%" PRIX32}) {
        std::snprintf(text, sizeof text, form, sign, magnitude);
        reads(text);
    }
    // A trailing blank is not part of a number: the reader's default wins.
    std::snprintf(text, sizeof text, "%" PRId32 " ", n);
    FUZZ_CHECK_EQ(~n, IniIntOr(text, ~n), fuzz::Shown(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int32_t n = 0;
    std::memcpy(&n, data, size < sizeof n ? size : sizeof n);
    CheckText(text, n);
    CheckText(text, 5);
    CheckNumber(n);
    return 0;
}

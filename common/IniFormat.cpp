#include "IniFormat.h"

namespace {

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

}  // namespace

bool ParseIniInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return false;
    // One past the largest magnitude, so that INT32_MIN itself is accepted.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0) return false;
        magnitude = magnitude * base + d;
        if (magnitude > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

int32_t IniIntOr(std::string_view text, int32_t fallback) {
    int32_t value = fallback;
    return ParseIniInt(text, value) ? value : fallback;
}

bool IniBoolOr(std::string_view text, bool fallback) {
    return IniIntOr(text, fallback ? 1 : 0) != 0;
}

std::string IniIntText(int32_t value) { return std::to_string(value); }

// What a fuzz target does when a property fails: print what was expected and
// what came out, byte for byte, then abort, so that libFuzzer stops and keeps
// the input as a crash file for the engineer to replay.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace fuzz {

// Windows-1251 text is not printable on a UTF-8 terminal, so every byte that
// is not plain ASCII is shown as \xNN.
inline std::string Shown(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '"' || c == '\\') { out += '\\'; out += c; }
        else if (u < 0x20 || u >= 0x7f) { out += "\\x"; out += hex[u >> 4]; out += hex[u & 15]; }
        else out += c;
    }
    out += '"';
    return out;
}
inline std::string Shown(const std::string& bytes) { return Shown(std::string_view(bytes)); }
inline std::string Shown(const char* bytes) { return Shown(std::string_view(bytes)); }
inline std::string Shown(bool value) { return value ? "true" : "false"; }
template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
std::string Shown(T value) { return std::to_string(value); }
inline std::string Shown(const std::vector<std::string>& lines) {
    std::string out = "{";
    for (size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + Shown(lines[i]);
    return out + "} (" + std::to_string(lines.size()) + " lines)";
}

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n%s:%d: property failed: %s\n%s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(cond)                                                     \
    do {                                                                     \
        if (!(cond)) ::fuzz::Fail(__FILE__, __LINE__, #cond, std::string()); \
    } while (0)

// `context` names the input that the values came from, already Shown.
#define FUZZ_CHECK_EQ(expected, actual, context)                                                   \
    do {                                                                                           \
        const auto& fuzzExpected_ = (expected);                                                    \
        const auto& fuzzActual_ = (actual);                                                        \
        if (!(fuzzExpected_ == fuzzActual_))                                                       \
            ::fuzz::Fail(__FILE__, __LINE__, #expected " == " #actual,                             \
                         "  input:    " + std::string(context) + "\n  expected: " +                \
                             ::fuzz::Shown(fuzzExpected_) + "\n  actual:   " + ::fuzz::Shown(fuzzActual_)); \
    } while (0)

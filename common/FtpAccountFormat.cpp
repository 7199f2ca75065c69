#include "FtpAccountFormat.h"

namespace {

// Bytes that no login may hold: control bytes would split users.ini's lines,
// brackets its section names, separators and the characters Windows refuses in
// a folder name would make the upload folder leave its parent, name a stream
// (':') or never exist.
bool IsForbiddenLoginByte(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
    switch (c) {
        case '\\': case '/': case '[': case ']':
        case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return true;
        default:
            return false;
    }
}

// A space or, in Windows-1251, a no-break space.
bool IsBlank(char c) { return c == ' ' || static_cast<unsigned char>(c) == 0xA0; }

}  // namespace

bool IsAcceptableFtpLogin(std::string_view login) {
    if (login.empty()) return false;
    // Wherever a login is a folder name of its own, "." and ".." are the
    // folder itself or its parent, and Windows drops trailing dots, so "..."
    // is "." again. Dots among other characters ("ivan..petrov") climb nowhere.
    if (login.find_first_not_of('.') == std::string_view::npos) return false;
    // The profile functions trim blanks around a section name: " ivan" would
    // be written into ivan's own account.
    if (IsBlank(login.front()) || IsBlank(login.back())) return false;
    for (char c : login)
        if (IsForbiddenLoginByte(c)) return false;
    return true;
}

std::vector<std::pair<std::string, std::string>> FtpAccountKeys(std::string_view login, std::string_view password,
                                                                 const FtpAccountDefaults& d) {
    const std::string user(login);
    return {
        {"Login", user},
        {"Pass", std::string(password)},
        {"Dir0", d.root},
        {"Attr0", "R----LS-"},
        {"Dir1", d.upload + "\\" + user + "'s upload\\"},
        {"Attr1", "RW-AMLS-"},
        {"RatioEnabled", "1"},
        {"RatioMethod", "2"},
        {"RatioUp", std::to_string(d.ratioUp)},
        {"RatioDown", std::to_string(d.ratioDown)},
        {"RatioCredit", std::to_string(d.credit)},
    };
}

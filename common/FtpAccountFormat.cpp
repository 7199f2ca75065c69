#include "FtpAccountFormat.h"

bool IsAcceptableFtpLogin(std::string_view login) {
    if (login.empty() || login.find("..") != std::string_view::npos) return false;
    for (char c : login) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '\\' || c == '/' || c == '[' || c == ']') return false;
    }
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

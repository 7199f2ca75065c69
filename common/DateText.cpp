#include "DateText.h"

std::string ShortDateText(const SYSTEMTIME& when) {
    char text[128];
    const int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, text, sizeof text);
    return n > 0 ? std::string(text, n - 1) : std::string();
}

std::string LongTimeText(const SYSTEMTIME& when) {
    char text[128];
    const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &when, nullptr, text, sizeof text);
    return n > 0 ? std::string(text, n - 1) : std::string();
}

std::string TodayShortDateText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ShortDateText(now);
}

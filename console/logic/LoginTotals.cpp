#include "LoginTotals.h"

#include <map>

std::vector<LoginTotals> TotalsByLogin(const PeriodRows& period) {
    struct Dial {
        int64_t day = 0;
        int32_t second = -1;
    };
    struct Entry {
        LoginTotals totals;
        Dial first, last;
    };
    // An empty login cannot collide with a real one: the group of callers
    // without one is keyed apart.
    std::map<std::pair<bool, std::string>, Entry> byLogin;
    for (size_t i = 0; i < period.rows.size(); ++i) {
        const ConnectionRow& row = period.rows[i];
        const bool noLogin = row.login.empty();
        Entry& entry = byLogin[{noLogin, std::string(row.login)}];
        LoginTotals& t = entry.totals;
        t.login = row.login;
        t.noLogin = noLogin;
        // As the totals under the list: a refused caller's figures in no sum.
        if (row.ending == ConnectionEnding::Refused) {
            ++t.refused;
        } else {
            ++t.connections;
            ++t.endings[static_cast<size_t>(row.ending)];
            t.seconds += row.durationSeconds;
            t.bytesReceived += row.bytesReceived;
            t.bytesSent += row.bytesSent;
        }
        if (row.figuresMixed) ++t.figuresMixed;

        const Dial dial{period.days[period.rowDay[i]].day, SecondOfDay(row.dialTime)};
        if (row.dialTime.empty() || dial.second < 0) continue;
        const std::string when = std::string(row.date) + " " + std::string(row.dialTime);
        auto before = [](const Dial& a, const Dial& b) { return a.day != b.day ? a.day < b.day : a.second < b.second; };
        if (t.firstCall.empty() || before(dial, entry.first)) {
            entry.first = dial;
            t.firstCall = when;
        }
        if (t.lastCall.empty() || !before(dial, entry.last)) {
            entry.last = dial;
            t.lastCall = when;
        }
    }
    std::vector<LoginTotals> out;
    out.reserve(byLogin.size());
    for (auto& [key, entry] : byLogin) out.push_back(std::move(entry.totals));
    return out;
}

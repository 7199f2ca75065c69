// The RAS and FTP lines' words for each state the service control manager reports.
#include <gtest/gtest.h>

#include <string>

#include "Monitor.h"

TEST(ServiceStateWords, EachKnownStateHasItsWords) {
    struct Case {
        uint32_t state;
        const char* words;
    };
    for (const Case& c : {Case{1, "выключен"}, Case{2, "запускается"}, Case{3, "останавливается"},
                          Case{4, "включен"}, Case{5, "восстанавливается после паузы"},
                          Case{6, "приостанавливается"}, Case{7, "приостановлен"}}) {
        EXPECT_EQ(std::string(ServiceStateWords(c.state)), c.words) << "state " << c.state;
    }
}

TEST(ServiceStateWords, StatesOutsideOneToSevenReadAsNotInstalled) {
    for (uint32_t state : {0u, 8u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(std::string(ServiceStateWords(state)), "служба не установлена") << "state " << state;
    }
}

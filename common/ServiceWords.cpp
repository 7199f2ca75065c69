#include "ServiceWords.h"

const char* ServiceStateWords(uint32_t state) {
    switch (state) {
        case 1: return "выключен";
        case 2: return "запускается";
        case 3: return "останавливается";
        case 4: return "включен";
        case 5: return "восстанавливается после паузы";
        case 6: return "приостанавливается";
        case 7: return "приостановлен";
        default: return ServiceNotInstalledWords();
    }
}

const char* ServiceNotInstalledWords() { return "служба не установлена"; }

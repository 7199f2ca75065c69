// A service's state in the words the console shows after "RAS сервер: ".
#pragma once
#include <cstdint>

// The state of the service control manager (1 stopped ... 7 paused); any
// other value, or none at all, means the service is not installed.
const char* ServiceStateWords(uint32_t state);
const char* ServiceNotInstalledWords();

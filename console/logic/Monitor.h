// What the main window's fields show for given file contents and states, and
// when the working-hours watch acts. Plain functions over plain values: the
// window reads the files and hands the bytes over.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a read of one of the shared files found.
enum class FileRead { Missing, Unreadable, Read };

// Label1: the countdown from the time file's first line, or "Юзеры отключены"
// when nobody is connected. A file that exists but cannot be read (held by
// its writer) or is half-written shows an empty value, corrected a second later.
std::string CountdownText(FileRead state, std::string_view fileStart);

// StaticText1, StaticText2, TLIMIT from the current-user file's lines.
struct UserFields {
    std::string nick;
    std::string password;
    std::string limit;
};
// Missing file: the bare captions. Otherwise caption, blank, line as it is;
// a line the file does not have (or an unreadable file) gives an empty value.
UserFields UserFieldsFor(FileRead state, const std::vector<std::string>& lines);

// The RAS and FTP lines' words for a service's state (1 stopped ... 7
// paused); any other value, or none at all, means the service is not installed.
const char* ServiceStateWords(uint32_t state);

// The log file's text as the log view hands it out and as the user
// information dialog's edit control shows a file: every line end becomes
// CR LF, as the edit control breaks lines only there, and a NUL byte, which
// would end a window text early, becomes a blank.
std::string LogViewText(std::string_view fileBytes);

// Working time runs over midnight: from `timeBegin` to midnight and from
// midnight to `timeEnd`. Unchecked values keep whatever meaning this gives them.
bool IsWorkingTime(int hour, int32_t timeBegin, int32_t timeEnd);

// One working-hours step at the start of every Timer2 tick.
enum class WatchAction { None, StartService, StopService };
WatchAction WatchStep(int32_t& watchTickCounter, bool workTimeCheckDisabled, bool workingTime);

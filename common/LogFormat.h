// The shape of a line of the plug-in's daily log and where the day's file
// lies: the plug-in composes them, the console reads them back by the same rules.
#pragma once
#include <string>
#include <string_view>

// "[date] : [time] - message\n" for a dated line, "message\n" for a plain one.
// The message is copied as it is up to its first NUL, if any: a "%" in it is
// just a character.
std::string ComposeLogLine(std::string_view message, bool dated, std::string_view date,
                           std::string_view time);

// The start-up banner with the plug-in's version in its place.
std::string LogBanner(std::string_view version);

// Text-mode output: every line feed reaches the disk as CR LF.
std::string ToTextMode(std::string_view text);

// Splits "[date] : [time] - message"; false for a plain line, and for a torn
// one whose head is not whole (neither the date nor the time holds a "]").
bool SplitLogLine(std::string_view line, std::string_view& date, std::string_view& time, std::string_view& message);

// What follows the date in a day's file name.
inline constexpr char kLogFileSuffix[] = "_log.txt";

// LOG_PATH is a plain prefix: no separator is put in before the date.
std::string LogFileName(std::string_view logFolder, std::string_view date);

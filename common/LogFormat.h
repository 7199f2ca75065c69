// How a line of the plug-in's daily log is composed and where the day's file
// lies. The console finds today's file by the same rule.
#pragma once
#include <string>
#include <string_view>

// "[date] : [time] - message\n" for a dated line, "message\n" for a plain one.
// The message is copied as it is up to its first NUL, if any: a "%" in it is
// just a character.
std::string ComposeLogLine(std::string_view message, bool dated, std::string_view date,
                           std::string_view time);

// Text-mode output: every line feed reaches the disk as CR LF.
std::string ToTextMode(std::string_view text);

// LOG_PATH is a plain prefix: no separator is put in before the date.
std::string LogFileName(std::string_view logFolder, std::string_view date);

// The plug-in's daily log: LOG_PATH + date + "_log.txt", one line per call,
// each opened, written and closed, so the console sees every line at once.
#pragma once
#include <windows.h>

#include "DateText.h"

#include <string>
#include <string_view>

// Writes one dated or plain line into the log of `logFolder`. Never fails
// towards its caller: a line that cannot be written is dropped after a short
// bounded wait. (LogWrite, in Config.h, writes into the latest load's log; a
// worker writes where its own load logs.)
void LogWriteTo(const std::string& logFolder, std::string_view message, bool dated) noexcept;


// How long a line waits for a file that another program holds with writing
// denied for a moment. After a line has given up, the lines that follow try
// once only until one gets through again, so that a file held for good cannot
// make a caller wait once per line.
constexpr DWORD kLogShareWaitMs = 600;

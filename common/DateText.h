// Dates and times in the locale's forms, as the log lines and the log's file
// name use them; the plug-in writes them and the console looks for them.
#pragma once
#include <windows.h>

#include <string>

std::string ShortDateText(const SYSTEMTIME& when);
std::string LongTimeText(const SYSTEMTIME& when);
// Today's short date, by the local clock.
std::string TodayShortDateText();

// Helpers for tests that run Windows code under Wine: scratch folders, whole
// file reads and writes, today's date as the locale writes it, waiting.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// The folder of the running test program, with its final backslash.
std::string ExeFolder();

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(std::string_view tag = "dg");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With its final backslash.
    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + std::string(name); }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
std::string ReadAll(const std::string& path);
bool WriteAll(const std::string& path, std::string_view bytes);
// Adds the bytes at the end, as the plug-in adds its lines.
bool AppendAll(const std::string& path, std::string_view bytes);
bool Exists(const std::string& path);

// The locale's short date for today, as the log's file name and lines use it.
std::string TodayShortDate();

// Replaces the time of every dated log line ("] : [12:34:56] - ") by "T", so
// that whole log texts can be compared byte for byte.
std::string MaskTimes(std::string_view log);

// A dated log line as it lies on disk, its time masked.
std::string DatedLine(std::string_view message);

// Counts the occurrences of `part` in `text`, none overlapping.
size_t Occurrences(std::string_view text, std::string_view part);

// Polls `done` until it is true or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs);

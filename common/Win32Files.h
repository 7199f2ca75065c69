// Opening, reading, writing and deleting the shared files. Every file is
// opened and closed within one call and shared with its other users, so the
// plug-in, the console and the registration site never lock each other out.
#pragma once
#include <windows.h>

#include "Win32Handles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// True when the path names an existing file (a folder does not count).
bool FileExists(const std::string& path);

// At most `maxBytes` from the start of the file. False, with no bytes, when it
// cannot be opened or a read fails.
bool ReadFileStart(const std::string& path, size_t maxBytes, std::string& bytes);
// The same from a file already open for reading.
bool ReadOpenFileStart(HANDLE file, size_t maxBytes, std::string& bytes);

// The file open for reading, sharing reading, writing and deletion so that
// the plug-in never fails to append a line; invalid when it cannot be opened.
UniqueHandle OpenForReading(const std::string& path);
// The file from `offset` to its end, or at most `maxBytes` of it, read from
// a handle already open (the file opened and closed for the call when
// given a path). False when it cannot be opened or a read fails.
bool ReadOpenFileFrom(HANDLE file, uint64_t offset, size_t maxBytes, std::string& bytes);
bool ReadFileFrom(const std::string& path, uint64_t offset, std::string& bytes, size_t maxBytes = SIZE_MAX);
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The first `maxLines` lines (CR LF, LF or CR), each cut at `maxLineBytes`.
// Reads only as far into the file as those lines need, and never more than
// `maxLines` * (`maxLineBytes` + 2) bytes. False when it cannot
// be opened or a read fails; `lines` is then empty.
bool ReadFileLines(const std::string& path, size_t maxLines, size_t maxLineBytes,
                   std::vector<std::string>& lines);

// Replaces the file's contents with `bytes`, creating it when missing.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Deletes the file if it exists as a file; a failure is ignored.
void DeleteIfFile(const std::string& path);

// The full name of a module's file (nullptr: the running program), and its
// folder with the final backslash; any length.
std::string ModuleFileName(HMODULE module);
std::string ModuleFolder(HMODULE module);

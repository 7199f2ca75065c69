// The users' folder files as the plug-in uses them, in the folders of one
// load's configuration.
#pragma once
#include <cstdint>
#include <string>

#include "Config.h"
#include "UserFilesFormat.h"
#include "Win32Handles.h"

// Deletes the current-user file, the time file and current.userop, each if present.
void ClearUserFiles(const GatewayConfigRecord& c);

// One rewrite of the time file, opened before it is written: the open is
// where a slow folder makes it wait, and the worker writes under its gate.
// The file is shared for deletion, so a hang-up can delete it in between;
// a file this open created is deleted again if nothing was written into it,
// so that a dropped write leaves no countdown behind.
class TimeFileWrite {
public:
    TimeFileWrite(const GatewayConfigRecord& c, int64_t secondsLeft);
    ~TimeFileWrite();
    TimeFileWrite(const TimeFileWrite&) = delete;
    TimeFileWrite& operator=(const TimeFileWrite&) = delete;
    // False when the file could not be opened or written.
    bool Write();

private:
    std::string path_;
    std::string bytes_;
    UniqueHandle file_;
    bool created_ = false;
    bool written_ = false;
};

// Rewrites the time file with the seconds left; false when it could not be written.
bool WriteUserTimeFile(const GatewayConfigRecord& c, int64_t secondsLeft);

// The worker's one read of the current-user file in a cycle, at `nowMs` of
// its clock. False when it could not be opened or read (gone, or held by its
// writer), or when `watch` says the site may still be writing it: the caller
// tries again next cycle.
bool ReadCurrentUserRecord(const GatewayConfigRecord& c, RecordWatch& watch, double nowMs, UserRecord& record);

// The users' folder files as the plug-in uses them.
#pragma once
#include <cstdint>

#include "UserFilesFormat.h"

// Deletes the current-user file, the time file and current.userop, each if present.
void ClearUserFiles();

// Rewrites the time file with the seconds left; false when it could not be written.
bool WriteUserTimeFile(int64_t secondsLeft);

// The worker's bounded read of login, password and limit. False when the file
// could not be opened (gone or held by its writer); the caller tries again.
bool ReadCurrentUserHead(UserRecordHead& head);

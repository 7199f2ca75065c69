// The users' folder files as the plug-in uses them, in the folders of one
// load's configuration.
#pragma once
#include <cstdint>

#include "Config.h"
#include "UserFilesFormat.h"

// Deletes the current-user file, the time file and current.userop, each if present.
void ClearUserFiles(const GatewayConfigRecord& c);

// Rewrites the time file with the seconds left; false when it could not be written.
bool WriteUserTimeFile(const GatewayConfigRecord& c, int64_t secondsLeft);

// The worker's bounded read of login, password and limit. False when the file
// could not be opened or read (gone, or held by its writer); the caller tries again.
bool ReadCurrentUserHead(const GatewayConfigRecord& c, UserRecordHead& head);

#include "UserFiles.h"

#include "Win32Files.h"

void ClearUserFiles(const GatewayConfigRecord& c) {
    DeleteIfFile(c.currentUser);
    DeleteIfFile(c.timeFile);
    DeleteIfFile(c.currentUserOp);
}

bool WriteUserTimeFile(const GatewayConfigRecord& c, int64_t secondsLeft) {
    return WriteWholeFile(c.timeFile, TimeFileText(secondsLeft));
}

bool ReadCurrentUserHead(const GatewayConfigRecord& c, UserRecordHead& head) {
    std::string start;
    if (!ReadFileStart(c.currentUser, kUserRecordHeadBytes, start)) return false;
    head = ParseUserRecordHead(start);
    return true;
}

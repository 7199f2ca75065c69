#include "UserFiles.h"

#include "Config.h"
#include "Win32Files.h"

void ClearUserFiles() {
    DeleteIfFile(GatewayConfig.currentUser);
    DeleteIfFile(GatewayConfig.timeFile);
    DeleteIfFile(GatewayConfig.currentUserOp);
}

bool WriteUserTimeFile(int64_t secondsLeft) {
    return WriteWholeFile(GatewayConfig.timeFile, TimeFileText(secondsLeft));
}

bool ReadCurrentUserHead(UserRecordHead& head) {
    std::string start;
    if (!ReadFileStart(GatewayConfig.currentUser, kUserRecordHeadBytes, start)) return false;
    head = ParseUserRecordHead(start);
    return true;
}

#include "UserFiles.h"

#include "Win32Files.h"

void ClearUserFiles(const GatewayConfigRecord& c) {
    DeleteIfFile(c.currentUser);
    DeleteIfFile(c.timeFile);
    DeleteIfFile(c.currentUserOp);
}

TimeFileWrite::TimeFileWrite(const GatewayConfigRecord& c, int64_t secondsLeft)
    : path_(c.timeFile), bytes_(TimeFileText(secondsLeft)) {
    file_.Reset(CreateFileA(path_.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    created_ = file_.Valid() && GetLastError() != ERROR_ALREADY_EXISTS;
}

TimeFileWrite::~TimeFileWrite() {
    if (!created_ || written_) return;
    // Only the worker makes this file, and the next caller's worker starts
    // only once this one has ended: what is deleted by name here is ours.
    file_.Reset();
    DeleteFileA(path_.c_str());
}

bool TimeFileWrite::Write() {
    if (!file_.Valid()) return false;
    written_ = true;
    DWORD written = 0;
    return SetFilePointer(file_.Get(), 0, nullptr, FILE_BEGIN) == 0 &&
           WriteFile(file_.Get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr) &&
           written == bytes_.size() && SetEndOfFile(file_.Get());
}

bool WriteUserTimeFile(const GatewayConfigRecord& c, int64_t secondsLeft) {
    return TimeFileWrite(c, secondsLeft).Write();
}

bool ReadCurrentUserRecord(const GatewayConfigRecord& c, RecordWatch& watch, double nowMs, UserRecord& record) {
    std::string start;
    if (!ReadFileStart(c.currentUser, kUserRecordReadBytes, start)) return false;
    if (!watch.Take(start, start.size() < kUserRecordReadBytes, nowMs)) return false;
    record = ParseUserRecord(start);
    return true;
}

#include "TestSupport.h"

#include <regex>

std::string ExeFolder() {
    char name[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, name, sizeof name);
    std::string path(name, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

TempDir::TempDir(std::string_view tag) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        path_ = std::string(base) + std::string(tag) + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(InterlockedIncrement(&counter)) + "\\";
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    std::string folder = path;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

namespace {

bool Write(const std::string& path, std::string_view bytes, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

}  // namespace

bool WriteAll(const std::string& path, std::string_view bytes) {
    return Write(path, bytes, GENERIC_WRITE, CREATE_ALWAYS);
}

bool AppendAll(const std::string& path, std::string_view bytes) {
    return Write(path, bytes, FILE_APPEND_DATA, OPEN_ALWAYS);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string TodayShortDate() {
    char text[128];
    const int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, sizeof text);
    return n > 0 ? std::string(text, n - 1) : std::string();
}

std::string MaskTimes(std::string_view log) {
    static const std::regex time(R"(\] : \[\d{1,2}:\d{2}:\d{2}\] - )");
    return std::regex_replace(std::string(log), time, "] : [T] - ");
}

std::string DatedLine(std::string_view message) {
    std::string line = "[" + TodayShortDate() + "] : [T] - ";
    for (char c : message) {
        if (c == '\n') line += '\r';
        line += c;
    }
    return line + "\r\n";
}

size_t Occurrences(std::string_view text, std::string_view part) {
    if (part.empty()) return 0;
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

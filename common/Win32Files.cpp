#include "Win32Files.h"

#include "UserFilesFormat.h"

#include <algorithm>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

UniqueHandle OpenForReading(const std::string& path) {
    return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadOpenFileFrom(HANDLE file, uint64_t offset, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    LARGE_INTEGER size{};
    const uint64_t seen = GetFileSizeEx(file, &size) && size.QuadPart > at.QuadPart ? size.QuadPart - at.QuadPart : 0;
    bytes.reserve(static_cast<size_t>(std::min<uint64_t>(seen, maxBytes)));
    // Read to the end, not to the size seen: the plug-in may append meanwhile.
    // Each read asks for what is left of the size seen, at least a little.
    constexpr size_t kChunk = 1 << 20, kLeast = 64 * 1024;
    while (bytes.size() < maxBytes) {
        const size_t had = bytes.size();
        const size_t left = static_cast<size_t>(std::max<uint64_t>(seen > had ? seen - had : 0, kLeast));
        const DWORD want = static_cast<DWORD>(std::min({kChunk, left, maxBytes - had}));
        bytes.resize(had + want);
        DWORD got = 0;
        const BOOL ok = ReadFile(file, &bytes[had], want, &got, nullptr);
        bytes.resize(had + got);
        if (!ok) return false;
        if (got == 0) break;
    }
    return true;
}

bool ReadFileFrom(const std::string& path, uint64_t offset, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    UniqueHandle file = OpenForReading(path);
    return file.Valid() && ReadOpenFileFrom(file.Get(), offset, maxBytes, bytes);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) { return ReadFileFrom(path, 0, bytes); }

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFileStart(const std::string& path, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    UniqueHandle file = OpenForReading(path);
    return file.Valid() && ReadOpenFileStart(file.Get(), maxBytes, bytes);
}

bool ReadOpenFileStart(HANDLE file, size_t maxBytes, std::string& bytes) {
    bytes.assign(maxBytes, '\0');
    size_t total = 0;
    while (total < maxBytes) {
        DWORD got = 0;
        // A region its writer holds locked fails the read: that is no empty
        // file, and the caller tries again.
        if (!ReadFile(file, &bytes[total], static_cast<DWORD>(maxBytes - total), &got, nullptr)) {
            bytes.clear();
            return false;
        }
        if (got == 0) break;
        total += got;
    }
    bytes.resize(total);
    return true;
}

bool ReadFileLines(const std::string& path, size_t maxLines, size_t maxLineBytes,
                   std::vector<std::string>& lines) {
    lines.clear();
    UniqueHandle file = OpenForReading(path);
    if (!file.Valid()) return false;
    LineSplitter splitter(maxLines, maxLineBytes);
    // A file that keeps to the caps needs no more than this; one far outside
    // them (no line ends, megabytes of binary) is not read to its end.
    const size_t budget = maxLines * (maxLineBytes + 2);
    size_t total = 0;
    char chunk[4096];
    while (total < budget) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, budget - total));
        if (!ReadFile(file.Get(), chunk, want, &got, nullptr)) return false;
        if (got == 0) break;
        total += got;
        if (!splitter.Feed(std::string_view(chunk, got))) break;
    }
    splitter.Finish();
    lines = splitter.Lines();
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void DeleteIfFile(const std::string& path) {
    if (FileExists(path)) DeleteFileA(path.c_str());
}

std::string ModuleFileName(HMODULE module) {
    std::string name(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(module, &name[0], static_cast<DWORD>(name.size()));
        if (n == 0) return std::string();
        if (n < name.size()) return name.substr(0, n);
        if (name.size() >= 65536) return std::string();
        name.resize(name.size() * 2);
    }
}

std::string ModuleFolder(HMODULE module) {
    const std::string name = ModuleFileName(module);
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

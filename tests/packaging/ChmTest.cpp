// The compiled help file: every file that the project lists lies in the CHM,
// whole, and the system's help storage reader hands back the very bytes of the
// source page. The CHM's directory is read here directly; its pages are read
// through the reader the help viewer uses, which decompresses them.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "HelpProject.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// The interface of the system's HTML Help storage reader (itss.dll), which the
// help viewer reads pages through; the mingw headers lack it. Declared outside
// the anonymous namespace: there the compiler may take the pure declaration for
// the object's own type and never call through the table.
struct IITStorage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};

namespace {

std::string gChm;      // Windows path of qv_admin.chm
std::string gSources;  // Windows path of the help sources, with its final backslash

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b.at(at))) |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 2))) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 3))) << 24;
}

uint64_t U64(const std::string& b, size_t at) { return U32(b, at) | static_cast<uint64_t>(U32(b, at + 4)) << 32; }

// The CHM's variable-length numbers: seven bits a byte, most significant first.
uint64_t EncInt(const std::string& b, size_t& at) {
    uint64_t v = 0;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(b.at(at++));
        v = (v << 7) | (c & 0x7f);
        if (!(c & 0x80)) return v;
    }
}

struct Chm {
    uint32_t lcid = 0;
    std::map<std::string, uint64_t> lengths;  // "/index.htm" -> uncompressed length
};

// Walks the listing chunks (PMGL) of the ITSF directory from the first to the last.
Chm ReadChmDirectory(const std::string& b) {
    Chm chm;
    if (b.size() < 0x60 || b.compare(0, 4, "ITSF") != 0) throw std::runtime_error("no ITSF header");
    chm.lcid = U32(b, 0x14);
    const size_t dir = static_cast<size_t>(U64(b, 0x48));
    if (b.compare(dir, 4, "ITSP") != 0) throw std::runtime_error("no ITSP directory header");
    const size_t headerLength = U32(b, dir + 8);
    const size_t chunkSize = U32(b, dir + 0x10);
    int32_t chunk = static_cast<int32_t>(U32(b, dir + 0x20));
    for (int guard = 0; chunk != -1; ++guard) {
        if (guard > 10000) throw std::runtime_error("directory chunks run in a circle");
        const size_t at = dir + headerLength + static_cast<size_t>(chunk) * chunkSize;
        if (b.compare(at, 4, "PMGL") != 0) throw std::runtime_error("listing chunk without PMGL");
        const size_t end = at + chunkSize - U32(b, at + 4);
        size_t p = at + 0x14;
        while (p < end) {
            const size_t nameLength = static_cast<size_t>(EncInt(b, p));
            const std::string name = b.substr(p, nameLength);
            p += nameLength;
            EncInt(b, p);  // content section
            EncInt(b, p);  // offset
            chm.lengths[name] = EncInt(b, p);
        }
        chunk = static_cast<int32_t>(U32(b, at + 0x10));
    }
    return chm;
}

const GUID kClsidItStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const GUID kIidItStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
std::wstring Wide(const std::string& ansi) {
    std::wstring out(ansi.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &out[0],
                                      static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

// The page as the help viewer gets it, decompressed; false when it cannot be opened.
bool ReadThroughHelpStorage(const std::string& page, std::string& bytes) {
    IITStorage* its = nullptr;
    if (FAILED(CoCreateInstance(kClsidItStorage, nullptr, CLSCTX_INPROC_SERVER, kIidItStorage,
                                reinterpret_cast<void**>(&its))))
        return false;
    IStorage* storage = nullptr;
    IStream* stream = nullptr;
    bool read = false;
    // The stream leans on its storage, and the storage on the reader: each is
    // released only after what was opened from it.
    if (SUCCEEDED(its->StgOpenStorage(Wide(gChm).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                      &storage))) {
        if (SUCCEEDED(storage->OpenStream(Wide("/" + page).c_str(), nullptr, STGM_READ, 0, &stream))) {
            bytes.clear();
            char buffer[4096];
            ULONG got = 0;
            while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0) bytes.append(buffer, got);
            stream->Release();
            read = true;
        }
        storage->Release();
    }
    its->Release();
    return read;
}

// Every "Local" target of a contents or index file.
std::vector<std::string> SitemapTargets(const std::string& text) {
    std::vector<std::string> targets;
    const std::string key = "name=\"Local\" value=\"";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t from = at + key.size();
        targets.push_back(text.substr(from, text.find('"', from) - from));
    }
    return targets;
}

class HelpFile : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = ReadFile(gChm);
        ASSERT_FALSE(bytes_.empty()) << "no help file at " << gChm;
        project_ = ReadHelpProject(ReadFile(gSources + "qv_admin.hhp"));
        ASSERT_FALSE(project_.files.empty()) << "the project lists no files";
        chm_ = ReadChmDirectory(bytes_);
    }
    std::string bytes_;
    HelpProject project_;
    Chm chm_;
};

TEST_F(HelpFile, IsRussianHtmlHelp) {
    EXPECT_EQ(chm_.lcid, 0x419u);
    EXPECT_EQ(project_.options["Language"].compare(0, 5, "0x419"), 0) << project_.options["Language"];
}

TEST_F(HelpFile, HoldsEveryListedFileWholeAndNonEmpty) {
    std::vector<std::string> expected = project_.files;
    expected.push_back(project_.options["Contents file"]);
    expected.push_back(project_.options["Index file"]);
    for (const std::string& name : expected) {
        const std::string source = ReadFile(gSources + name);
        ASSERT_FALSE(source.empty()) << "source " << name << " is missing or empty";
        const auto found = chm_.lengths.find("/" + name);
        ASSERT_NE(found, chm_.lengths.end()) << name << " is not in the CHM";
        EXPECT_EQ(found->second, source.size()) << name << " has another length in the CHM";
    }
}

TEST_F(HelpFile, HelpStorageGivesBackTheSourcePagesByteForByte) {
    CoInitialize(nullptr);
    for (const std::string& name : project_.files) {
        std::string page;
        ASSERT_TRUE(ReadThroughHelpStorage(name, page)) << name << " cannot be opened through the help storage";
        EXPECT_EQ(page, ReadFile(gSources + name)) << name << " differs from its source";
    }
    CoUninitialize();
}

TEST_F(HelpFile, ContentsAndIndexPointOnlyToListedPages) {
    for (const char* key : {"Contents file", "Index file"}) {
        const std::vector<std::string> targets = SitemapTargets(ReadFile(gSources + project_.options[key]));
        EXPECT_FALSE(targets.empty()) << key;
        for (const std::string& target : targets)
            EXPECT_NE(std::find(project_.files.begin(), project_.files.end(), target), project_.files.end())
                << project_.options[key] << " points to " << target << ", which the project does not list";
    }
}

TEST_F(HelpFile, PagesDeclareWindows1251AndLinkOnlyToListedFiles) {
    for (const std::string& name : project_.files) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".htm") != 0) continue;
        const std::string page = ReadFile(gSources + name);
        EXPECT_NE(page.find("charset=windows-1251"), std::string::npos) << name;
        // Every page ends with the link back to the contents; the literal is
        // compiled to Windows-1251, so it is found only in a page of that encoding.
        EXPECT_NE(page.find("Содержание"), std::string::npos) << name << " is not Windows-1251 text";
        // Links and pictures alike: a file the project does not list is not in the CHM.
        for (const std::string key : {"href=\"", "src=\""}) {
            for (size_t at = page.find(key); at != std::string::npos; at = page.find(key, at + 1)) {
                const size_t from = at + key.size();
                const std::string target = page.substr(from, page.find('"', from) - from);
                EXPECT_NE(std::find(project_.files.begin(), project_.files.end(), target), project_.files.end())
                    << name << " links to " << target << ", which the project does not list";
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        fprintf(stderr, "usage: chm_tests CHM SOURCE_FOLDER\\\n");
        return 2;
    }
    gChm = argv[1];
    gSources = argv[2];
    return RUN_ALL_TESTS();
}

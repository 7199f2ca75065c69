// The resources that make the built programs Windows programs: the version
// block of each, as Explorer and the installer read it; the console's
// manifest, as the loader parses it; its icon, pixel for pixel the tray
// picture; the plug-in's banner, which names the version of its resources.
//   resources_tests BIN_FOLDER [X86_DIALGATE_DLL]
#include <windows.h>
#include <objbase.h>
#include <xmllite.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LogFormat.h"
#include "LogTexts.h"
#include "Pictures.h"
#include "PluginCopy.h"
#include "TestSupport.h"

namespace {

std::string gBin;  // Windows path of the build's bin folder, with its final backslash
std::string gX86Dll;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct VersionBlock {
    bool read = false;
    VS_FIXEDFILEINFO fixed{};
    std::vector<BYTE> data;
    std::wstring prefix;  // "\StringFileInfo\<language><code page>\"

    // A string value, or "<none>" when the block lacks it.
    std::wstring Text(const wchar_t* name) {
        void* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(data.data(), (prefix + name).c_str(), &value, &chars) || !value) return L"<none>";
        return std::wstring(static_cast<const wchar_t*>(value), chars ? chars - 1 : 0);
    }
};

VersionBlock ReadVersion(const std::string& file) {
    VersionBlock v;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(Wide(file).c_str(), &ignored);
    if (size == 0) return v;
    v.data.resize(size);
    if (!GetFileVersionInfoW(Wide(file).c_str(), 0, size, v.data.data())) return v;
    void* fixed = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueW(v.data.data(), L"\\", &fixed, &bytes) || bytes < sizeof(VS_FIXEDFILEINFO)) return v;
    v.fixed = *static_cast<VS_FIXEDFILEINFO*>(fixed);
    WORD* translation = nullptr;
    if (!VerQueryValueW(v.data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &bytes) ||
        bytes < 4)
        return v;
    wchar_t prefix[64];
    wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    v.prefix = prefix;
    v.read = true;
    return v;
}

// The four numbers of the project's version, e.g. 1.0.0.0.
std::wstring Dotted(DWORD ms, DWORD ls) {
    return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." + std::to_wstring(HIWORD(ls)) +
           L"." + std::to_wstring(LOWORD(ls));
}

void ExpectVersionBlock(const std::string& file, DWORD fileType, const std::wstring& originalName) {
    SCOPED_TRACE(file);
    VersionBlock v = ReadVersion(file);
    ASSERT_TRUE(v.read) << "no readable version block, error " << GetLastError();
    EXPECT_EQ(v.fixed.dwSignature, 0xFEEF04BDu);
    const std::wstring expected = Wide(DG_RESOURCE_VERSION);
    EXPECT_EQ(Dotted(v.fixed.dwFileVersionMS, v.fixed.dwFileVersionLS), expected);
    EXPECT_EQ(Dotted(v.fixed.dwProductVersionMS, v.fixed.dwProductVersionLS), expected);
    EXPECT_EQ(v.fixed.dwFileType, fileType);
    EXPECT_EQ(v.fixed.dwFileFlags & v.fixed.dwFileFlagsMask, 0u) << "debug, pre-release or patched flags set";
    EXPECT_EQ(v.Text(L"FileVersion"), expected);
    EXPECT_EQ(v.Text(L"ProductVersion"), expected);
    EXPECT_EQ(v.Text(L"ProductName"), L"dialgate");
    EXPECT_EQ(v.Text(L"OriginalFilename"), originalName);
    EXPECT_NE(v.Text(L"FileDescription"), L"<none>");
    EXPECT_NE(v.Text(L"FileDescription"), L"");
    EXPECT_EQ(v.Text(L"CompanyName"), L"<none>");
}

// A resource of a program that is read, not run: the x86 plug-in too.
class ResourceFile {
public:
    explicit ResourceFile(const std::string& file)
        : module_(LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceFile() {
        if (module_) FreeLibrary(module_);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;
    bool Loaded() const { return module_ != nullptr; }
    std::string Bytes(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(module_, name, type);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), SizeofResource(module_, found)) : std::string();
    }

private:
    HMODULE module_;
};

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b.at(at))) |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 2))) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 3))) << 24;
}
uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8);
}

struct XmlElement {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::wstring text;
};

// Every element of an XML text with its attributes and its text, read with
// the system's XmlLite; false when the text is not well-formed.
bool ParseXml(const std::string& bytes, std::vector<XmlElement>& elements) {
    using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    HMODULE xmllite = LoadLibraryW(L"xmllite.dll");
    auto create = xmllite ? reinterpret_cast<CreateReader>(reinterpret_cast<void*>(GetProcAddress(xmllite, "CreateXmlReader"))) : nullptr;
    if (!create) return false;
    IStream* stream = nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory) return false;
    memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) return false;
    IXmlReader* reader = nullptr;
    bool ok = SUCCEEDED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader), nullptr)) &&
              SUCCEEDED(reader->SetInput(stream));
    XmlNodeType type;
    HRESULT hr = S_OK;
    while (ok && (hr = reader->Read(&type)) == S_OK) {
        const wchar_t* s = nullptr;
        if (type == XmlNodeType_Element) {
            XmlElement e;
            reader->GetLocalName(&s, nullptr);
            e.name = s;
            for (HRESULT a = reader->MoveToFirstAttribute(); a == S_OK; a = reader->MoveToNextAttribute()) {
                const wchar_t* value = nullptr;
                reader->GetLocalName(&s, nullptr);
                reader->GetValue(&value, nullptr);
                e.attributes.emplace_back(s, value);
            }
            elements.push_back(e);
        } else if (type == XmlNodeType_Text && !elements.empty()) {
            reader->GetValue(&s, nullptr);
            elements.back().text += s;
        }
    }
    if (FAILED(hr)) ok = false;
    if (reader) reader->Release();
    stream->Release();
    return ok;
}

std::wstring Attribute(const XmlElement& e, const wchar_t* name) {
    for (const auto& [n, v] : e.attributes)
        if (n == name) return v;
    return L"<none>";
}

}  // namespace

TEST(Resources, EachProgramCarriesTheProjectsVersion) {
    ExpectVersionBlock(gBin + "dialgate.dll", VFT_DLL, L"dialgate.dll");
    ExpectVersionBlock(gBin + "fast\\dialgate.dll", VFT_DLL, L"dialgate.dll");
    ExpectVersionBlock(gBin + "portwatch.exe", VFT_APP, L"portwatch.exe");
}

TEST(Resources, TheX86PluginCarriesTheSameVersion) {
    if (gX86Dll.empty()) GTEST_SKIP() << "no x86 build named (DIALGATE_X86_DLL)";
    // Read as data: this 64-bit process could not run it anyway.
    ResourceFile dll(gX86Dll);
    ASSERT_TRUE(dll.Loaded()) << gX86Dll << ", error " << GetLastError();
    EXPECT_FALSE(dll.Bytes(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1)).empty());
    EXPECT_FALSE(dll.Bytes(MAKEINTRESOURCEW(11), MAKEINTRESOURCEW(1)).empty()) << "no event texts";
    ExpectVersionBlock(gX86Dll, VFT_DLL, L"dialgate.dll");
}

// The banner and the version block come from the build's one version: the
// upgrade test's later build, made from the same sources, says its own.
TEST(Resources, ThePluginsBannerNamesTheVersionOfItsResources) {
    for (const std::string& built : {gBin + "dialgate.dll", gBin + "next\\dialgate.dll"}) {
        SCOPED_TRACE(built);
        if (GetFileAttributesA(built.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        const VersionBlock v = ReadVersion(built);
        ASSERT_TRUE(v.read);
        // The banner says three numbers, the resource four.
        const std::string version = std::to_string(HIWORD(v.fixed.dwFileVersionMS)) + "." +
                                    std::to_string(LOWORD(v.fixed.dwFileVersionMS)) + "." +
                                    std::to_string(HIWORD(v.fixed.dwFileVersionLS));
        TempDir dir("banner");
        WriteAll(dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + dir.Path() + "\r\n[OPTIONS]\r\nSHOW_VARS=0\r\n");
        {
            PluginCopy plugin(dir.Path(), built);
            ASSERT_TRUE(plugin.Loaded());
            plugin.Initialize();
        }
        const std::string log = ReadAll(dir / (TodayShortDate() + "_log.txt"));
        EXPECT_NE(log.find(LogBanner(version)), std::string::npos)
            << log;
    }
    EXPECT_EQ(std::string(DG_RESOURCE_VERSION).rfind(DG_PROJECT_VERSION, 0), 0u);
}

TEST(Resources, TheConsolesManifestAsksForAnAdministratorAndNamesItsSystems) {
    ResourceFile exe(gBin + "portwatch.exe");
    ASSERT_TRUE(exe.Loaded());
    const std::string manifest = exe.Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty()) << "no manifest with id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID)";
    std::vector<XmlElement> elements;
    ASSERT_TRUE(ParseXml(manifest, elements)) << "not well-formed XML:\n" << manifest;

    int levels = 0;
    std::vector<std::wstring> systems;
    std::wstring dpiAware = L"<none>", dpiAwareness = L"<none>";
    for (const XmlElement& e : elements) {
        if (e.name == L"requestedExecutionLevel") {
            ++levels;
            EXPECT_EQ(Attribute(e, L"level"), L"requireAdministrator");
            EXPECT_EQ(Attribute(e, L"uiAccess"), L"false");
        }
        if (e.name == L"supportedOS") systems.push_back(Attribute(e, L"Id"));
        if (e.name == L"dpiAware") dpiAware = e.text;
        if (e.name == L"dpiAwareness") dpiAwareness = e.text;
        if (e.name == L"assemblyIdentity") {
            EXPECT_EQ(Attribute(e, L"version"), Wide(DG_RESOURCE_VERSION));
        }
    }
    EXPECT_EQ(levels, 1);
    // Windows 7, 8, 8.1 and 10/11 with their servers.
    const std::vector<std::wstring> expected = {
        L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}", L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
    EXPECT_EQ(systems, expected);
    // Per monitor: the console scales itself, also when a window changes monitors.
    EXPECT_EQ(dpiAware, L"true/pm");
    EXPECT_EQ(dpiAwareness, L"PerMonitorV2, PerMonitor");
}

TEST(Resources, TheConsolesIconIsTheTrayPictureAtEveryScalesSize) {
    ResourceFile exe(gBin + "portwatch.exe");
    ASSERT_TRUE(exe.Loaded());
    // The group: a GRPICONDIR and one 14-byte entry per image.
    const std::string group = exe.Bytes(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    ASSERT_EQ(U16(group, 2), 1) << "not an icon group";
    const int sizes[] = {16, 20, 24, 32};
    ASSERT_EQ(U16(group, 4), 4);
    ASSERT_EQ(group.size(), 6u + 4 * 14);
    const std::vector<uint32_t> grid = PicturePixels(kTrayPicture);
    for (int i = 0; i < 4; ++i) {
        const size_t entry = 6 + 14 * i;
        const int size = static_cast<unsigned char>(group[entry]);
        SCOPED_TRACE(size);
        EXPECT_EQ(size, sizes[i]);
        EXPECT_EQ(U16(group, entry + 6), 32) << "bits per pixel";
        const std::string image = exe.Bytes(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(U16(group, entry + 12)));
        const size_t maskRow = (size + 31) / 32 * 4;
        ASSERT_EQ(image.size(), 40 + size * size * 4 + maskRow * size);
        ASSERT_EQ(U32(image, 4), static_cast<uint32_t>(size));
        ASSERT_EQ(U32(image, 8), static_cast<uint32_t>(2 * size));
        int wrong = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int row = size - 1 - y;  // bottom-up
                const uint32_t expected = grid[(y * 16 / size) * 16 + x * 16 / size];
                const uint32_t colour = U32(image, 40 + (row * size + x) * 4);
                const bool masked = (static_cast<unsigned char>(image[40 + size * size * 4 + row * maskRow + x / 8]) >>
                                     (7 - x % 8)) & 1;
                if (colour != expected || masked != ((expected >> 24) == 0)) {
                    if (++wrong <= 5)
                        ADD_FAILURE() << "pixel " << x << "," << y << ": expected " << std::hex << expected
                                      << ", found " << colour << (masked ? " masked" : "");
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: resources_tests BIN_FOLDER [X86_DIALGATE_DLL]\n");
        return 2;
    }
    gBin = argv[1];
    if (gBin.back() != '\\') gBin += '\\';
    if (argc > 2) gX86Dll = argv[2];
    CoInitialize(nullptr);
    return RUN_ALL_TESTS();
}

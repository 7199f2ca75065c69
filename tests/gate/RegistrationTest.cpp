// regsvr32's two entries of the built dialgate.dll, with this process's
// HKEY_LOCAL_MACHINE redirected to a scratch key: the service's list of
// administration DLLs keeps every other entry, their order and the value's
// type, and gets or loses only this plug-in's own path.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "PluginCopy.h"
#include "TestSupport.h"

namespace {

const wchar_t kAdminDll[] = L"SOFTWARE\\Microsoft\\RAS\\AdminDll";
const wchar_t kEventSource[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\dialgate";

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct Value {
    DWORD type = REG_NONE;  // REG_NONE: no such value (or key)
    std::wstring text;
    bool operator==(const Value& o) const { return type == o.type && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Value& v) {
    return os << "type " << v.type << " \"" << std::string(v.text.begin(), v.text.end()) << "\"";
}

// A copy of the plug-in in a scratch folder, registering into a machine of
// the test's own.
class Registration : public ::testing::Test {
protected:
    TempDir dir{"reg"};
    PluginCopy plugin{dir.Path()};
    const std::wstring self = Wide(dir / "dialgate.dll");

    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded());
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, scratch_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &machine_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (machine_) RegCloseKey(machine_);
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    }

    HRESULT Register() const { return plugin.Get<HRESULT(WINAPI*)()>("DllRegisterServer")(); }
    HRESULT Unregister() const { return plugin.Get<HRESULT(WINAPI*)()>("DllUnregisterServer")(); }

    static Value Read(const wchar_t* key, const wchar_t* name) {
        Value v;
        wchar_t data[2048] = {};
        DWORD bytes = sizeof data - sizeof(wchar_t);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, data, &bytes) !=
            ERROR_SUCCESS)
            return Value{};
        if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) v.text = data;
        return v;
    }
    static void Write(const wchar_t* name, const Value& v) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAdminDll, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, v.type, reinterpret_cast<const BYTE*>(v.text.c_str()),
                       static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static Value List() { return Read(kAdminDll, L"DLLPath"); }
    static Value Name() { return Read(kAdminDll, L"DisplayName"); }
    static bool KeyExists(const wchar_t* key) {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
        RegCloseKey(k);
        return true;
    }

private:
    const std::wstring scratch_ = L"Software\\dialgate-tests\\machine-" + std::to_wstring(GetCurrentProcessId());
    HKEY machine_ = nullptr;
};

}  // namespace

TEST_F(Registration, GoesAfterTheOtherDllsAndTakesOnlyItselfOut) {
    Write(L"DLLPath", {REG_SZ, L"C:\\billing\\acct.dll; D:\\radius\\rad.dll "});
    Write(L"DisplayName", {REG_SZ, L"Billing"});
    ASSERT_EQ(Register(), S_OK);
    const Value registered{REG_SZ, L"C:\\billing\\acct.dll; D:\\radius\\rad.dll;" + self};
    EXPECT_EQ(List(), registered);
    EXPECT_EQ(Name(), (Value{REG_SZ, L"Billing"}));
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), registered) << "registering twice added a second entry";

    // The others as written, blanks and all.
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, L"C:\\billing\\acct.dll; D:\\radius\\rad.dll"}));
    EXPECT_EQ(Name(), (Value{REG_SZ, L"Billing"}));
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, L"C:\\billing\\acct.dll; D:\\radius\\rad.dll"}));
}

TEST_F(Registration, KnowsItsOwnPathInAnotherCaseTwiceOrThroughAVariable) {
    std::wstring upper = self;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    Write(L"DLLPath", {REG_SZ, L" other.dll ;" + upper + L" ; " + self + L";"});
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, L" other.dll ;" + upper + L" ; " + self + L";"}));
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, L" other.dll "}));

    // An expandable list stays expandable, and its variables are expanded
    // only to compare.
    SetEnvironmentVariableW(L"DG_PLUGIN_FOLDER", Wide(dir.Path()).c_str());
    Write(L"DLLPath", {REG_EXPAND_SZ, L"%SystemRoot%\\acct.dll;%DG_PLUGIN_FOLDER%dialgate.dll"});
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), (Value{REG_EXPAND_SZ, L"%SystemRoot%\\acct.dll;%DG_PLUGIN_FOLDER%dialgate.dll"}));
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(List(), (Value{REG_EXPAND_SZ, L"%SystemRoot%\\acct.dll"}));
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), (Value{REG_EXPAND_SZ, L"%SystemRoot%\\acct.dll;" + self}));
}

// Entries that name this very file in another spelling are this file: not
// added a second time, and taken out with it.
TEST_F(Registration, KnowsItsOwnFileInEverySpelling) {
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    std::wstring slashed = self;
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    for (const std::wstring& spelling : {Wide(dir / "sub\\..\\dialgate.dll"), Wide(dir / ".\\dialgate.dll"), slashed,
                                         L"\\\\?\\" + self}) {
        const std::wstring list = L"C:\\billing\\acct.dll;" + spelling;
        Write(L"DLLPath", {REG_SZ, list});
        ASSERT_EQ(Register(), S_OK);
        EXPECT_EQ(List(), (Value{REG_SZ, list})) << "listed twice";
        ASSERT_EQ(Unregister(), S_OK);
        EXPECT_EQ(List(), (Value{REG_SZ, L"C:\\billing\\acct.dll"})) << "left behind";
    }
}

// Two copies would time every caller twice: a copy in another folder is not
// registered beside one already listed (unless that one's file is gone).
TEST_F(Registration, ASecondCopyFromAnotherFolderIsRefused) {
    ASSERT_TRUE(CreateDirectoryA((dir / "old").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((dir / "dialgate.dll").c_str(), (dir / "old\\DialGate.dll").c_str(), FALSE));
    const Value list{REG_SZ, L"C:\\billing\\acct.dll;" + Wide(dir / "old\\DialGate.dll")};
    Write(L"DLLPath", list);
    EXPECT_EQ(Register(), HRESULT_FROM_WIN32(ERROR_ALREADY_REGISTERED));
    EXPECT_EQ(List(), list);
    ASSERT_TRUE(DeleteFileA((dir / "old\\DialGate.dll").c_str()));
    ASSERT_EQ(Register(), S_OK);
}

TEST_F(Registration, WithoutKeyOrWithEmptyValuesItIsTheOnlyDllAndLeavesNothing) {
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, self}));
    EXPECT_EQ(Name(), (Value{REG_SZ, L"dialgate"}));
    // The Application log's source points at this file's texts.
    EXPECT_EQ(Read(kEventSource, L"EventMessageFile"), (Value{REG_EXPAND_SZ, self}));
    EXPECT_EQ(Read(kEventSource, L"TypesSupported").type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(kAdminDll));
    EXPECT_FALSE(KeyExists(kEventSource));

    Write(L"DLLPath", {REG_SZ, L""});
    Write(L"DisplayName", {REG_SZ, L""});
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(List(), (Value{REG_SZ, self}));
    EXPECT_EQ(Name(), (Value{REG_SZ, L"dialgate"}));
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(List(), Value{});
    EXPECT_EQ(Name(), Value{});
}

TEST_F(Registration, LeavesWhatIsNotItsOwn) {
    // A list of an unexpected type is not rewritten.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAdminDll, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(key, L"DLLPath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    EXPECT_TRUE(FAILED(Register()));
    EXPECT_EQ(List().type, static_cast<DWORD>(REG_DWORD));

    // Another copy's event source stays when this one is unregistered.
    Write(L"DLLPath", {REG_SZ, self});
    ASSERT_EQ(Register(), S_OK);
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEventSource, L"EventMessageFile", REG_EXPAND_SZ,
                              L"D:\\other\\dialgate.dll", sizeof L"D:\\other\\dialgate.dll"),
              ERROR_SUCCESS);
    ASSERT_EQ(Unregister(), S_OK);
    EXPECT_EQ(Read(kEventSource, L"EventMessageFile"), (Value{REG_EXPAND_SZ, L"D:\\other\\dialgate.dll"}));
}

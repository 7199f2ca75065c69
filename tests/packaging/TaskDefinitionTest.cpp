// The console's logon task as the release ships it (portwatch-task.xml, UTF-16),
// read with the system's XML parser: well-formed, without a time limit (the
// working-hours watch lives only while the console runs), the installed
// console at logon, alone, with the highest rights in the session of the one
// who imports it, and not stopped on battery power (a UPS).
#include <windows.h>
#include <msxml2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::wstring gTaskFile;
// IID_IXMLDOMDocument2, which mingw-w64's libraries do not define.
constexpr IID kDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

// The nodes the path selects in the task's namespace: their texts, one "|" after each.
std::wstring Select(IXMLDOMDocument2* doc, const wchar_t* path) {
    std::wstring texts;
    BSTR query = SysAllocString(path);
    IXMLDOMNodeList* nodes = nullptr;
    if (doc->selectNodes(query, &nodes) == S_OK) {
        IXMLDOMNode* node = nullptr;
        while (nodes->nextNode(&node) == S_OK && node) {
            BSTR text = nullptr;
            node->get_text(&text);
            texts += std::wstring(text ? text : L"") + L"|";
            SysFreeString(text);
            node->Release();
        }
        nodes->Release();
    }
    SysFreeString(query);
    return texts;
}

TEST(ConsoleTask, StartsTheInstalledConsoleAtLogonWithoutATimeLimit) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CLSID parser{};
    ASSERT_EQ(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &parser), S_OK);
    IXMLDOMDocument2* doc = nullptr;
    ASSERT_EQ(CoCreateInstance(parser, nullptr, CLSCTX_INPROC_SERVER, kDomDocument2,
                               reinterpret_cast<void**>(&doc)),
              S_OK);
    doc->put_async(VARIANT_FALSE);
    VARIANT file = Text(gTaskFile.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    doc->load(file, &loaded);
    VariantClear(&file);
    EXPECT_EQ(loaded, VARIANT_TRUE) << "not well-formed XML, or no file";
    for (auto [name, value] : {std::pair{L"SelectionLanguage", L"XPath"},
                               {L"SelectionNamespaces", L"xmlns:t='http://schemas.microsoft.com/windows/2004/02/mit/task'"}}) {
        BSTR property = SysAllocString(name);
        VARIANT v = Text(value);
        doc->setProperty(property, v);
        VariantClear(&v);
        SysFreeString(property);
    }
    EXPECT_EQ(Select(doc, L"/t:Task/t:Settings/t:ExecutionTimeLimit"), L"PT0S|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Actions/t:Exec/t:Command"), L"\"C:\\Program Files\\dialgate\\portwatch.exe\"|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Triggers/*"), L"true|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Triggers/t:LogonTrigger/t:Enabled"), L"true|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Principals/t:Principal/t:LogonType"), L"InteractiveToken|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Principals/t:Principal/t:RunLevel"), L"HighestAvailable|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Settings/t:MultipleInstancesPolicy"), L"IgnoreNew|");
    EXPECT_EQ(Select(doc, L"/t:Task/t:Settings/*[contains(local-name(), 'Batteries')]"), L"false|false|");
    doc->Release();
    CoUninitialize();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: task_definition_tests TASK_XML\n");
        return 2;
    }
    gTaskFile.assign(argv[1], argv[1] + strlen(argv[1]));
    return RUN_ALL_TESTS();
}

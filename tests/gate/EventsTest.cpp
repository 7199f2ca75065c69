// The plug-in's events in the Application log: each raised where it belongs,
// caught by a sink of the test's own, and each text read back from the built
// dialgate.dll's message table in both languages.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "Config.h"
#include "DialgateEvents.h"
#include "Events.h"
#include "InProcessGate.h"
#include "Log.h"
#include "PluginCopy.h"
#include "Services.h"
#include "TestService.h"

namespace {

// Catches every event of this process while it lives.
class RecordedEvents {
public:
    RecordedEvents() {
        SetEventSink([this](const PluginEvent& e) {
            std::lock_guard<std::mutex> lock(lock_);
            events_.push_back(e);
        });
    }
    ~RecordedEvents() { SetEventSink(nullptr); }
    std::vector<PluginEvent> Of(DWORD id) {
        std::lock_guard<std::mutex> lock(lock_);
        std::vector<PluginEvent> found;
        for (const PluginEvent& e : events_)
            if (e.id == id) found.push_back(e);
        return found;
    }

private:
    std::mutex lock_;
    std::vector<PluginEvent> events_;
};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A copy of the plug-in in a scratch folder, whose module stands for the
// plug-in that the service loaded.
struct LoadedCopy {
    TempDir dir{"ev"};
    PluginCopy plugin{dir.Path()};
    HMODULE Module() const { return GetModuleHandleA((dir / "dialgate.dll").c_str()); }
};

}  // namespace

TEST(Events, LoadingReportsTheVersionThePathsAndAMissingConfiguration) {
    LoadedCopy copy;
    ASSERT_TRUE(copy.Module());
    const std::string logs = copy.dir / "LOGS\\";
    {
        RecordedEvents events;
        LoadGatewayConfig(copy.Module(), "7.8.9");
        const auto missing = events.Of(MSG_CONFIG_MISSING);
        ASSERT_EQ(missing.size(), 1u);
        EXPECT_EQ(missing[0].inserts, std::vector<std::wstring>{Wide(copy.dir / "qv_config.ini")});
        const auto loaded = events.Of(MSG_PLUGIN_LOADED);
        ASSERT_EQ(loaded.size(), 1u);
        EXPECT_EQ(loaded[0].inserts, (std::vector<std::wstring>{L"7.8.9", Wide(copy.dir / "dialgate.dll"),
                                                                Wide(copy.dir / "qv_config.ini"), L"C:\\VE_DA\\LOGS\\"}));
    }
    WriteAll(copy.dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + logs + "\r\n");
    RecordedEvents events;
    LoadGatewayConfig(copy.Module(), "7.8.9");
    EXPECT_TRUE(events.Of(MSG_CONFIG_MISSING).empty());
    const auto loaded = events.Of(MSG_PLUGIN_LOADED);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].inserts.at(3), Wide(logs));
    EXPECT_NE(ReadAll(logs + TodayShortDate() + "_log.txt").find("dialgate.dll версии 7.8.9: "), std::string::npos);
}

TEST(Events, AnUnwritableLogIsReportedOncePerOutageAndAgainWhenItIsBack) {
    TempDir dir("evlog");
    const std::string folder = dir / "missing\\LOGS\\";
    const std::string file = folder + TodayShortDate() + "_log.txt";
    // Whatever an earlier test left, the log is up when this one begins.
    LogWriteTo(dir.Path(), "up", true);
    RecordedEvents events;
    for (int line = 0; line < 3; ++line) LogWriteTo(folder, "lost", true);
    const auto down = events.Of(MSG_LOG_UNWRITABLE);
    ASSERT_EQ(down.size(), 1u);
    ASSERT_EQ(down[0].inserts.size(), 3u);
    EXPECT_EQ(down[0].inserts[0], Wide(file));
    EXPECT_EQ(down[0].inserts[1], std::to_wstring(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(down[0].inserts[2].empty()) << "no text for the system's error";
    EXPECT_TRUE(events.Of(MSG_LOG_WRITABLE_AGAIN).empty());

    ASSERT_TRUE(CreateDirectoryA((dir / "missing").c_str(), nullptr));
    LogWriteTo(folder, "back", true);
    LogWriteTo(folder, "and on", true);
    const auto up = events.Of(MSG_LOG_WRITABLE_AGAIN);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].inserts, (std::vector<std::wstring>{Wide(file), L"3"}));
    EXPECT_EQ(events.Of(MSG_LOG_UNWRITABLE).size(), 1u);
}

TEST(Events, AConnectionTheServiceForgotIsReportedWhenTheWorkerEndsIt) {
    RecordedEvents events;
    InProcessGate gate;
    Caller first(gate, 60), second(gate, 61);
    ASSERT_TRUE(first.Dial());
    ASSERT_TRUE(gate.clock.Cycle());
    // The line dies and the service loses the hang-up; the next caller's
    // refusal makes the worker ask, and ask again a cycle later.
    gate.service.RemoveConnection(first.c0.hConnection);
    EXPECT_FALSE(second.Dial());
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.clock.Cycle());
    ASSERT_TRUE(gate.WaitWorkersGone());
    const auto gone = events.Of(MSG_CONNECTION_GONE);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].inserts, std::vector<std::wstring>{L"2"});
    // The refused caller's hang-up had no worker to end: nothing to report.
    second.HangUp();
    EXPECT_TRUE(events.Of(MSG_WORKER_NOT_ENDED).empty());
}

TEST(Events, AWorkerTheHangupCouldNotEndIsReported) {
    TestService ftp("--stop-delay-ms 2500");
    ASSERT_TRUE(ftp.Installed());
    ServiceStart(ftp.Name());
    ASSERT_TRUE(ftp.WaitForEvent("running"));
    RecordedEvents events;
    {
        InProcessGate gate(1, ftp.Name());
        Caller call(gate, 62);
        ASSERT_TRUE(call.Dial());
        gate.WriteRecord("student\r\nsecret\r\n5\r\n");
        ASSERT_TRUE(gate.clock.Release());
        ASSERT_TRUE(gate.WaitLog("FTP сервер останавливается"));
        call.HangUp();
        EXPECT_EQ(events.Of(MSG_WORKER_NOT_ENDED).size(), 1u);
        ASSERT_TRUE(gate.WaitWorkersGone(20000));
    }
    ServiceStop(ftp.Name());
}

// Every event's text, in Russian and in English, takes exactly the inserts
// that the plug-in passes with it.
TEST(EventTexts, EachEventHasItsTextInBothLanguagesWithItsInserts) {
    const std::string dll = ExeFolder() + "dialgate.dll";
    HMODULE table = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(table) << dll;
    // More than any text takes: one that asked for more than its own would show them.
    const wchar_t* markers[] = {L"<1>", L"<2>", L"<3>", L"<4>", L"<5>", L"<6>", L"<7>", L"<8>"};
    DWORD_PTR arguments[8];
    for (size_t i = 0; i < 8; ++i) arguments[i] = reinterpret_cast<DWORD_PTR>(markers[i]);
    for (const EventKind& kind : kEventKinds) {
        for (LANGID language : {MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}) {
            SCOPED_TRACE("event " + std::to_string(kind.id & 0xFFFF) + ", language " + std::to_string(language));
            wchar_t* text = nullptr;
            const DWORD n = FormatMessageW(
                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, table,
                kind.id, language, reinterpret_cast<LPWSTR>(&text), 0, reinterpret_cast<va_list*>(arguments));
            ASSERT_GT(n, 0u) << "no text, error " << GetLastError();
            const std::wstring message(text, n);
            LocalFree(text);
            for (size_t i = 0; i < 8; ++i)
                EXPECT_EQ(message.find(markers[i]) != std::wstring::npos, i < kind.inserts)
                    << "insert %" << i + 1 << " in " << std::string(message.begin(), message.end());
            bool cyrillic = false;
            for (wchar_t c : message) cyrillic = cyrillic || (c >= 0x400 && c <= 0x4FF);
            EXPECT_EQ(cyrillic, PRIMARYLANGID(language) == LANG_RUSSIAN);
        }
    }
    FreeLibrary(table);
}

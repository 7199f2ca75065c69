// The stand-in remote-access service against recadmin.dll: when the DLL is
// loaded, initialised, terminated and unloaded; which callbacks a dial-in and
// a hang-up deliver, in which order and with which values; how the
// administration client calls of the stand-in mprapi.dll answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <thread>

#include "Services.h"
#include "StandinHost.h"

namespace {

// Stopping a host whose callback never returns waits this long, not the
// host's own 15 s: the wait always runs out there.
constexpr unsigned kStuckStopWaitMs = 1000;

const Call* Find(const std::vector<Call>& calls, const std::string& name, size_t nth = 0) {
    for (const Call& c : calls)
        if (c.name == name && nth-- == 0) return &c;
    return nullptr;
}

struct Dialled {
    unsigned id = 0;
    std::string handle;
    std::string port;
};

// "connection 1 handle 0xc0001 port 0x50001"
bool ParseDial(const std::string& out, Dialled& d) {
    char handle[32] = {}, port[32] = {};
    if (sscanf(out.c_str(), "connection %u handle %31s port %31s", &d.id, handle, port) != 3) return false;
    d.handle = handle;
    d.port = port;
    return true;
}

}  // namespace

TEST(RasStandinConsole, LoadsAndInitialisesAtStartTerminatesAndUnloadsAtStop) {
    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll");
    EXPECT_EQ(host.Stop(), 0) << host.Output();
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll MprAdminTerminateDll unload");
}

TEST(RasStandinConsole, DialAndHangupDeliverTheCallbacksInOrder) {
    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();

    const ULONGLONG beforeDial = GetTickCount64();
    const ToolRun dial = Standin("dial --rx 10240 --tx 2048");
    const ULONGLONG afterDial = GetTickCount64();
    ASSERT_EQ(dial.code, 0) << dial.out;
    Dialled d;
    ASSERT_TRUE(ParseDial(dial.out, d)) << dial.out;
    EXPECT_NE(d.handle, d.port);
    Sleep(2100);
    const ULONGLONG beforeHangup = GetTickCount64();
    const ToolRun hangup = Standin("hangup " + std::to_string(d.id));
    const ULONGLONG afterHangup = GetTickCount64();
    EXPECT_EQ(hangup.code, 0) << hangup.out;

    const std::vector<Call> calls = dll.Calls();
    EXPECT_EQ(dll.Names(),
              "load MprAdminInitializeDll MprAdminAcceptNewConnection MprAdminAcceptNewLink "
              "MprAdminLinkHangupNotification MprAdminConnectionHangupNotification");
    const Call* accept = Find(calls, "MprAdminAcceptNewConnection");
    const Call* link = Find(calls, "MprAdminAcceptNewLink");
    const Call* linkDown = Find(calls, "MprAdminLinkHangupNotification");
    const Call* down = Find(calls, "MprAdminConnectionHangupNotification");
    ASSERT_TRUE(accept && link && linkDown && down);
    EXPECT_EQ(accept->Field("hConnection"), d.handle);
    EXPECT_EQ(accept->Field("duration"), "0");
    EXPECT_EQ(link->Field("hPort"), d.port);
    EXPECT_EQ(link->Field("hConnection"), d.handle);
    EXPECT_EQ(linkDown->Field("hPort"), d.port);
    EXPECT_EQ(down->Field("hConnection"), d.handle);
    EXPECT_EQ(down->Field("rx"), "10240");
    EXPECT_EQ(down->Field("tx"), "2048");
    // Whole seconds between the dial and the hang-up, as far as the test can tell.
    const unsigned duration = static_cast<unsigned>(std::stoul(down->Field("duration")));
    EXPECT_GE(duration, (beforeHangup - afterDial) / 1000);
    EXPECT_LE(duration, (afterHangup - beforeDial) / 1000);
    EXPECT_GE(duration, 2u);
    // The callbacks never run on the host's main thread nor, being one
    // connection's, on more than one thread at a time; ours came on one.
    EXPECT_NE(accept->Field("tid"), Find(calls, "MprAdminInitializeDll")->Field("tid"));
    EXPECT_EQ(down->Field("tid"), accept->Field("tid"));

    // The same connection cannot hang up twice.
    EXPECT_EQ(Standin("hangup " + std::to_string(d.id)).code, 1);
    EXPECT_EQ(host.Stop(), 0);
}

TEST(RasStandinConsole, ARefusedConnectionGetsNoLinkAndNoHangup) {
    RecordingDll dll("refuse-connection");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    const ToolRun dial = Standin("dial");
    EXPECT_EQ(dial.code, 3);
    EXPECT_EQ(dial.out, "refused\n");
    const ToolRun state = Standin("state");
    EXPECT_EQ(state.out.find("connection "), std::string::npos) << state.out;
    EXPECT_EQ(host.Stop(), 0);
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll MprAdminAcceptNewConnection MprAdminTerminateDll unload");
}

TEST(RasStandinConsole, ARefusedLinkEndsTheAcceptedConnection) {
    RecordingDll dll("refuse-link");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    EXPECT_EQ(Standin("dial").code, 3);
    EXPECT_EQ(host.Stop(), 0);
    EXPECT_EQ(dll.Names(),
              "load MprAdminInitializeDll MprAdminAcceptNewConnection MprAdminAcceptNewLink "
              "MprAdminConnectionHangupNotification MprAdminTerminateDll unload");
}

TEST(RasStandinConsole, StoppingHangsUpTheLiveConnectionsBeforeTerminating) {
    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    ASSERT_EQ(Standin("dial --rx 5 --tx 6").code, 0);
    ASSERT_EQ(Standin("dial").code, 0);
    EXPECT_EQ(Standin("quit").code, 0);
    EXPECT_EQ(host.Stop(), 0) << host.Output();
    const std::vector<Call> calls = dll.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].name + " " + calls.back().name, "MprAdminTerminateDll unload");
    // Each connection's two hang-ups in order; the connections may interleave.
    for (const char* handle : {"0xc0001", "0xc0002"}) {
        int linkAt = -1, connectionAt = -1, terminateAt = -1;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].name == "MprAdminLinkHangupNotification" && calls[i].Field("hConnection") == handle)
                linkAt = static_cast<int>(i);
            if (calls[i].name == "MprAdminConnectionHangupNotification" && calls[i].Field("hConnection") == handle)
                connectionAt = static_cast<int>(i);
            if (calls[i].name == "MprAdminTerminateDll") terminateAt = static_cast<int>(i);
        }
        EXPECT_GE(linkAt, 0) << handle;
        EXPECT_GT(connectionAt, linkAt) << handle;
        EXPECT_GT(terminateAt, connectionAt) << handle;
    }
}

TEST(RasStandinConsole, StoppingWhileAConnectionIsBeingAcceptedHangsItUpFirst) {
    RecordingDll dll("slow-accept");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    ToolRun dial;
    std::thread caller([&dial] { dial = Standin("dial"); });
    const bool accepting = dll.WaitForCall("MprAdminAcceptNewConnection");
    const int stopped = host.Stop();
    caller.join();
    ASSERT_TRUE(accepting);
    EXPECT_EQ(stopped, 0) << host.Output();
    EXPECT_EQ(dial.code, 0) << dial.out;
    EXPECT_EQ(dll.Names(),
              "load MprAdminInitializeDll MprAdminAcceptNewConnection MprAdminAcceptNewLink "
              "MprAdminLinkHangupNotification MprAdminConnectionHangupNotification MprAdminTerminateDll unload");
}

TEST(RasStandinConsole, PortDisconnectDeliversTheHangupsAfterReturning) {
    RecordingDll dll("disconnect-on-link");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    const ToolRun dial = Standin("dial --rx 100 --tx 200");
    ASSERT_EQ(dial.code, 0) << dial.out;
    Dialled d;
    ASSERT_TRUE(ParseDial(dial.out, d)) << dial.out;
    ASSERT_TRUE(dll.WaitForCall("MprAdminConnectionHangupNotification"));
    ASSERT_TRUE(dll.WaitForCall("PortDisconnect"));
    WaitFor([&] { return Find(dll.Calls(), "PortDisconnect", 1) != nullptr; }, 5000);
    const std::vector<Call> calls = dll.Calls();

    ASSERT_TRUE(Find(calls, "ServerConnect"));
    EXPECT_EQ(Find(calls, "ServerConnect")->line.substr(0, 15), "ServerConnect 0");
    // The connection's handle is no port: every port call refuses it (6).
    for (const char* name : {"PortClearStats", "PortReset", "PortDisconnect"}) {
        const Call* bogus = Find(calls, name, 0);
        const Call* real = Find(calls, name, 1);
        ASSERT_TRUE(bogus && real) << name;
        EXPECT_EQ(bogus->line.substr(0, bogus->line.find(" tid=")), std::string(name) + " " + d.handle + " 6");
        EXPECT_EQ(real->line.substr(0, real->line.find(" tid=")), std::string(name) + " " + d.port + " 0");
    }
    const Call* linkDown = Find(calls, "MprAdminLinkHangupNotification");
    const Call* down = Find(calls, "MprAdminConnectionHangupNotification");
    ASSERT_TRUE(linkDown && down);
    EXPECT_EQ(linkDown->Field("disconnect-call"), "returned");
    EXPECT_EQ(linkDown->Field("hPort"), d.port);
    EXPECT_EQ(down->Field("rx"), "100");
    EXPECT_EQ(down->Field("tx"), "200");
    // Delivered on the host's thread, not on the plug-in's disconnecting one.
    EXPECT_NE(down->Field("tid"), Find(calls, "PortDisconnect", 1)->Field("tid"));
    EXPECT_EQ(down->Field("tid"), Find(calls, "MprAdminAcceptNewConnection")->Field("tid"));

    // Gone with its hang-up: the connection and its port are unknown now.
    EXPECT_EQ(Standin("hangup " + std::to_string(d.id)).code, 1);
    const ToolRun state = Standin("state");
    EXPECT_NE(state.out.find("port-calls clear-stats 1 reset 1"), std::string::npos) << state.out;
    EXPECT_EQ(host.Stop(), 0);
}

TEST(RasStandinConsole, PortDisconnectInSyncModeReturnsOnlyAfterTheHangups) {
    RecordingDll dll("disconnect-on-link");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    const ToolRun mode = Standin("mode sync");
    EXPECT_EQ(mode.code, 0);
    EXPECT_EQ(mode.out, "mode sync\n");
    const ToolRun dial = Standin("dial");
    ASSERT_EQ(dial.code, 0) << dial.out;
    Dialled d;
    ASSERT_TRUE(ParseDial(dial.out, d));
    ASSERT_TRUE(WaitFor([&] { return Find(dll.Calls(), "PortDisconnect", 1) != nullptr; }, 10000));
    const std::vector<Call> calls = dll.Calls();
    const Call* linkDown = Find(calls, "MprAdminLinkHangupNotification");
    ASSERT_TRUE(linkDown);
    EXPECT_EQ(linkDown->Field("disconnect-call"), "pending");
    const std::string names = dll.Names();
    EXPECT_NE(names.find("PortReset MprAdminLinkHangupNotification MprAdminConnectionHangupNotification "
                         "PortDisconnect"),
              std::string::npos)
        << names;
    // Even so, the hang-ups come on the host's thread of the connection.
    EXPECT_NE(Find(calls, "MprAdminConnectionHangupNotification")->Field("tid"),
              Find(calls, "PortDisconnect", 1)->Field("tid"));
    EXPECT_EQ(Standin("state").out.find("connection " + std::to_string(d.id) + " "), std::string::npos);
    EXPECT_EQ(host.Stop(), 0);
}

TEST(RasStandinConsole, StateKeepsTheHangupLatencies) {
    RecordingDll dll("slow-hangup");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    for (int i = 0; i < 2; ++i) {
        const ToolRun dial = Standin("dial");
        Dialled d;
        ASSERT_TRUE(ParseDial(dial.out, d)) << dial.out;
        if (i == 0) {
            const std::string state = Standin("state").out;
            EXPECT_NE(state.find("connection 1 handle 0xc0001 port 0x50001 seconds 0 rx 0 tx 0 up"),
                      std::string::npos)
                << state;
        }
        ASSERT_EQ(Standin("hangup " + std::to_string(d.id)).code, 0);
    }
    const std::string state = Standin("state").out;
    unsigned count = 0;
    double median = 0, worst = 0, first = 0, second = 0;
    const size_t at = state.find("hangups ");
    ASSERT_NE(at, std::string::npos) << state;
    ASSERT_EQ(sscanf(state.c_str() + at, "hangups %u median-ms %lf max-ms %lf", &count, &median, &worst), 3);
    ASSERT_EQ(sscanf(state.c_str() + state.find("hangup 1 "), "hangup 1 ms %lf", &first), 1) << state;
    ASSERT_EQ(sscanf(state.c_str() + state.find("hangup 2 "), "hangup 2 ms %lf", &second), 1) << state;
    EXPECT_EQ(count, 2u);
    EXPECT_GE(first, 290);
    EXPECT_GE(second, 290);
    EXPECT_LT(worst, 5000);
    EXPECT_DOUBLE_EQ(worst, first > second ? first : second);
    EXPECT_NEAR(median, (first + second) / 2, 0.002);
    EXPECT_EQ(host.Stop(), 0);
}

TEST(RasStandinCommands, WithoutAHostOrWithBadWordsTheyFail) {
    const ToolRun none = Standin("state");
    EXPECT_EQ(none.code, 2) << none.out;
    EXPECT_EQ(Standin("dial --rx lots").code, 1);
    EXPECT_EQ(Standin("").code, 1);

    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    EXPECT_EQ(Standin("hangup 99").code, 1);
    // A second host would answer nobody: it does not start.
    const ToolRun second = RunCaptured("rasstandin.exe", "console", 20000);
    EXPECT_EQ(second.code, 1) << second.out;
    EXPECT_EQ(host.Stop(), 0);
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll MprAdminTerminateDll unload");
}

TEST(RasStandinService, LoadsTheDllWhenStartedAndUnloadsItWhenStopped) {
    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ServiceHost service;
    ASSERT_TRUE(service.Installed());
    ASSERT_TRUE(service.Start());
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll");
    const ToolRun dial = Standin("dial --rx 1 --tx 2");
    ASSERT_EQ(dial.code, 0) << dial.out;
    Dialled d;
    ASSERT_TRUE(ParseDial(dial.out, d));
    EXPECT_EQ(Standin("hangup " + std::to_string(d.id)).code, 0);
    EXPECT_TRUE(service.Stop());
    EXPECT_EQ(ServiceState("RemoteAccess"), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(dll.Names(),
              "load MprAdminInitializeDll MprAdminAcceptNewConnection MprAdminAcceptNewLink "
              "MprAdminLinkHangupNotification MprAdminConnectionHangupNotification MprAdminTerminateDll unload");
}

TEST(RasStandinService, PlugInCallsReachTheStandInMprapiInTheService) {
    RecordingDll dll("disconnect-on-link link-waits");
    ASSERT_TRUE(dll.Registered());
    ServiceHost service;
    ASSERT_TRUE(service.Installed());
    ASSERT_TRUE(service.Start());
    ASSERT_EQ(Standin("dial").code, 0);
    EXPECT_TRUE(WaitFor([&] { return Find(dll.Calls(), "PortDisconnect", 1) != nullptr; }, 10000)) << dll.Names();
    const std::vector<Call> calls = dll.Calls();
    const Call* disconnect = Find(calls, "PortDisconnect", 1);
    ASSERT_TRUE(disconnect);
    EXPECT_EQ(disconnect->line.substr(0, disconnect->line.find(" tid=")), "PortDisconnect 0x50001 0");
    // The quit command stops the service as the manager's stop does.
    EXPECT_EQ(Standin("quit").code, 0);
    EXPECT_TRUE(ServiceWaitStopped("RemoteAccess", 20000));
    EXPECT_TRUE(dll.WaitForCall("unload"));
}

TEST(RasStandinService, AFailedInitialisationKeepsTheServiceFromStarting) {
    RecordingDll dll("init-fails");
    ASSERT_TRUE(dll.Registered());
    ServiceHost service;
    ASSERT_TRUE(service.Installed());
    EXPECT_FALSE(service.Start());
    EXPECT_TRUE(ServiceWaitStopped("RemoteAccess", 10000));
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll unload");
    EXPECT_EQ(Standin("state").code, 2);
}

// A plug-in whose hang-up handler waits for its own thread, which waits in
// MprAdminPortDisconnect for that very hang-up: the deadlock sync mode exists
// to show. The host reports the callback that does not return and still ends.
TEST(RasStandinConsole, ADeadlockedHangupIsShownBusyAndTheHostStillEnds) {
    RecordingDll dll("disconnect-on-link hangup-waits");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host(kStuckStopWaitMs);
    ASSERT_TRUE(host.Ready()) << host.Output();
    ASSERT_EQ(Standin("mode sync").code, 0);
    ASSERT_EQ(Standin("dial").code, 0);
    ASSERT_TRUE(dll.WaitForCall("MprAdminLinkHangupNotification"));
    std::string state;
    EXPECT_TRUE(WaitFor(
        [&] {
            state = Standin("state").out;
            return state.find("busy 1 MprAdminConnectionHangupNotification ms ") != std::string::npos;
        },
        10000))
        << state;
    EXPECT_NE(state.find("connection 1 handle 0xc0001 port 0x50001 seconds "), std::string::npos) << state;
    EXPECT_NE(state.find(" hanging-up\n"), std::string::npos) << state;

    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(host.Stop(), static_cast<int>(ERROR_TIMEOUT)) << host.Output();
    EXPECT_LT(GetTickCount64() - before, 30000u);
    EXPECT_NE(host.Output().find("did not return"), std::string::npos) << host.Output();
    // Neither terminated nor unloaded under the stuck thread.
    EXPECT_EQ(dll.Names().find("MprAdminTerminateDll"), std::string::npos) << dll.Names();
    EXPECT_EQ(dll.Names().find("unload"), std::string::npos) << dll.Names();
}

TEST(RasStandinConsole, AClientCallInsideACallbackNeverReturnsAndIsShown) {
    RecordingDll dll("connect-in-callback");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host(kStuckStopWaitMs);
    ASSERT_TRUE(host.Ready()) << host.Output();
    ToolRun dial;
    std::thread caller([&dial] { dial = Standin("dial"); });
    std::string state;
    const bool shown = WaitFor(
        [&] {
            state = Standin("state").out;
            return state.find("forbidden MprAdminServerConnect called inside MprAdminAcceptNewLink\n") !=
                   std::string::npos;
        },
        10000);
    const int stopped = host.Stop();
    caller.join();
    EXPECT_TRUE(shown) << state;
    EXPECT_NE(state.find("busy 1 MprAdminAcceptNewLink ms "), std::string::npos) << state;
    EXPECT_EQ(stopped, static_cast<int>(ERROR_TIMEOUT)) << host.Output();
    EXPECT_NE(dial.code, 0);
    EXPECT_EQ(dll.Names().find("ServerConnect"), std::string::npos) << dll.Names();
}

TEST(RasStandinService, BesideARunningConsoleHostTheServiceDoesNotStart) {
    RecordingDll dll;
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    ServiceHost service;
    ASSERT_TRUE(service.Installed());
    EXPECT_FALSE(service.Start());
    EXPECT_TRUE(ServiceWaitStopped("RemoteAccess", 10000));
    // The console host goes on serving.
    EXPECT_EQ(Standin("state").code, 0);
    EXPECT_EQ(host.Stop(), 0);
    EXPECT_EQ(dll.Names(), "load MprAdminInitializeDll MprAdminTerminateDll unload");
}

// The connections a plug-in's own thread is told exist, as the enumeration
// answers after each new link: the live ones, not a dropped or hung-up one.
TEST(RasStandinConsole, TheEnumerationListsTheConnectionsThatExist) {
    RecordingDll dll("enum-on-link");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    auto nthEnum = [&](size_t nth) -> Call {
        WaitFor([&] { return Find(dll.Calls(), "ConnectionEnum", nth) != nullptr; }, 10000);
        const std::vector<Call> calls = dll.Calls();
        const Call* c = Find(calls, "ConnectionEnum", nth);
        return c ? *c : Call{};
    };

    ASSERT_EQ(Standin("dial").code, 0);
    Call listed = nthEnum(0);
    EXPECT_EQ(listed.line.substr(0, 16), "ConnectionEnum 0") << listed.line;
    EXPECT_EQ(listed.Field("handles"), "0xc0001") << listed.line;
    EXPECT_EQ(listed.Field("read"), "1");
    EXPECT_EQ(listed.Field("total"), "1");
    // Only level 0 is answered.
    EXPECT_EQ(listed.Field("level1"), "87") << listed.line;

    ASSERT_EQ(Standin("dial").code, 0);
    EXPECT_EQ(nthEnum(1).Field("handles"), "0xc0001,0xc0002") << nthEnum(1).line;

    // A dropped connection is gone at once, without a hang-up; it can be
    // neither hung up nor dropped again.
    const ToolRun drop = Standin("drop 1");
    EXPECT_EQ(drop.code, 0) << drop.out;
    unsigned seconds = 99;
    EXPECT_EQ(sscanf(drop.out.c_str(), "connection 1 dropped seconds %u", &seconds), 1) << drop.out;
    EXPECT_LT(seconds, 60u);
    EXPECT_EQ(Standin("hangup 1").code, 1);
    EXPECT_EQ(Standin("drop 1").code, 1);
    EXPECT_EQ(Standin("drop 99").code, 1);
    ASSERT_EQ(Standin("dial").code, 0);
    EXPECT_EQ(nthEnum(2).Field("handles"), "0xc0002,0xc0003") << nthEnum(2).line;

    ASSERT_EQ(Standin("hangup 2").code, 0);
    ASSERT_EQ(Standin("dial").code, 0);
    listed = nthEnum(3);
    EXPECT_EQ(listed.Field("handles"), "0xc0003,0xc0004") << listed.line;
    EXPECT_EQ(listed.Field("total"), "2");

    const std::string state = Standin("state").out;
    EXPECT_NE(state.find("dropped 1 seconds " + std::to_string(seconds) + "\n"), std::string::npos) << state;
    EXPECT_EQ(state.find("connection 1 "), std::string::npos) << state;
    EXPECT_NE(state.find("connection 3 handle 0xc0003 "), std::string::npos) << state;
    EXPECT_NE(state.find("connection-enum calls 4\n"), std::string::npos) << state;
    EXPECT_NE(state.find("hangups 1 "), std::string::npos) << state;

    // Stopping hangs up the connections that exist, in any order; the dropped
    // one is not told.
    EXPECT_EQ(host.Stop(), 0) << host.Output();
    std::set<std::string> hungUp;
    for (const Call& c : dll.Calls())
        if (c.name == "MprAdminConnectionHangupNotification") hungUp.insert(c.Field("hConnection"));
    EXPECT_EQ(hungUp, (std::set<std::string>{"0xc0002", "0xc0003", "0xc0004"}));
    EXPECT_EQ(dll.Names().find("MprAdminLinkHangupNotification hPort=0x50001"), std::string::npos);
    EXPECT_EQ(dll.Calls().back().name, "unload");
}

// Many connections: the answer outgrows the first buffer and is asked again.
TEST(RasStandinConsole, TheEnumerationAnswersMoreConnectionsThanItsFirstBufferHolds) {
    RecordingDll dll("enum-on-link");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host;
    ASSERT_TRUE(host.Ready()) << host.Output();
    const int kConnections = 20;
    for (int i = 0; i < kConnections; ++i) ASSERT_EQ(Standin("dial").code, 0) << i;
    ASSERT_TRUE(WaitFor([&] { return Find(dll.Calls(), "ConnectionEnum", kConnections - 1) != nullptr; }, 20000));
    std::string all;
    for (int i = 1; i <= kConnections; ++i) {
        char handle[16];
        snprintf(handle, sizeof handle, "0x%x", 0xc0000 + i);
        all += (i > 1 ? "," : "") + std::string(handle);
    }
    // The threads of the links run in any order: the last answer lists all.
    bool seenAll = false;
    for (const Call& c : dll.Calls())
        if (c.name == "ConnectionEnum" && c.Field("handles") == all && c.Field("total") == "20") seenAll = true;
    EXPECT_TRUE(seenAll) << dll.Names();
    const std::string state = Standin("state").out;
    EXPECT_NE(state.find("connection-enum calls 20\n"), std::string::npos) << state;
    EXPECT_EQ(host.Stop(), 0) << host.Output();
}

TEST(RasStandinConsole, AnEnumerationInsideACallbackNeverReturnsAndIsShown) {
    RecordingDll dll("enum-on-link enum-in-hangup");
    ASSERT_TRUE(dll.Registered());
    ConsoleHost host(kStuckStopWaitMs);
    ASSERT_TRUE(host.Ready()) << host.Output();
    ASSERT_EQ(Standin("dial").code, 0);
    ASSERT_TRUE(dll.WaitForCall("ConnectionEnum"));
    ToolRun hangup;
    std::thread caller([&hangup] { hangup = Standin("hangup 1"); });
    std::string state;
    const bool shown = WaitFor(
        [&] {
            state = Standin("state").out;
            return state.find("forbidden MprAdminConnectionEnum called inside MprAdminConnectionHangupNotification\n") !=
                   std::string::npos;
        },
        10000);
    const int stopped = host.Stop();
    caller.join();
    EXPECT_TRUE(shown) << state;
    EXPECT_NE(state.find("busy 1 MprAdminConnectionHangupNotification ms "), std::string::npos) << state;
    EXPECT_NE(state.find("connection-enum calls 1\n"), std::string::npos) << state;
    EXPECT_EQ(stopped, static_cast<int>(ERROR_TIMEOUT)) << host.Output();
    EXPECT_NE(hangup.code, 0);
    EXPECT_EQ(dll.Names().find("inside-hangup"), std::string::npos) << dll.Names();
}

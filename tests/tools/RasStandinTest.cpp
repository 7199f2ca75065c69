// The stand-in remote-access service against recadmin.dll: when the DLL is
// loaded, initialised, terminated and unloaded; which callbacks a dial-in and
// a hang-up deliver, in which order and with which values; how the
// administration client calls of the stand-in mprapi.dll answer.
#include <gtest/gtest.h>

#include <cstdio>

#include "Services.h"
#include "StandinHost.h"

namespace {

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

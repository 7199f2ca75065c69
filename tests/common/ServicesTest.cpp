// ServiceStart, ServiceStop, ServiceState and ServiceWaitStopped against
// real services: testsvc.exe installed under a name of each test's own, whose
// events file shows which requests reached the service and when.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Services.h"
#include "TestService.h"
#include "TestSupport.h"

namespace {

// What a service that cannot be opened reads as.
const DWORD kNotInstalled = 0;

unsigned long long TimeOf(const std::vector<ServiceEvent>& events, const std::string& name) {
    for (const ServiceEvent& e : events)
        if (e.name == name) return e.ms;
    return 0;
}

}  // namespace

TEST(Services, NameNotInstalledReadsAsNotInstalledAndIsLeftAlone) {
    const std::string missing = "dgsvc_missing_" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(ServiceState(missing), kNotInstalled);
    ServiceStart(missing);
    ServiceStop(missing);
    EXPECT_EQ(ServiceState(missing), kNotInstalled);
    EXPECT_FALSE(ServiceWaitStopped(missing, 100));
    // Service names and display names are different things.
    EXPECT_EQ(ServiceState(""), kNotInstalled);
}

TEST(Services, StartThenStopRunsTheServiceThroughItsStates) {
    TestService svc;
    ASSERT_TRUE(svc.Installed());
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_STOPPED});
    EXPECT_TRUE(ServiceWaitStopped(svc.Name(), 0));

    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("running"));
    EXPECT_TRUE(svc.WaitForState(SERVICE_RUNNING));

    ServiceStop(svc.Name());
    EXPECT_TRUE(ServiceWaitStopped(svc.Name(), 10000));
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(svc.EventNames(), "start running stop-requested stopped");
    const std::vector<ServiceEvent> events = svc.Events();
    for (size_t i = 1; i < events.size(); ++i) EXPECT_LE(events[i - 1].ms, events[i].ms) << events[i].name;
}

TEST(Services, StartOfARunningAndStopOfAStoppedServiceChangeNothing) {
    TestService svc;
    ASSERT_TRUE(svc.Installed());
    ServiceStop(svc.Name());
    Sleep(300);
    EXPECT_EQ(svc.EventNames(), "");
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_STOPPED});

    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("running"));
    ServiceStart(svc.Name());
    Sleep(500);
    EXPECT_EQ(svc.EventNames(), "start running");
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_RUNNING});

    ServiceStop(svc.Name());
    ASSERT_TRUE(ServiceWaitStopped(svc.Name(), 10000));
    ServiceStop(svc.Name());
    Sleep(300);
    EXPECT_EQ(svc.EventNames(), "start running stop-requested stopped");
}

TEST(Services, InstallingAgainTakesTheNewOptions) {
    TestService svc;
    ASSERT_TRUE(svc.Installed());
    ASSERT_EQ(RunTool("testsvc.exe\" install " + svc.Name() + " \"" + svc.EventsPath() + "\" --start-delay-ms 3000"),
              0);
    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("start"));
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_START_PENDING});
    EXPECT_TRUE(svc.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(svc.EventNames(), "start running");
}

TEST(Services, StopWhileStartingIsSentAndEndsTheService) {
    TestService svc("--start-delay-ms 5000");
    ASSERT_TRUE(svc.Installed());
    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("start"));
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_START_PENDING});

    ServiceStop(svc.Name());
    EXPECT_TRUE(ServiceWaitStopped(svc.Name(), 10000));
    EXPECT_EQ(svc.EventNames(), "start stop-requested stopped");
    // Stopped well before the start delay would have run out.
    const std::vector<ServiceEvent> events = svc.Events();
    EXPECT_LT(TimeOf(events, "stopped") - TimeOf(events, "start"), 4000u);
}

TEST(Services, StartWhileStoppingIsRefusedAndTheServiceEndsStopped) {
    TestService svc("--stop-delay-ms 1500");
    ASSERT_TRUE(svc.Installed());
    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("running"));

    ServiceStop(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("stop-requested"));
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_STOP_PENDING});
    ServiceStart(svc.Name());
    EXPECT_TRUE(ServiceWaitStopped(svc.Name(), 10000));
    Sleep(500);
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(svc.EventNames(), "start running stop-requested stopped");
    const std::vector<ServiceEvent> events = svc.Events();
    EXPECT_GE(TimeOf(events, "stopped") - TimeOf(events, "stop-requested"), 1400u);
}

TEST(Services, WaitStoppedGivesUpAtItsTimeOnAServiceThatDoesNotStop) {
    TestService svc("--ignore-stop");
    ASSERT_TRUE(svc.Installed());
    ServiceStart(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("running"));

    ServiceStop(svc.Name());
    ASSERT_TRUE(svc.WaitForEvent("stop-requested"));
    const ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(ServiceWaitStopped(svc.Name(), 700));
    const ULONGLONG waited = GetTickCount64() - before;
    EXPECT_GE(waited, 690u);
    EXPECT_LT(waited, 5000u);
    EXPECT_EQ(ServiceState(svc.Name()), DWORD{SERVICE_RUNNING});
    EXPECT_EQ(svc.EventNames(), "start running stop-requested");

    // Removing it still succeeds: the service that ignores the stop is ended.
    EXPECT_EQ(RunTool("testsvc.exe\" remove " + svc.Name()), 0);
    EXPECT_EQ(ServiceState(svc.Name()), kNotInstalled);
    EXPECT_EQ(RunTool("testsvc.exe\" remove " + svc.Name()), 2);
}

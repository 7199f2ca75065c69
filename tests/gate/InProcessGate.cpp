#include "InProcessGate.h"

#include <gtest/gtest.h>

#include "UserFilesFormat.h"
#include "Worker.h"

namespace {

std::atomic<InProcessGate*> host{nullptr};
std::atomic<int> live{0}, most{0};

}  // namespace

// The worker's thread entry in this program: the plug-in's own, with the
// installation's clock and client calls. The module reference it returns is
// this program's, which stays loaded anyway.
DWORD WINAPI ConnectionWorker(LPVOID param) {
    InProcessGate* gate = host.load();
    for (int now = ++live, seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    WorkerClock& clock = gate->realCycleMs ? SystemClock() : gate->clock;
    RunConnectionWorker(param, WorkerEnv{gate->calls, clock, gate->realCycleMs ? gate->realCycleMs : 1000});
    --live;
    ++gate->ended;
    gate->clock.WorkerEnded();
    return 0;
}

InProcessGate::InProcessGate(int32_t regMinutes, const std::string& ftpService, int32_t ftpCredit,
                             DWORD realCycleMs_)
    : realCycleMs(realCycleMs_) {
    CreateDirectoryA(users.c_str(), nullptr);
    CreateDirectoryA((dir / "ftp").c_str(), nullptr);
    GatewayConfigRecord c;
    c.usersFolder = users;
    c.currentUser = CurrentUserFileName(users);
    c.currentUserOp = CurrentUserOpFileName(users);
    c.timeFile = timeFile;
    c.regMinutes = regMinutes;
    c.showVars = false;
    c.logFolder = logs;
    c.ftpAccounting = !ftpService.empty();
    c.ftpServiceName = ftpService;
    c.ftpIniFile = usersIni;
    c.ftpDefaultCredit = ftpCredit;
    PublishGatewayConfig(c);
    most = live.load();
    host = this;
}

InProcessGate::~InProcessGate() {
    if (!WaitWorkersGone()) {
        ADD_FAILURE() << accepted - ended << " workers still running at the end of the test";
        // They would run on with this installation gone.
        ExitProcess(3);
    }
    host = nullptr;
}

int InProcessGate::MostWorkers() { return most; }

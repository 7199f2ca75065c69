// Starting, stopping and describing Windows services by name. Every call
// opens and closes its own handles, so any thread may use them at any time.
#pragma once
#include <windows.h>

#include <string>

// Asks for a start unless the service is running; the outcome is not waited for.
void ServiceStart(const std::string& name);
// Sends the stop control unless the service is stopped; not waited for.
void ServiceStop(const std::string& name);
// The state the service control manager reports (SERVICE_STOPPED ...
// SERVICE_PAUSED), or 0 for a service that cannot be opened or queried, as
// one that is not installed.
DWORD ServiceState(const std::string& name);

// Waits until the service reports that it has stopped, at most `timeoutMs`.
// A service that cannot be opened or queried is not waited for (false).
bool ServiceWaitStopped(const std::string& name, DWORD timeoutMs);

// One dial-in connection as the plug-in holds it: the worker that times it
// and the port the worker disconnects. The callbacks' work; the exports in
// Plugin.cpp only forward to these.
#pragma once
#include <windows.h>
#include <mprapi.h>

BOOL AcceptConnection(const RAS_CONNECTION_0* c0);
void AcceptLink(const RAS_PORT_0* p0);
void LinkHangup(const RAS_PORT_0* p0);
void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1);

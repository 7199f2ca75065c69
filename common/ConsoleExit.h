// The installer's request to every running console to end, as its "Выход"
// does, before the programs are replaced or removed: a console left running
// would hold portwatch.exe (a reboot to replace it) and its working-hours
// watch could start the remote-access service again in the middle of an
// upgrade. A manual-reset event in the global namespace, so that the
// installer's service reaches consoles in every session.
#pragma once

inline constexpr wchar_t kConsoleExitEvent[] = L"Global\\dialgate-portwatch-exit";

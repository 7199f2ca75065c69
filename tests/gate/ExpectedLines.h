// The lines the plug-in writes for the moments of a connection, as they lie
// in the log with their times masked, for tests that compare whole logs.
#pragma once
#include <string>

#include "TestService.h"
#include "TestSupport.h"

inline const char kExitThread[] = "***ExitThread***";
inline const char kHungUp[] = "Произошло отключение пользователя от интерфейса";

inline std::string DisconnectLines(const char* outcome) {
    std::string lines;
    for (const char* call : {"MprAdminServerConnect", "MprAdminPortClearStats", "MprAdminPortReset",
                             "MprAdminPortDisconnect"})
        lines += DatedLine(std::string(call) + outcome);
    return lines + DatedLine("Пользователь отключен по окончании лимита времени") + DatedLine(kExitThread);
}

inline std::string HangupLines(bool ended, DWORD duration = 0, DWORD rx = 0, DWORD tx = 0) {
    return DatedLine(ended ? "Поток успешно завершен" : "Поток не удалось завершить") +
           DatedLine("Продолжительность соединения: " + std::to_string(duration)) +
           DatedLine("Байт принято: " + std::to_string(rx)) + DatedLine("Байт отправлено: " + std::to_string(tx)) +
           DatedLine(kHungUp);
}

// The same for a hang-up of no connection timed here.
inline std::string MarkedHangupLines(bool ended, DWORD duration = 0, DWORD rx = 0, DWORD tx = 0) {
    return DatedLine("Следующее отключение не относится к обслуживаемому соединению") +
           HangupLines(ended, duration, rx, tx);
}

inline std::string UserBlock(const std::string& user, const std::string& pass, const std::string& limit) {
    return "\r\n\r\n" + DatedLine("Пришел пользователь:") + DatedLine(">USER: " + user) +
           DatedLine(">PASS: " + pass) + DatedLine(">LIMIT: " + limit + "\n") + "\r\n\r\n";
}

inline const std::string kAccepted = DatedLine("Принято новое подключение") + DatedLine("***Поток таймера запущен***");
inline const std::string kLinkUp = DatedLine("Подключен интерфейс");
inline const std::string kLinkDown = DatedLine("Отключен интерфейс");


// A TIME_FOR_REG of one minute and the FTP step against a service of the test.
inline std::string FtpOptions(const std::string& service, const std::string& extra = "") {
    return "FTP_ACCOUNTING_ENABLED=1\r\nFTP_SERVICE_NAME=" + service + "\r\n" + extra;
}

inline const std::string kFtpLines = DatedLine("FTP сервер останавливается") +
                              DatedLine("Изменяем users.ini (создаем аккаунт для юзера) ...") +
                              DatedLine("FTP сервер запускается");

inline unsigned long long EventMs(const TestService& svc, const std::string& name, int nth = 1) {
    for (const ServiceEvent& e : svc.Events())
        if (e.name == name && --nth == 0) return e.ms;
    return 0;
}


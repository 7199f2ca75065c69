// Every text the plug-in writes to its log, in one place: the plug-in writes
// them and the console reads them back. Narrow literals are compiled to
// Windows-1251 bytes.
#pragma once

namespace log_text {

// Loading the configuration.
// The start-up banner. "%s" is the build's version (CMake's project version),
// put in by LogBanner (LogFormat.h); the text is never used as a format.
inline constexpr char kBanner[] = "dialgate.dll версии %s: модуль учета дозвона запускается";
inline constexpr char kConfigLoadFrom[] = "Загрузка из файла конфигурации: ";
inline constexpr char kConfigLoaded[] = "Файл конфигурации загружен";
inline constexpr char kDumpRule[] = "____________________________________________";

// The service's callbacks.
inline constexpr char kInitialized[] = "MprAdminInitializeDll - библиотека загружена";
inline constexpr char kTerminated[] = "MprAdminTerminateDll - библиотека выгружена";
inline constexpr char kTerminateRule[] = "****************************************************";
inline constexpr char kIpRequested[] = "Запрос IP адреса для пользователя";
inline constexpr char kIpReleased[] = "Освобождение IP адреса";
inline constexpr char kConnectionAccepted[] = "Принято новое подключение";
inline constexpr char kWorkerStarted[] = "***Поток таймера запущен***";
inline constexpr char kWorkerNotStarted[] = "***Не удается запустить поток таймера***";
inline constexpr char kLinkUp[] = "Подключен интерфейс";
inline constexpr char kLinkDown[] = "Отключен интерфейс";
inline constexpr char kWorkerEnded[] = "Поток успешно завершен";
inline constexpr char kWorkerNotEnded[] = "Поток не удалось завершить";
inline constexpr char kDuration[] = "Продолжительность соединения: ";
inline constexpr char kBytesReceived[] = "Байт принято: ";
inline constexpr char kBytesSent[] = "Байт отправлено: ";
inline constexpr char kUserHungUp[] = "Произошло отключение пользователя от интерфейса";
inline constexpr char kSecondConnectionRefused[] =
    "Подключение отклонено: предыдущее соединение еще обслуживается";
// The same line as release 1.0.0 wrote it, with "ё"; read, never written.
inline constexpr char kSecondConnectionRefused100[] =
    "Подключение отклонено: предыдущее соединение ещё обслуживается";
// A caller whose hang-up came before his acceptance was decided.
inline constexpr char kAcceptedAfterHangup[] = "Подключение отклонено: абонент уже отключился";
inline constexpr char kConnectionGone[] = "Соединение не найдено службой: поток завершается";
// Written just before a hang-up's block (kWorkerEnded or kWorkerNotEnded up to
// kUserHungUp) when that hang-up belongs to no connection the plug-in still
// times: a duplicate or late one, a refused caller's, or one that comes after
// the worker found its connection gone. The block follows in the same write,
// so its lines stay together; a reader of the day leaves such a block out.
inline constexpr char kUnmatchedHangup[] = "Следующее отключение не относится к обслуживаемому соединению";

// The connection worker.
inline constexpr char kUserArrived[] = "Пришел пользователь:";
inline constexpr char kUserLine[] = ">USER: ";
inline constexpr char kPassLine[] = ">PASS: ";
inline constexpr char kLimitLine[] = ">LIMIT: ";
inline constexpr char kFtpStopping[] = "FTP сервер останавливается";
inline constexpr char kFtpAccount[] = "Изменяем users.ini (создаем аккаунт для юзера) ...";
inline constexpr char kFtpStarting[] = "FTP сервер запускается";
inline constexpr char kFtpLoginRefused[] = "Аккаунт FTP не создан: недопустимый логин";
inline constexpr char kFtpWriteFailed[] = "Не удалось записать users.ini: ";
inline constexpr char kDisconnected[] = "Пользователь отключен по окончании лимита времени";
inline constexpr char kExitThread[] = "***ExitThread***";
inline constexpr char kCallOk[] = " - ok";
inline constexpr char kCallFailed[] = " - false";

// The worker's disconnect: each call's name, then " - ok" or " - false".
inline constexpr const char* kDisconnectCalls[] = {"MprAdminServerConnect", "MprAdminPortClearStats",
                                                   "MprAdminPortReset", "MprAdminPortDisconnect"};

}  // namespace log_text

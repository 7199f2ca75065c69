// Every text the console shows, in one place. Narrow literals compile to
// Windows-1251 bytes and are joined with the bytes of the shared files;
// window texts that are fixed are wide, so they show right under any code page.
#pragma once

namespace text {

// Monitoring fields, joined with file contents (Windows-1251).
inline constexpr char kCountdown[] = "До отключения осталось: ";
inline constexpr char kUsersOff[] = "Юзеры отключены";
inline constexpr char kNoLogFile[] = "Не удается открыть лог-файл";
inline constexpr char kNick[] = "НИК:";
inline constexpr char kPassword[] = "ПАРОЛЬ:";
inline constexpr char kLimit[] = "ЛИМИТ:";
inline constexpr char kRasLine[] = "RAS сервер: ";
inline constexpr char kFtpLine[] = "FTP сервер: ";
// A service's state after those, by the service control manager's states 1 to 7.
inline constexpr const char* kServiceStates[] = {
    "выключен", "запускается", "останавливается", "включен", "восстанавливается после паузы",
    "приостанавливается", "приостановлен",
};
inline constexpr char kServiceNotInstalled[] = "служба не установлена";
inline constexpr char kWorkTime[] = "ВРЕМЯ: РАБОЧЕЕ";
inline constexpr char kNotWorkTime[] = "ВРЕМЯ: НЕ РАБОЧЕЕ";
// Shown with the configuration file's full path (Windows-1251) after "%s".
inline constexpr char kUnableToWrite[] = "Unable to write to %s";

// The plug-in's state (PluginState), joined with the log's dates and
// times; parts after kLine begin lines of their own.
inline constexpr char kLine[] = "\r\n";
inline constexpr char kPluginLoaded[] = "МОДУЛЬ: загружен";
inline constexpr char kPluginVersion[] = ", версия ";
inline constexpr char kPluginSince[] = ", с ";
inline constexpr char kPluginUnloaded[] = "МОДУЛЬ: выгружен ";
inline constexpr char kPluginNoLines[] = "МОДУЛЬ: в журнале нет строк запуска";
inline constexpr char kPluginByLog[] = " (по журналу; состояние службы RemoteAccess неизвестно)";
inline constexpr char kPluginServiceUnknown[] = " (состояние службы RemoteAccess неизвестно)";
inline constexpr char kPluginServiceStopped[] = "МОДУЛЬ: не загружен, служба RemoteAccess выключена";
inline constexpr char kPluginLastUnloaded[] = "выгружен ";
inline constexpr char kPluginServiceStarting[] = "МОДУЛЬ: служба RemoteAccess запускается";
inline constexpr char kPluginServiceStopping[] = "МОДУЛЬ: служба RemoteAccess останавливается";
inline constexpr char kPluginMissing[] = "МОДУЛЬ НЕ ЗАГРУЖЕН: служба RemoteAccess работает";
inline constexpr char kPluginRunningSince[] = " с ";
inline constexpr char kPluginNoStartSince[] = ", а строки запуска модуля в журнале с тех пор нет.";
inline constexpr char kPluginWhatToCheck[] =
    "Проверьте: DLLPath в HKLM\\SOFTWARE\\Microsoft\\RAS\\AdminDll называет dialgate.dll; в журнале "
    "«Приложение» есть событие 1 источника dialgate; LOG_PATH в qv_config.ini консоли и модуля — одна папка.";
inline constexpr char kPluginLoadedByEvent[] = " (событие 1), но строки запуска в журнале модуля нет.";
inline constexpr char kPluginSameLogFolder[] = "Проверьте, что LOG_PATH в qv_config.ini консоли и модуля — одна папка.";
inline constexpr char kPluginLogUnwritable[] = "НЕ УДАЕТСЯ ЗАПИСАТЬ ЖУРНАЛ с ";
inline constexpr char kPluginLogWhatToCheck[] =
    " (событие 3 источника dialgate). Проверьте папку LOG_PATH модуля: есть ли она, может ли служба писать в нее, "
    "есть ли место на диске.";
inline constexpr char kPluginLogAgain[] = "Журнал снова записывается с ";
inline constexpr char kPluginLinesLost[] = ", строк потеряно: ";
inline constexpr char kPluginWorkerNotEnded[] =
    "При отключении абонента поток отсчета времени не завершился (событие 6): новые звонки могут отклоняться; "
    "если это повторяется, перезапустите службу RemoteAccess.";

// The balloons from the notification area (Windows-1251). A caller who came
// is shown as the fields show him: "НИК: " login ", ЛИМИТ: " limit; the
// disconnect at the limit has the log's own words as its title.
inline constexpr char kNoticeCallerCame[] = "Пришел пользователь";
inline constexpr char kNoticeLogUnwritable[] = "Модуль не может записать журнал";
inline constexpr char kNoticeSince[] = "С ";
inline constexpr char kNoticeLogWhatToCheck[] =
    "Событие 3 источника dialgate в журнале «Приложение». Проверьте папку LOG_PATH модуля.";
inline constexpr char kNoticeWatch[] = "Наблюдение за временем работы";
inline constexpr char kNoticeRasStarted[] = "Служба RemoteAccess запущена: ВРЕМЯ: РАБОЧЕЕ";
inline constexpr char kNoticeRasStopped[] = "Служба RemoteAccess остановлена: ВРЕМЯ: НЕ РАБОЧЕЕ";

// Fixed window texts.
inline constexpr wchar_t kTitle[] = L"GUI для LINKWARD.DLL";
inline constexpr wchar_t kAppName[] = L"RA DIVAD IROR v0.1";
inline constexpr wchar_t kUsersDisconnected[] = L"Пользователи отключены";
inline constexpr wchar_t kStateHeading[] = L"Текущее состояние";
inline constexpr wchar_t kStatusLogin[] = L"ЛОГИН:";
inline constexpr wchar_t kStatusLimit[] = L"ВРЕМЕННОЙ ЛИМИТ: ";
inline constexpr wchar_t kFontFace[] = L"MS Sans Serif";

// Tool tips.
inline constexpr wchar_t kHintWatchOff[] = L"Отключить наблюдение за временем работы";
inline constexpr wchar_t kHintRasStart[] = L"Запуск RRAS";
inline constexpr wchar_t kHintRasStop[] = L"Остановка RRAS";
inline constexpr wchar_t kHintSettings[] = L"Настройки ini-файла";
inline constexpr wchar_t kHintUserInfo[] = L"Информация о пользователе";
inline constexpr wchar_t kHintHelp[] = L"Справка";

// Main menu.
inline constexpr wchar_t kMenuOptions[] = L"Опции";
inline constexpr wchar_t kMenuSettings[] = L"Настройки ini-конфига (qv_config.ini)";
inline constexpr wchar_t kMenuUserInfo[] = L"Информация о пользователе";
inline constexpr wchar_t kMenuExit[] = L"Выход";
inline constexpr wchar_t kMenuMore[] = L"Дополнительно";
inline constexpr wchar_t kMenuRas[] = L"RAS-SERVER";
inline constexpr wchar_t kMenuWeb[] = L"WEB-SERVER";
inline constexpr wchar_t kMenuFtp[] = L"FTP-SERVER";
inline constexpr wchar_t kMenuStart[] = L"Запустить";
inline constexpr wchar_t kMenuStop[] = L"Остановить";
inline constexpr wchar_t kMenuHelp[] = L"?";
inline constexpr wchar_t kMenuHelpFile[] = L"Справка ...";
inline constexpr wchar_t kMenuAbout[] = L"О программе";

// Tray menu.
inline constexpr wchar_t kTrayClearLog[] = L"Очистить лог";
inline constexpr wchar_t kTrayAbout[] = L"О программе ..";
inline constexpr wchar_t kTrayHelp[] = L"Справка";
inline constexpr wchar_t kTrayExit[] = L"Выход";

// The switch of the balloons, in "Опции" and in the tray menu; remembered
// per user.
inline constexpr wchar_t kMenuNotices[] = L"Всплывающие уведомления";

// The log view's context menu, and what its search says when the text sought
// (put in for "%s") is nowhere in the log.
inline constexpr wchar_t kViewCopy[] = L"Копировать";
inline constexpr wchar_t kViewSelectAll[] = L"Выделить все";
inline constexpr wchar_t kViewFind[] = L"Найти...";
inline constexpr wchar_t kViewNotFound[] = L"Не удается найти \"%s\"";
// The search dialog's check box: on past the text's end, round from its other end.
inline constexpr wchar_t kViewWrap[] = L"Обтекание";

// The connections report's menu item, in "Дополнительно" and in the tray
// menu; the window's own texts are in ReportTexts.h.
inline constexpr wchar_t kMenuReport[] = L"Соединения за день...";

}  // namespace text

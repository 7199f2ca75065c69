// Every text of the connections report (TForm5), in one place: its window,
// its two lists and their CSV, the status line and the picture. Narrow
// literals compile to Windows-1251 bytes and are joined with the log's
// bytes; fixed window texts are wide.
#pragma once

namespace text {

// The window. Each control's text has its own access key (after "&"), so
// that Alt and the letter reaches it.
inline constexpr wchar_t kReportCaption[] = L"Соединения за день";
inline constexpr wchar_t kReportCaptionPeriod[] = L"Соединения за период";
inline constexpr wchar_t kReportDay[] = L"&День:";
// The period around the chosen day: that day, its week (Monday to Sunday),
// its month, or up to the day in the second list.
inline constexpr wchar_t kReportKindDay[] = L"д&ень";
inline constexpr wchar_t kReportKindWeek[] = L"&неделя";
inline constexpr wchar_t kReportKindMonth[] = L"&месяц";
inline constexpr wchar_t kReportKindRange[] = L"&по";
inline constexpr wchar_t kReportRefresh[] = L"&Обновить";
inline constexpr wchar_t kReportViewConnections[] = L"&Соединения";
inline constexpr wchar_t kReportViewLogins[] = L"&Итоги по логинам";
inline constexpr wchar_t kReportSaveCsv[] = L"Со&хранить CSV...";
inline constexpr wchar_t kReportCopyPicture[] = L"&Копировать картинку";
inline constexpr wchar_t kReportSavePng[] = L"Сохр&анить PNG...";
// The save dialogs: the file types offered and the names proposed, to which
// the period's dates are added.
inline constexpr wchar_t kReportCsvFilter1251[] = L"CSV для Excel, Windows-1251 (*.csv)";
inline constexpr wchar_t kReportCsvFilterUtf8[] = L"CSV в UTF-8 (*.csv)";
inline constexpr wchar_t kReportCsvName[] = L"соединения_";
inline constexpr wchar_t kReportLoginCsvName[] = L"итоги_";
inline constexpr wchar_t kReportPngFilter[] = L"Рисунок PNG (*.png)";
inline constexpr wchar_t kReportPngName[] = L"линия_";

// The connections: the CSV's columns; the list shows them all.
inline constexpr char kReportColumns[][24] = {"Дата",         "Время дозвона", "Логин",
                                              "Лимит, мин",   "Окончание",     "Длительность",
                                              "Байт принято", "Байт отправлено", "Примечание"};
inline constexpr char kEndingLimit[] = "лимит исчерпан";
inline constexpr char kEndingHungUp[] = "абонент отключился";
inline constexpr char kEndingRefused[] = "отклонен";
inline constexpr char kEndingNoRegistration[] = "нет регистрации";
inline constexpr char kEndingFoundGone[] = "не найдено службой";
inline constexpr char kEndingGoing[] = "идет";
inline constexpr char kEndingNotLogged[] = "конец не записан";
// The note of a row whose hang-up lines were interleaved with another's.
inline constexpr char kNoteFiguresMixed[] = "два отключения сразу: цифры могут быть чужими";
inline constexpr char kCsvTotal[] = "Итого";
inline constexpr char kCsvConnections[] = "соединений: ";
inline constexpr char kCsvRefused[] = "отклонено: ";

// The totals per login: the CSV's columns, the list shows them all. The
// ending columns count the connections that ended so.
inline constexpr char kLoginColumns[][24] = {
    "Логин",           "Соединений",         "Отклонено",       "Время",
    "Байт принято",    "Байт отправлено",    "Лимит исчерпан",  "Абонент отключился",
    "Нет регистрации", "Не найдено службой", "Конец не записан", "Идет",
    "Первый звонок",   "Последний звонок",   "Примечание"};
// The login of the callers who never registered, refused ones among them.
inline constexpr char kNoLogin[] = "(без логина)";
// The note of a login some of whose rows have figures that may be another's.
inline constexpr char kNoteMixedRows[] = "цифры под сомнением в соединениях: ";

// The line under the list: counts, time and bytes are filled in.
inline constexpr char kTotalsConnections[] = "Соединений: ";
inline constexpr char kTotalsRefused[] = ", отклонено: ";
inline constexpr char kTotalsTime[] = ", время: ";
inline constexpr char kTotalsReceived[] = ", принято байт: ";
inline constexpr char kTotalsSent[] = ", отправлено байт: ";
inline constexpr char kTotalsLogins[] = ", логинов: ";

// The status line: the period, then the days without a readable log, named
// one by one or as "first–last".
inline constexpr char kReportNoLog[] = "За этот день журнала нет";
inline constexpr char kStatusPeriod[] = "Период: ";
inline constexpr char kDayRangeDash[] = "–";
inline constexpr char kStatusDays[] = " дн.";
inline constexpr char kStatusMissing[] = "; нет журнала за: ";
inline constexpr char kStatusUnreadable[] = "; журнал сейчас не читается, попробуйте «Обновить»: ";
// Lines longer than any the plug-in writes: only their first 64 KB are read.
inline constexpr char kStatusCutLines[] = "; строк длиннее 64 КБ, прочитано только начало: ";
inline constexpr char kStatusReading[] = "; читается: ";
inline constexpr char kStatusOf[] = " из ";
// Shown with the file's full path (Windows-1251) after "%s".
inline constexpr char kReportSaveFailed[] = "Не удалось записать %s";
inline constexpr char kReportCopyFailed[] = "Не удалось положить картинку в буфер обмена";

// The picture: its legend and what hovering over it shows.
inline constexpr char kLegendRefused[] = "отклоненный звонок";
inline constexpr char kLegendWorkingHours[] = "рабочее время";
inline constexpr char kLegendBusyShare[] = "доля часа, когда линия занята:";
inline constexpr char kLegendNoLog[] = "нет журнала";
inline constexpr char kHoverBusy[] = ": линия занята ";
inline constexpr char kHoverConnections[] = "%, соединений: ";
inline constexpr char kHoverRefusedCount[] = ", отклонено: ";
// The picture's name for screen readers, and the picture in words, which
// the line under it shows while the mouse is not on it.
inline constexpr wchar_t kPictureName[] = L"Занятость линии за период";
inline constexpr char kSummaryBusiest[] = "Чаще всего линия занята: ";
inline constexpr char kSummaryNotBusy[] = "Линия не была занята";
inline constexpr char kSummaryByDay[] = "; по дням: ";

}  // namespace text

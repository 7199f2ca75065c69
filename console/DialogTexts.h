// The texts of the settings, user information and About dialogs. Narrow
// literals compile to Windows-1251 bytes and are joined with file contents;
// fixed window texts are wide so that they show right under any code page.
#pragma once

namespace dialog_text {

// Shared by the dialogs.
inline constexpr wchar_t kOk[] = L"ОК";  // Cyrillic letters
inline constexpr wchar_t kCancel[] = L"Отмена";

// Settings dialog (TForm3). "%s" is filled with the text. (The write error,
// "Unable to write to %s", is the console's, in ConsoleTexts.h.)
inline constexpr char kNotValidInteger[] = "'%s' is not a valid integer value";
inline constexpr wchar_t kSettingsCaption[] = L"Настройки";
inline constexpr wchar_t kTabGeneral[] = L"Общие";
inline constexpr wchar_t kTabLogs[] = L"Логи";
inline constexpr wchar_t kTabFtp[] = L"FTP сервер";
inline constexpr wchar_t kTabGui[] = L"GUI";
inline constexpr wchar_t kFileWithTime[] = L"Файл со временем (FILE_WITH_TIME)";
inline constexpr wchar_t kLabel1[] = L"Время выдаваемое пользователю на регистрацию";
inline constexpr wchar_t kShowVars[] = L"Показывать в логе значения переменных (для отладки)";
inline constexpr wchar_t kDefaultTime[] = L"Время пользователя по умолчанию (DEFAULT_TIME)";
inline constexpr wchar_t kUsersFolder[] = L"Папка с данными юзеров (USERS_FOLDER)";
inline constexpr wchar_t kLabel6[] = L"Внимание !!! Сначала убедитесь, что папка существует !!!";
inline constexpr wchar_t kLogPath[] = L"Путь к папке с логами (LOG_PATH)";
inline constexpr wchar_t kLogEnabled[] = L"Вести лог-файлы";
inline constexpr wchar_t kLogScreenEnabled[] = L"Вести экранный лог";
inline constexpr wchar_t kLogFileEnabled[] = L"Вести файловый лог";
inline constexpr wchar_t kLabel2[] =
    L"Внимание !!! Настройки этого раздела будут иметь смысл только в том случае если у вас "
    L"установлен BPFTPServer (или его старая версия G6FTP) + он установлен в системе как сервис.";
inline constexpr wchar_t kCheckBox1[] = L"Включить заведение аккаунтов на FTP";
inline constexpr wchar_t kFtpIniFile[] = L"Положение файла users.ini (FTP_INI_FILE)";
inline constexpr wchar_t kFtpServiceName[] = L"Имя службы (сервиса) FTP (FTP_SERVICE_NAME)";
inline constexpr wchar_t kFtpDefaultCredit[] = L"Кредит юзера по умолчанию (FTP_DEFAULT_CREDIT)";
inline constexpr wchar_t kFtpDefRoot[] = L"Корневой каталог FTP сервера (FTP_DEF_ROOT)";
inline constexpr wchar_t kFtpDefRootHint[] =
    L"Здесь нужно указать путь к каталогу, доступ к которому будет предоставляться новому "
    L"зарегистрированному пользователю";
inline constexpr wchar_t kFtpDefUpload[] = L"Папка UPLOAD на FTP (FTP_DEF_UPLOAD)";
inline constexpr wchar_t kLabel3[] = L"Отношение UL / DL:";
inline constexpr wchar_t kCheckWorkTime[] = L"Отключить наблюдение за временем";
inline constexpr wchar_t kLabel4[] = L"Время работы: с";
inline constexpr wchar_t kLabel5[] = L"до 0 и с 0 до";

// User information dialog (TForm2): captions joined with the record's lines.
inline constexpr wchar_t kUserInfoCaption[] = L"Информация о пользователе ...";
inline constexpr char kNick[] = "НИК: ";
inline constexpr char kPassword[] = "ПАРОЛЬ: ";
inline constexpr char kLimit[] = "ЛИМИТ: ";
inline constexpr char kFirstName[] = "ИМЯ: ";
inline constexpr char kSurname[] = "ФАМИЛИЯ: ";
inline constexpr char kAge[] = "ВОЗРАСТ: ";
inline constexpr char kPlaceOfStudy[] = "МЕСТО УЧЕБЫ: ";
inline constexpr char kPhone[] = "ТЕЛЕФОН: ";
inline constexpr char kEmail[] = "E-MAIL: ";
inline constexpr char kIcq[] = "ICQ: ";

// About box (TForm4).
inline constexpr wchar_t kAboutCaption[] = L"О программе \"RA DIVAD IROR\" v0.1";
inline constexpr wchar_t kAboutText[] =
    L"RA DIVAD IROR, версия 0.1\r\n\r\n"
    L"Консоль администратора шлюза удаленного доступа. Раз в секунду показывает "
    L"состояние служб удаленного доступа и FTP, текущего пользователя, остаток "
    L"его времени и сегодняшний лог модуля dialgate; в рабочие часы включает "
    L"службу удаленного доступа, вне их выключает.";
inline constexpr wchar_t kAboutOk[] = L"OK";  // Latin letters
// The help file beside the console.
inline constexpr char kHelpFileName[] = "qv_admin.chm";

}  // namespace dialog_text

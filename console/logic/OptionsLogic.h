// What the settings, user information and About dialogs decide, apart from
// the windows: which keys they read and write in which order, how a control's
// text becomes a whole number, what the user fields show, where the help is.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The dialog's whole-number rule is the INI file's: blanks, a sign, decimal,
// or hexadecimal after "$", "x" or "0x"; the whole text must be the number.
bool DialogIntFromText(std::string_view text, int32_t& value);

enum class SettingKind {
    Text,           // shown and written as typed
    Integer,        // read as a number, shown as decimal, written converted
    IntegerAsText,  // DEFAULT_TIME: read and shown as stored, written converted
    Switch,         // a check box: "1" or "0"
};

struct SettingKey {
    const char* section;
    const char* key;
    SettingKind kind;
    const char* shownWhenMissing;  // text, number or "1"/"0"
};

// The keys in the one order in which the dialog fills its controls and OK
// writes them: [OPTIONS], [LOG], [FTP], [PHP], [GUI], so a missing file gets
// its sections in that order. FTP_ACCOUNTING_ENABLED (the FTP tab's
// CheckBox1) comes after FTP_DEF_RATIO_DOWN.
const std::vector<SettingKey>& SettingsKeys();

// What a control holds: the text of a field, or the state of a check box.
struct ControlValue {
    std::string text;
    bool checked = false;
};

// The fallback to hand to the profile read, and what the control shows for
// the text that read returned.
const char* ReadFallback(const SettingKey& key);
ControlValue ShownValue(const SettingKey& key, std::string_view read);

struct IniWrite {
    const char* section;
    const char* key;
    std::string value;
};

// The keys OK writes, in order, up to the first whole-number control whose
// text is not a whole number; that text is kept to be reported.
struct SettingsWritePlan {
    std::vector<IniWrite> writes;
    bool stopped = false;
    std::string badText;
};
SettingsWritePlan PlanSettingsWrite(const std::function<ControlValue(const SettingKey&)>& controlValue);

// The working hours OK hands to the main window.
struct WorkingHours {
    bool disabled = false;
    int32_t begin = 23;
    int32_t end = 7;
};
// From a complete plan; false for a plan that stopped.
bool WorkingHoursOf(const SettingsWritePlan& plan, WorkingHours& hours);

// "'%s' is not a valid integer value" and the like, filled without using the
// outside text as a format.
std::string FillPercentS(std::string_view pattern, std::string_view value);

// A spinner's arrow or Up/Down key: one more or one less. A text that is not
// a whole number counts as 0; the 32-bit limits are not passed.
std::string SpinStep(std::string_view text, int direction);

// The user information dialog's ten fields, StaticText1 to StaticText10:
// caption and blank, then lines 1 to 10 of the current-user record as read.
// A line the record does not have leaves the caption alone.
constexpr size_t kUserInfoFields = 10;
std::array<std::string, kUserInfoFields> UserInfoFieldTexts(const std::vector<std::string>& lines);

// The help file beside the program: its folder (up to the last backslash,
// kept) followed by "qv_admin.chm".
std::string HelpFilePath(std::string_view programFile);

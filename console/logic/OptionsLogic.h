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

#include "ConfigKeys.h"

// The dialog's whole-number rule is the INI file's: blanks, a sign, decimal,
// or hexadecimal after "$", "x" or "0x"; the whole text must be the number.
bool DialogIntFromText(std::string_view text, int32_t& value);

// The keys in the one order in which the dialog fills its controls and OK
// writes them: [OPTIONS], [LOG], [FTP], [PHP], [GUI], so a missing file gets
// its sections in that order. FTP_ACCOUNTING_ENABLED (the FTP tab's
// CheckBox1) comes after FTP_DEF_RATIO_DOWN.
const std::vector<ConfigKey>& SettingsKeys();

// What a control holds: the text of a field, or the state of a check box.
struct ControlValue {
    std::string text;
    bool checked = false;
};

// The fallback to hand to the profile read, and what the control shows for
// the text that read returned.
const char* ReadFallback(const ConfigKey& key);
ControlValue ShownValue(const ConfigKey& key, std::string_view read);

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
SettingsWritePlan PlanSettingsWrite(const std::function<ControlValue(const ConfigKey&)>& controlValue);

// The working hours OK hands to the main window.
struct WorkingHours {
    bool disabled = ConfigDefaultOn(config_key::kDisableCheckWorkTime.dialogDefault);
    int32_t begin = ConfigDefaultNumber(config_key::kTimeBegin.dialogDefault);
    int32_t end = ConfigDefaultNumber(config_key::kTimeEnd.dialogDefault);
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

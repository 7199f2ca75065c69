#include "OptionsLogic.h"

#include <limits>

#include "DialogTexts.h"
#include "IniFormat.h"

bool DialogIntFromText(std::string_view text, int32_t& value) { return ParseIniInt(text, value); }

using K = ConfigKind;
using namespace config_key;

const std::vector<ConfigKey>& SettingsKeys() {
    static const std::vector<ConfigKey> keys{
        kFileWithTime,    kTimeForReg,     kShowVars,       kLogPath,
        kLogScreenEnabled, kLogFileEnabled, kLogEnabled,     kFtpServiceName,
        kFtpIniFile,      kFtpDefaultCredit, kFtpDefRoot,   kFtpDefUpload,
        kFtpDefRatioUp,   kFtpDefRatioDown, kFtpAccountingEnabled, kDefaultTime,
        kUsersFolder,     kDisableCheckWorkTime, kTimeBegin, kTimeEnd,
    };
    return keys;
}

const char* ReadFallback(const ConfigKey& key) {
    // Numbers and switches are read as text and judged here, so that an empty
    // or wordy value gives the default just as a missing one does.
    return key.kind == K::Text || key.kind == K::IntegerAsText ? key.dialogDefault : "";
}

ControlValue ShownValue(const ConfigKey& key, std::string_view read) {
    ControlValue shown;
    switch (key.kind) {
        case K::Text:
        case K::IntegerAsText: shown.text = std::string(read); break;
        case K::Integer: {
            int32_t fallback = 0;
            ParseIniInt(key.dialogDefault, fallback);
            shown.text = IniIntText(IniIntOr(read, fallback));
            break;
        }
        case K::Switch: shown.checked = IniBoolOr(read, key.dialogDefault[0] == '1'); break;
    }
    return shown;
}

SettingsWritePlan PlanSettingsWrite(const std::function<ControlValue(const ConfigKey&)>& controlValue) {
    SettingsWritePlan plan;
    for (const ConfigKey& key : SettingsKeys()) {
        const ControlValue value = controlValue(key);
        std::string written;
        switch (key.kind) {
            case K::Text: written = value.text; break;
            case K::Integer:
            case K::IntegerAsText: {
                int32_t number = 0;
                if (!DialogIntFromText(value.text, number)) {
                    plan.stopped = true;
                    plan.badText = value.text;
                    return plan;
                }
                written = IniIntText(number);
                break;
            }
            case K::Switch: written = IniBoolText(value.checked); break;
        }
        plan.writes.push_back({key.section, key.key, std::move(written)});
    }
    return plan;
}

bool WorkingHoursOf(const SettingsWritePlan& plan, WorkingHours& hours) {
    if (plan.stopped) return false;
    WorkingHours found;
    int seen = 0;
    for (const IniWrite& w : plan.writes) {
        const std::string_view key = w.key;
        if (key == kDisableCheckWorkTime.key) found.disabled = w.value == "1", ++seen;
        if (key == kTimeBegin.key) seen += ParseIniInt(w.value, found.begin) ? 1 : 0;
        if (key == kTimeEnd.key) seen += ParseIniInt(w.value, found.end) ? 1 : 0;
    }
    if (seen != 3) return false;
    hours = found;
    return true;
}

std::string FillPercentS(std::string_view pattern, std::string_view value) {
    const size_t at = pattern.find("%s");
    if (at == std::string_view::npos) return std::string(pattern);
    std::string filled(pattern.substr(0, at));
    filled += value;
    filled += pattern.substr(at + 2);
    return filled;
}

std::string SpinStep(std::string_view text, int direction) {
    int32_t value = 0;
    if (!DialogIntFromText(text, value)) value = 0;
    if (direction > 0 && value < std::numeric_limits<int32_t>::max()) ++value;
    if (direction < 0 && value > std::numeric_limits<int32_t>::min()) --value;
    return IniIntText(value);
}

std::array<std::string, kUserInfoFields> UserInfoFieldTexts(const std::vector<std::string>& lines) {
    static const char* const kCaptions[kUserInfoFields] = {
        dialog_text::kNick, dialog_text::kPassword, dialog_text::kLimit,         dialog_text::kFirstName,
        dialog_text::kSurname, dialog_text::kAge,   dialog_text::kPlaceOfStudy, dialog_text::kPhone,
        dialog_text::kEmail, dialog_text::kIcq,
    };
    std::array<std::string, kUserInfoFields> fields;
    for (size_t i = 0; i < kUserInfoFields; ++i) {
        fields[i] = kCaptions[i];
        if (i < lines.size()) fields[i] += lines[i];
    }
    return fields;
}

std::string HelpFilePath(std::string_view programFile) {
    const size_t slash = programFile.find_last_of('\\');
    std::string path(slash == std::string_view::npos ? std::string_view() : programFile.substr(0, slash + 1));
    path += dialog_text::kHelpFileName;
    return path;
}

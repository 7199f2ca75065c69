// The dialogs' decisions: the keys and their order, what a control shows for
// a stored value, what OK writes and where it stops, the spinners' step, the
// user fields, the help file's place.
#include <gtest/gtest.h>

#include <map>

#include "OptionsLogic.h"

namespace {

// Controls as filled from a file holding `stored` (key -> value); keys not in
// it are missing.
std::map<std::string, ControlValue> FillFrom(const std::map<std::string, std::string>& stored) {
    std::map<std::string, ControlValue> controls;
    for (const ConfigKey& key : SettingsKeys()) {
        auto it = stored.find(key.key);
        const std::string read = it != stored.end() ? it->second : ReadFallback(key);
        controls[key.key] = ShownValue(key, read);
    }
    return controls;
}

SettingsWritePlan Plan(const std::map<std::string, ControlValue>& controls) {
    return PlanSettingsWrite([&](const ConfigKey& key) { return controls.at(key.key); });
}

std::string Written(const SettingsWritePlan& plan) {
    std::string lines;
    for (const IniWrite& w : plan.writes) lines += std::string(w.section) + "." + w.key + "=" + w.value + "\n";
    return lines;
}

TEST(SettingsKeys, DefaultsOfAMissingFileAreWrittenInSectionOrder) {
    const SettingsWritePlan plan = Plan(FillFrom({}));
    EXPECT_FALSE(plan.stopped);
    EXPECT_EQ(Written(plan),
              "OPTIONS.FILE_WITH_TIME=C:\\VE_DA\\QV_USER_TIME.TXT\n"
              "OPTIONS.TIME_FOR_REG=5\n"
              "OPTIONS.SHOW_VARS=1\n"
              "LOG.LOG_PATH=C:\\VE_DA\\LOGS\\\n"
              "LOG.LOG_SCREEN_ENABLED=1\n"
              "LOG.LOG_FILE_ENABLED=1\n"
              "LOG.LOG_ENABLED=1\n"
              "FTP.FTP_SERVICE_NAME=bpftpserver\n"
              "FTP.FTP_INI_FILE=E:\\server\\bp_ftp_server\\users.ini\n"
              "FTP.FTP_DEFAULT_CREDIT=5000000\n"
              "FTP.FTP_DEF_ROOT=E:\\FTP_ROOT\\\n"
              "FTP.FTP_DEF_UPLOAD=E:\\FTP_ROOT\\UPLOAD\\\n"
              "FTP.FTP_DEF_RATIO_UP=1\n"
              "FTP.FTP_DEF_RATIO_DOWN=3\n"
              "FTP.FTP_ACCOUNTING_ENABLED=1\n"
              "PHP.DEFAULT_TIME=30\n"
              "PHP.USERS_FOLDER=E:\\server\\users\\\n"
              "GUI.DISABLE_CHECK_WORK_TIME=0\n"
              "GUI.TIME_BEGIN=23\n"
              "GUI.TIME_END=7\n");
    WorkingHours hours;
    ASSERT_TRUE(WorkingHoursOf(plan, hours));
    EXPECT_FALSE(hours.disabled);
    EXPECT_EQ(hours.begin, 23);
    EXPECT_EQ(hours.end, 7);
}

TEST(SettingsKeys, StoredValuesAreShownByKind) {
    const auto controls = FillFrom({{"FILE_WITH_TIME", " D:\\t.txt "},
                                    {"TIME_FOR_REG", "0x0A"},
                                    {"FTP_DEFAULT_CREDIT", "ten"},
                                    {"FTP_DEF_RATIO_UP", ""},
                                    {"DEFAULT_TIME", "abc"},
                                    {"LOG_ENABLED", "5"},
                                    {"SHOW_VARS", "word"},
                                    {"LOG_FILE_ENABLED", "0"},
                                    {"FTP_ACCOUNTING_ENABLED", "0"},
                                    {"DISABLE_CHECK_WORK_TIME", "-1"},
                                    {"TIME_BEGIN", " +25"}});
    // Text as stored, blanks included; numbers as decimal, or the default.
    EXPECT_EQ(controls.at("FILE_WITH_TIME").text, " D:\\t.txt ");
    EXPECT_EQ(controls.at("TIME_FOR_REG").text, "10");
    EXPECT_EQ(controls.at("FTP_DEFAULT_CREDIT").text, "5000000");
    EXPECT_EQ(controls.at("FTP_DEF_RATIO_UP").text, "1");
    EXPECT_EQ(controls.at("TIME_BEGIN").text, "25");
    // DEFAULT_TIME is shown exactly as stored, even when it is no number.
    EXPECT_EQ(controls.at("DEFAULT_TIME").text, "abc");
    // Switches: any non-zero number is on, a word gives the default.
    EXPECT_TRUE(controls.at("LOG_ENABLED").checked);
    EXPECT_TRUE(controls.at("SHOW_VARS").checked);
    EXPECT_FALSE(controls.at("LOG_FILE_ENABLED").checked);
    EXPECT_FALSE(controls.at("FTP_ACCOUNTING_ENABLED").checked);
    EXPECT_TRUE(controls.at("DISABLE_CHECK_WORK_TIME").checked);
}

TEST(SettingsKeys, DefaultTimeMissingAndEmptyDiffer) {
    // A missing key shows the default "30"; an empty one is shown empty and
    // then stops OK at its turn.
    const ConfigKey* defaultTime = nullptr;
    for (const ConfigKey& key : SettingsKeys())
        if (std::string(key.key) == "DEFAULT_TIME") defaultTime = &key;
    ASSERT_NE(defaultTime, nullptr);
    EXPECT_STREQ(ReadFallback(*defaultTime), "30");
    EXPECT_EQ(ShownValue(*defaultTime, "").text, "");
}

TEST(SettingsWrite, WholeNumbersAreConvertedByTheIniRule) {
    auto controls = FillFrom({});
    const std::pair<const char*, const char*> cases[] = {
        {"007", "7"}, {"  42", "42"}, {"+5", "5"}, {"-12", "-12"}, {"$1F", "31"}, {"0x10", "16"},
        {"X10", "16"}, {"-2147483648", "-2147483648"}, {"2147483647", "2147483647"},
    };
    for (const auto& [typed, written] : cases) {
        controls["FTP_DEFAULT_CREDIT"].text = typed;
        const SettingsWritePlan plan = Plan(controls);
        ASSERT_FALSE(plan.stopped) << typed;
        EXPECT_EQ(plan.writes[9].value, written) << typed;
    }
}

TEST(SettingsWrite, ATextThatIsNoWholeNumberStopsAtItsTurn) {
    struct Case {
        const char* key;
        const char* text;
        size_t writtenBefore;
    };
    const Case cases[] = {
        {"TIME_FOR_REG", "", 1},            {"FTP_DEFAULT_CREDIT", "5 000", 9},
        {"FTP_DEF_RATIO_UP", "1 ", 12},     {"FTP_DEF_RATIO_DOWN", "2147483648", 13},
        {"DEFAULT_TIME", "abc", 15},        {"TIME_BEGIN", "1.5", 18},
        {"TIME_END", "-", 19},              {"TIME_END", "0x", 19},
    };
    for (const Case& c : cases) {
        auto controls = FillFrom({});
        controls[c.key].text = c.text;
        const SettingsWritePlan plan = Plan(controls);
        EXPECT_TRUE(plan.stopped) << c.key << "=" << c.text;
        EXPECT_EQ(plan.badText, c.text);
        ASSERT_EQ(plan.writes.size(), c.writtenBefore) << c.key << "=" << c.text;
        WorkingHours hours{true, 1, 2};
        EXPECT_FALSE(WorkingHoursOf(plan, hours));
        EXPECT_TRUE(hours.disabled);
        EXPECT_EQ(hours.begin, 1);
    }
}

TEST(SettingsWrite, TextsAreWrittenAsTypedAndHoursHandedOverUnchecked) {
    auto controls = FillFrom({});
    controls["USERS_FOLDER"].text = " E:\\data";  // no final backslash added, nothing trimmed
    controls["TIME_BEGIN"].text = "25";
    controls["TIME_END"].text = "-3";
    controls["DISABLE_CHECK_WORK_TIME"].checked = true;
    controls["FTP_ACCOUNTING_ENABLED"].checked = false;
    const SettingsWritePlan plan = Plan(controls);
    ASSERT_FALSE(plan.stopped);
    EXPECT_EQ(plan.writes[16].value, " E:\\data");
    EXPECT_EQ(plan.writes[14].value, "0");
    EXPECT_EQ(plan.writes[17].value, "1");
    EXPECT_EQ(plan.writes[18].value, "25");
    WorkingHours hours;
    ASSERT_TRUE(WorkingHoursOf(plan, hours));
    EXPECT_TRUE(hours.disabled);
    EXPECT_EQ(hours.begin, 25);
    EXPECT_EQ(hours.end, -3);
}

TEST(SettingsWrite, MessagesAreFilledWithoutFormatting) {
    EXPECT_EQ(FillPercentS("'%s' is not a valid integer value", "abc"), "'abc' is not a valid integer value");
    // Outside text with format characters stays as it is.
    EXPECT_EQ(FillPercentS("'%s' is not a valid integer value", "%s%n%d"), "'%s%n%d' is not a valid integer value");
    EXPECT_EQ(FillPercentS("Unable to write to %s", "C:\\Программы\\qv_config.ini"),
              "Unable to write to C:\\Программы\\qv_config.ini");
}

TEST(Spinner, MovesByOneWithoutBounds) {
    EXPECT_EQ(SpinStep("5", +1), "6");
    EXPECT_EQ(SpinStep("5", -1), "4");
    EXPECT_EQ(SpinStep("0", -1), "-1");
    EXPECT_EQ(SpinStep("-1", +1), "0");
    EXPECT_EQ(SpinStep("007", +1), "8");
    EXPECT_EQ(SpinStep("0x10", +1), "17");
    EXPECT_EQ(SpinStep("100000", +1), "100001");
    // A text that is no number counts as 0.
    EXPECT_EQ(SpinStep("abc", +1), "1");
    EXPECT_EQ(SpinStep("", -1), "-1");
    // The file's integers are 32-bit: the step stops at their limits.
    EXPECT_EQ(SpinStep("2147483647", +1), "2147483647");
    EXPECT_EQ(SpinStep("-2147483648", -1), "-2147483648");
    EXPECT_EQ(SpinStep("2147483647", -1), "2147483646");
}

TEST(UserInfoFields, TenLinesFillBothColumnsInOrder) {
    const std::vector<std::string> lines{"ivan", "qw&rty", "45", "Иван", "Петров", "19", "МГУ", "5551234",
                                         "ivan@example.org", "123456"};
    const auto fields = UserInfoFieldTexts(lines);
    const char* const expected[] = {"НИК: ivan",       "ПАРОЛЬ: qw&rty", "ЛИМИТ: 45",
                                    "ИМЯ: Иван",       "ФАМИЛИЯ: Петров", "ВОЗРАСТ: 19",
                                    "МЕСТО УЧЕБЫ: МГУ", "ТЕЛЕФОН: 5551234", "E-MAIL: ivan@example.org",
                                    "ICQ: 123456"};
    for (size_t i = 0; i < kUserInfoFields; ++i) EXPECT_EQ(fields[i], expected[i]) << i;
}

TEST(UserInfoFields, ExtraLinesAreIgnoredMissingAndEmptyOnesLeaveTheCaption) {
    std::vector<std::string> eleven(11, "x");
    eleven[9] = "icq";
    eleven[10] = "eleventh";
    auto fields = UserInfoFieldTexts(eleven);
    EXPECT_EQ(fields[9], "ICQ: icq");
    for (const std::string& f : fields) EXPECT_EQ(f.find("eleventh"), std::string::npos);

    fields = UserInfoFieldTexts({"ivan", "", "60"});
    EXPECT_EQ(fields[0], "НИК: ivan");
    EXPECT_EQ(fields[1], "ПАРОЛЬ: ");
    EXPECT_EQ(fields[2], "ЛИМИТ: 60");
    EXPECT_EQ(fields[3], "ИМЯ: ");
    EXPECT_EQ(fields[9], "ICQ: ");

    fields = UserInfoFieldTexts({});
    EXPECT_EQ(fields[0], "НИК: ");
}

TEST(HelpFile, LiesInTheProgramsFolder) {
    EXPECT_EQ(HelpFilePath("C:\\Tools\\portwatch.exe"), "C:\\Tools\\qv_admin.chm");
    EXPECT_EQ(HelpFilePath("C:\\portwatch.exe"), "C:\\qv_admin.chm");
    EXPECT_EQ(HelpFilePath("\\\\server\\share\\a.b\\portwatch.exe"), "\\\\server\\share\\a.b\\qv_admin.chm");
    EXPECT_EQ(HelpFilePath("portwatch.exe"), "qv_admin.chm");
}

}  // namespace

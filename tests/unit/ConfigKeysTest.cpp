// The table of configuration keys: every default reads by the file's own
// rules as what the records start from, and no key stands twice.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ConfigKeys.h"
#include "IniFormat.h"

namespace {

const ConfigReader kReaders[] = {ConfigReader::Plugin, ConfigReader::MainWindow, ConfigReader::SettingsDialog};

}  // namespace

TEST(ConfigKeys, EachDefaultReadsByTheFileRulesAsTheRecordsStartFromIt) {
    for (const ConfigKey* key : config_key::kAll) {
        for (ConfigReader reader : kReaders) {
            const char* text = key->DefaultFor(reader);
            if (!text) continue;
            int32_t parsed = 0;
            switch (key->kind) {
                case ConfigKind::Text: break;
                case ConfigKind::Integer:
                case ConfigKind::IntegerAsText:
                    ASSERT_TRUE(ParseIniInt(text, parsed)) << key->key << "=" << text;
                    EXPECT_EQ(ConfigDefaultNumber(text), parsed) << key->key;
                    EXPECT_EQ(IniIntText(parsed), text) << key->key << ": written back as stored";
                    break;
                case ConfigKind::Switch:
                    EXPECT_TRUE(std::string(text) == "1" || std::string(text) == "0") << key->key << "=" << text;
                    EXPECT_EQ(ConfigDefaultOn(text), IniBoolOr(text, !ConfigDefaultOn(text))) << key->key;
                    break;
            }
        }
    }
}

TEST(ConfigKeys, EachKeyStandsOnceAndSomeoneReadsIt) {
    std::set<std::string> seen;
    for (const ConfigKey* key : config_key::kAll) {
        EXPECT_TRUE(seen.insert(std::string(key->section) + "." + key->key).second) << key->key;
        EXPECT_TRUE(key->pluginDefault || key->mainWindowDefault || key->dialogDefault) << key->key;
    }
}

TEST(ConfigKeys, DefaultNumbersCoverTheSignAndTheAbsentReader) {
    EXPECT_EQ(ConfigDefaultNumber("5000000"), 5000000);
    EXPECT_EQ(ConfigDefaultNumber("-7"), -7);
    EXPECT_EQ(ConfigDefaultNumber(nullptr), 0);
    EXPECT_FALSE(ConfigDefaultOn(nullptr));
    static_assert(ConfigDefaultNumber("23") == 23, "usable where the records start");
}

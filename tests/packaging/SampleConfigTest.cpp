// The sample qv_config.ini as the profile functions read it: every key of the
// system with the plug-in's default (the settings dialog's for the keys the
// plug-in does not read), nothing else, and comments that no reader mistakes
// for keys or values.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string gSample;  // Windows path of packaging\qv_config.ini

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

using Section = std::map<std::string, std::string>;

const std::map<std::string, Section> kExpected = {
    {"OPTIONS",
     {{"FILE_WITH_TIME", "C:\\VE_DA\\QV_USER_TIME.TXT"}, {"TIME_FOR_REG", "5"}, {"SHOW_VARS", "1"}}},
    {"LOG",
     {{"LOG_PATH", "C:\\VE_DA\\LOGS\\"},
      {"LOG_SCREEN_ENABLED", "1"},
      {"LOG_FILE_ENABLED", "1"},
      {"LOG_ENABLED", "1"},
      {"LOG_DATE", "1"},
      {"LOG_TIME", "1"}}},
    {"FTP",
     {{"FTP_ACCOUNTING_ENABLED", "1"},
      {"FTP_SERVICE_NAME", "bpftpserver"},
      {"FTP_INI_FILE", "E:\\server\\bp_ftp_server\\users.ini"},
      {"FTP_DEFAULT_CREDIT", "5000000"},
      {"FTP_DEF_ROOT", "E:\\FTP_ROOT\\"},
      {"FTP_DEF_UPLOAD", "E:\\FTP_ROOT\\UPLOAD\\"},
      {"FTP_DEF_RATIO_UP", "1"},
      {"FTP_DEF_RATIO_DOWN", "3"}}},
    {"PHP", {{"USERS_FOLDER", "E:\\server\\users\\"}, {"DEFAULT_TIME", "30"}}},
    {"GUI", {{"DISABLE_CHECK_WORK_TIME", "0"}, {"TIME_BEGIN", "23"}, {"TIME_END", "7"}}},
};

// The section's lines as GetPrivateProfileSectionA hands them out.
std::vector<std::string> SectionLines(const std::string& section) {
    std::vector<char> buffer(32768);
    const DWORD n = GetPrivateProfileSectionA(section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              gSample.c_str());
    std::vector<std::string> lines;
    for (DWORD at = 0; at < n && buffer[at];) {
        lines.emplace_back(&buffer[at]);
        at += static_cast<DWORD>(lines.back().size()) + 1;
    }
    return lines;
}

TEST(SampleConfig, ListsExactlyTheSectionsOfTheSystem) {
    std::vector<char> buffer(4096);
    const DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()), gSample.c_str());
    std::vector<std::string> names;
    for (DWORD at = 0; at < n && buffer[at];) {
        names.emplace_back(&buffer[at]);
        at += static_cast<DWORD>(names.back().size()) + 1;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"OPTIONS", "LOG", "FTP", "PHP", "GUI"}));
}

TEST(SampleConfig, EveryKeyReadsAsItsDefault) {
    for (const auto& [section, keys] : kExpected)
        for (const auto& [key, value] : keys) {
            char got[2048];
            GetPrivateProfileStringA(section.c_str(), key.c_str(), "<missing>", got, sizeof got, gSample.c_str());
            EXPECT_EQ(std::string(got), value) << "[" << section << "] " << key;
        }
}

TEST(SampleConfig, HoldsNoOtherKeys) {
    // A comment that a reader took for a key would show up here.
    for (const auto& [section, keys] : kExpected) {
        std::vector<std::string> expected;
        for (const auto& [key, value] : keys) expected.push_back(key + "=" + value);
        std::vector<std::string> got = SectionLines(section);
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << "[" << section << "]";
    }
}

TEST(SampleConfig, IsWindows1251WithCrLfAndWholeLineComments) {
    const std::string bytes = ReadFile(gSample);
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "a UTF-8 byte-order mark";
    // The literal is compiled to Windows-1251.
    EXPECT_NE(bytes.find("Кодировка Windows-1251"), std::string::npos) << "the comments are not Windows-1251 text";
    size_t lineNo = 0;
    for (size_t at = 0; at < bytes.size();) {
        const size_t lf = bytes.find('\n', at);
        ASSERT_NE(lf, std::string::npos) << "the last line has no line end";
        ++lineNo;
        ASSERT_TRUE(lf > at && bytes[lf - 1] == '\r') << "line " << lineNo << " does not end in CR LF";
        const std::string line = bytes.substr(at, lf - 1 - at);
        if (!line.empty() && line[0] == ';') {
            EXPECT_EQ(line.find('='), std::string::npos) << "line " << lineNo << ": a comment with '='";
        } else if (!line.empty() && line[0] != '[') {
            EXPECT_EQ(line.find(';'), std::string::npos) << "line " << lineNo << ": a comment after a value";
        }
        at = lf + 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: sample_config_tests QV_CONFIG_INI\n");
        return 2;
    }
    gSample = argv[1];
    return RUN_ALL_TESTS();
}

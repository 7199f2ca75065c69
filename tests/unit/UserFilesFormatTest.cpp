#include "UserFilesFormat.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Split(std::string_view text, size_t maxLines = 100, size_t maxLineBytes = 1000,
                               size_t chunk = 0) {
    LineSplitter s(maxLines, maxLineBytes);
    if (chunk == 0) {
        s.Feed(text);
    } else {
        for (size_t i = 0; i < text.size(); i += chunk)
            if (!s.Feed(text.substr(i, chunk))) break;
    }
    s.Finish();
    return s.Lines();
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(UserFileNames, FolderIsAPlainPrefix) {
    EXPECT_EQ(CurrentUserFileName("E:\\server\\users\\"), "E:\\server\\users\\current.user");
    EXPECT_EQ(CurrentUserFileName("E:\\data"), "E:\\datacurrent.user");
    EXPECT_EQ(CurrentUserOpFileName("E:\\u\\"), "E:\\u\\current.userop");
    EXPECT_EQ(UserProfileFileName("E:\\u\\", "ivan"), "E:\\u\\_ivan.txt");
    EXPECT_EQ(UserProfileFileName("E:\\u\\", ""), "E:\\u\\_.txt");
}

TEST(UserRecordHead, OrdinaryRecordWithCrLfOrLf) {
    const std::string crlf = "student\r\nsecret\r\n60\r\nИван\r\n";
    const std::string lf = "student\nsecret\n60\nИван\n";
    for (const std::string& file : {crlf, lf}) {
        const UserRecordHead h = ParseUserRecordHead(file);
        EXPECT_EQ(h.user, "student");
        EXPECT_EQ(h.password, "secret");
        EXPECT_EQ(h.limitText, "60");
    }
}

// Each field is taken from its own line, the lines ended as the list reader
// ends them, and cut at its bound: a long line never runs on into the next field.
TEST(UserRecordHead, EachFieldComesFromItsOwnLine) {
    const std::string p29(29, 'p'), v29(29, 'v');
    for (const std::vector<std::string>& c :
         {std::vector<std::string>{"ivan\r\n" + p29 + "9999\r\n5\r\n", "ivan", p29, "5"},
          {v29 + "vvvvvv\r\npw\r\n60\r\n", v29, "pw", "60"}, {"student\rsecret\r60\r", "student", "secret", "60"},
          {"a\rb\r\npw\x1a\r\n60\r\n", "a", "b", "pw\x1a"}, {"u\r\np\r\n12345\r\n", "u", "p", "1234"}}) {
        const UserRecordHead h = ParseUserRecordHead(c[0]);
        EXPECT_EQ((std::vector<std::string>{c[0], h.user, h.password, h.limitText}), c);
    }
}

TEST(UserRecordHead, MissingLinesAreEmpty) {
    UserRecordHead h = ParseUserRecordHead("");
    EXPECT_EQ(h.user, "");
    EXPECT_EQ(h.password, "");
    EXPECT_EQ(h.limitText, "");
    h = ParseUserRecordHead("ivan\r\n");
    EXPECT_EQ(h.user, "ivan");
    EXPECT_EQ(h.password, "");
    h = ParseUserRecordHead("ivan\r\npw\r\n30");
    EXPECT_EQ(h.limitText, "30");
}

TEST(UserRecordHead, BinaryBytesStayWithinTheBounds) {
    std::string junk;
    for (int i = 0; i < 1000; ++i) junk += static_cast<char>((i * 37) & 0xff);
    const UserRecordHead h = ParseUserRecordHead(junk);
    EXPECT_LE(h.user.size(), 29u);
    EXPECT_LE(h.password.size(), 29u);
    EXPECT_LE(h.limitText.size(), 4u);
}

// A record whose third line has ended (at CR LF, LF or CR) or holds the
// limit's four characters is taken at once; one short of that once it has
// stayed the same for a second; an empty file never.
TEST(RecordWatch, TakesAWholeRecordAtOnceAndAnUnfinishedOneASecondLater) {
    for (const char* whole : {"ivan\npw\n1\n", "ivan\rpw\r60\r", "ivan\r\npw\r\n\r", "ivan\r\npw\r\n1234"})
        EXPECT_TRUE(RecordWatch().Take(whole, true, 0)) << whole;
    for (const char* unfinished : {"ivan\r\n", "ivan\r\npw\r", "ivan\r\npw\r\n123"}) {
        RecordWatch watch;
        EXPECT_FALSE(watch.Take(unfinished, true, 0) || watch.Take(unfinished, true, kRecordSettleMs - 1)) << unfinished;
        EXPECT_TRUE(watch.Take(unfinished, true, kRecordSettleMs)) << unfinished;
    }
    RecordWatch watch;  // an empty file is never a record; each change starts the second anew
    EXPECT_FALSE(watch.Take("", true, 0) || watch.Take("", true, 2000));
    EXPECT_FALSE(watch.Take("ivan\r\n", true, 2000) || watch.Take("ivan\r\npw\r\n", true, 2500));
    EXPECT_FALSE(watch.Take("ivan\r\npw\r\n", true, 3000));
    EXPECT_TRUE(watch.Take("ivan\r\npw\r\n", true, 3500));
}

TEST(LeadingNumber, TakesTheLeadingDigits) {
    EXPECT_EQ(LeadingNumber("60"), 60);
    EXPECT_EQ(LeadingNumber(" 45"), 45);
    EXPECT_EQ(LeadingNumber("-5"), -5);
    EXPECT_EQ(LeadingNumber("+7"), 7);
    EXPECT_EQ(LeadingNumber("12ab"), 12);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("0"), 0);
    EXPECT_EQ(LeadingNumber("- 5"), 0);
    EXPECT_EQ(LeadingNumber("99999999999999"), INT32_MAX);
}

TEST(LineSplitter, EveryLineEndCounts) {
    EXPECT_EQ(Split("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(Split("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(Split(""), Lines{});
    EXPECT_EQ(Split("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(Split("a\r\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(Split("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(Split("  x  \r\n"), (Lines{"  x  "}));
}

TEST(LineSplitter, ChunkBoundariesDoNotMatter) {
    const std::string text = "line1\r\nline2\rline3\nline4\r\n\r\nlast";
    const Lines whole = Split(text);
    for (size_t chunk = 1; chunk <= 8; ++chunk) EXPECT_EQ(Split(text, 100, 1000, chunk), whole) << chunk;
}

TEST(LineSplitter, StopsAtTheLineAndByteCaps) {
    EXPECT_EQ(Split("1\n2\n3\n4\n5\n", 3), (Lines{"1", "2", "3"}));
    LineSplitter s(2, 1000);
    EXPECT_TRUE(s.Feed("a\n"));
    EXPECT_FALSE(s.Feed("b\nc\n"));
    EXPECT_EQ(Split(std::string(50, 'x') + "\nshort", 10, 8), (Lines{"xxxxxxxx", "short"}));
}

TEST(LineOrEmpty, MissingLinesAreEmpty) {
    const Lines lines{"a", "b"};
    EXPECT_EQ(LineOrEmpty(lines, 1), "a");
    EXPECT_EQ(LineOrEmpty(lines, 2), "b");
    EXPECT_EQ(LineOrEmpty(lines, 3), "");
    EXPECT_EQ(LineOrEmpty(lines, 0), "");
}

TEST(TimeFile, WrittenAsDigitsAndTwoLineEnds) {
    EXPECT_EQ(TimeFileText(1800), "1800\r\n\r\n");
    EXPECT_EQ(TimeFileText(1), "1\r\n\r\n");
    EXPECT_EQ(TimeFileText(128849018820LL), "128849018820\r\n\r\n");
}

TEST(TimeFile, ConsoleShowsNineCharactersOfTheFirstLine) {
    EXPECT_EQ(TimeFileHead("300\r\n\r\n"), "300");
    EXPECT_EQ(TimeFileHead("1234567890123\r\n"), "123456789");
    EXPECT_EQ(TimeFileHead(""), "");
    EXPECT_EQ(TimeFileHead("\r\n"), "");
    EXPECT_EQ(TimeFileHead("12"), "12");
}

// What the administrator reads, held against the system's own texts, as the
// headers that hold them say them:
// - every line the plug-in can log has an entry on the help's log page, and
//   every text the console shows lies somewhere in the help;
// - every text of the system that the acceptance test (docs/WINDOWS*.md)
//   quotes is one the system has.
// The headers are read as source, so a text added to them tomorrow is checked
// without a change here.
//
// A text with a variable part is matched by its fixed parts: "%s", "%d", "%u"
// and anything between two literals (a macro) are the variable parts, and
// blanks, line ends and commas at a text's ends do not count. So
// "Продолжительность соединения: " is found in "Продолжительность соединения:
// N", and "Unable to write to %s" in "Unable to write to ...". In the help the
// fixed parts must follow each other closely (kGapBytes); in a quote the
// variable parts may hold anything, and whatever follows a whole text must be
// free of Cyrillic or be a text of the system itself ("RAS сервер: включен").
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "CodePage.h"
#include "HelpProject.h"
#include "TestSupport.h"

namespace {

std::string gSourceRoot;  // Windows path of the source tree, with its final backslash

// How far apart the fixed parts of one text may lie in the help.
constexpr size_t kGapBytes = 80;

struct SystemText {
    std::string name;    // "log_text::kDuration", "text::kServiceStates[1]"
    std::string header;  // "common/LogTexts.h"
    std::vector<std::string> parts;  // the fixed parts, UTF-8, in order
    bool variableFirst = false;      // a variable part comes before the first fixed one
};

// --- The headers ------------------------------------------------------------

struct Token {
    enum Kind { Word, Literal, Mark } kind;
    std::string text;  // a literal's content, escapes decoded
};

std::string DecodeEscapes(std::string_view body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

// Words, string literals (any prefix: L, u8) and single marks; comments skipped.
std::vector<Token> Tokenize(std::string_view src) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < src.size();) {
        const char c = src[i];
        if (src.compare(i, 2, "//") == 0) {
            i = src.find('\n', i);
            if (i == std::string_view::npos) break;
        } else if (src.compare(i, 2, "/*") == 0) {
            i = src.find("*/", i);
            if (i == std::string_view::npos) break;
            i += 2;
        } else if (c == '"') {
            size_t end = i + 1;
            while (end < src.size() && src[end] != '"') end += src[end] == '\\' ? 2 : 1;
            tokens.push_back({Token::Literal, DecodeEscapes(src.substr(i + 1, end - i - 1))});
            i = end + 1;
        } else if (isalnum(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = i;
            while (end < src.size() && (isalnum(static_cast<unsigned char>(src[end])) || src[end] == '_')) ++end;
            const std::string word(src.substr(i, end - i));
            // The prefix of a literal belongs to it.
            if (end < src.size() && src[end] == '"' && (word == "L" || word == "u8")) {
                i = end;
                continue;
            }
            tokens.push_back({Token::Word, word});
            i = end;
        } else if (isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else {
            tokens.push_back({Token::Mark, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

// Line ends and runs of blanks become one blank, as the help's HTML reads them.
std::string CollapseBlanks(std::string_view s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (blank && !out.empty() && out.back() == ' ') continue;
        out += blank ? ' ' : c;
    }
    return out;
}

std::string Trim(std::string_view s, std::string_view chars = " ,") {
    const size_t from = s.find_first_not_of(chars);
    if (from == std::string_view::npos) return std::string();
    return std::string(s.substr(from, s.find_last_not_of(chars) - from + 1));
}

// "%s", "%d" or "%u" at that place of a literal.
bool IsConversion(std::string_view literal, size_t at) {
    return literal[at] == '%' && at + 1 < literal.size() &&
           std::string_view("sdu").find(literal[at + 1]) != std::string_view::npos;
}

// One text from the tokens of one element of an initializer.
SystemText TextOf(const std::vector<Token>& element) {
    // The fixed parts, with a new one begun wherever a variable part stands.
    std::vector<std::string> raw(1);
    bool any = false;
    for (const Token& t : element) {
        if (t.kind != Token::Literal) {
            raw.emplace_back();
            continue;
        }
        any = true;
        for (size_t i = 0; i < t.text.size(); ++i) {
            if (IsConversion(t.text, i)) {
                raw.emplace_back();
                ++i;
            } else if (t.text[i] == '&' && i + 1 < t.text.size()) {
                // A control's access key: shown underlined, without the "&" ("&&" shows one).
                raw.back() += t.text[++i];
            } else {
                raw.back() += t.text[i];
            }
        }
    }
    SystemText text;
    if (!any) return text;
    for (const std::string& r : raw) {
        const std::string part = Trim(CollapseBlanks(r));
        if (!part.empty()) text.parts.push_back(part);
    }
    text.variableFirst = raw.size() > 1 && Trim(CollapseBlanks(raw.front())).empty();
    return text;
}

// Every string constant of a texts header: each `kName = ...;`, an array's
// elements one by one.
std::vector<SystemText> ReadTexts(const std::string& header) {
    const std::vector<Token> tokens = Tokenize(ReadAll(gSourceRoot + header));
    std::vector<SystemText> texts;
    std::string space, name;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Word && t.text == "namespace" && i + 1 < tokens.size()) space = tokens[i + 1].text;
        if (t.kind == Token::Word && t.text.size() > 1 && t.text[0] == 'k') name = t.text;
        if (t.kind != Token::Mark || t.text != "=") continue;
        std::vector<std::vector<Token>> elements(1);
        int depth = 0;
        for (++i; i < tokens.size() && !(tokens[i].kind == Token::Mark && tokens[i].text == ";"); ++i) {
            const Token& e = tokens[i];
            if (e.kind == Token::Mark && e.text == "{") {
                ++depth;
            } else if (e.kind == Token::Mark && e.text == "}") {
                --depth;
            } else if (e.kind == Token::Mark && e.text == "," && depth == 1) {
                elements.emplace_back();
            } else {
                elements.back().push_back(e);
            }
        }
        const bool array = elements.size() > 1;
        for (size_t n = 0; n < elements.size(); ++n) {
            SystemText text = TextOf(elements[n]);
            if (text.parts.empty()) continue;
            text.name = space + "::" + name + (array ? "[" + std::to_string(n) + "]" : "");
            text.header = header;
            texts.push_back(text);
        }
    }
    return texts;
}

const char* const kLogHeader = "common/LogTexts.h";
const char* const kConsoleHeaders[] = {"console/ConsoleTexts.h", "console/DialogTexts.h", "console/ReportTexts.h"};

// Texts that the console sets but nobody reads as a message.
const std::set<std::string> kNotMessages = {
    "text::kFontFace",  // the name of the windows' font
};


std::vector<SystemText> AllTexts() {
    std::vector<SystemText> all = ReadTexts(kLogHeader);
    for (const char* header : kConsoleHeaders) {
        const std::vector<SystemText> more = ReadTexts(header);
        all.insert(all.end(), more.begin(), more.end());
    }
    return all;
}

// --- The help ------------------------------------------------------------------

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &out[0], n, nullptr, nullptr);
    return out;
}

// A page as its reader sees the words: tags gone, entities decoded, blanks
// collapsed; Windows-1251 in, UTF-8 out.
std::string PageText(const std::string& cp1251) {
    static const std::pair<const char*, const wchar_t*> kEntities[] = {
        {"lt", L"<"},      {"gt", L">"},       {"amp", L"&"},     {"quot", L"\""},     {"nbsp", L" "},
        {"laquo", L"\u00ab"}, {"raquo", L"\u00bb"}, {"rsaquo", L"\u203a"}, {"mdash", L"\u2014"},
        {"ndash", L"\u2013"}, {"times", L"\u00d7"}, {"hellip", L"\u2026"}, {"rarr", L"\u2192"},
    };
    const std::wstring page = FromCp1251(cp1251);
    std::wstring words;
    for (size_t i = 0; i < page.size(); ++i) {
        if (page[i] == L'<') {
            const size_t end = page.find(L'>', i);
            if (end == std::wstring::npos) break;
            words += L' ';
            i = end;
        } else if (page[i] == L'&') {
            const size_t end = page.find(L';', i);
            const std::string name = end == std::wstring::npos ? std::string() : Utf8(page.substr(i + 1, end - i - 1));
            const wchar_t* decoded = nullptr;
            for (const auto& [entity, character] : kEntities)
                if (name == entity) decoded = character;
            if (!decoded) {
                words += page[i];
                continue;
            }
            words += decoded;
            i = end;
        } else {
            words += page[i];
        }
    }
    return CollapseBlanks(Utf8(words));
}

// Where the text's fixed parts follow each other closely, in order.
bool FoundIn(const SystemText& text, std::string_view words) {
    for (size_t from = words.find(text.parts.front()); from != std::string_view::npos;
         from = words.find(text.parts.front(), from + 1)) {
        size_t at = from + text.parts.front().size();
        bool all = true;
        for (size_t i = 1; i < text.parts.size() && all; ++i) {
            const size_t next = words.find(text.parts[i], at);
            all = next != std::string_view::npos && next - at <= kGapBytes;
            if (all) at = next + text.parts[i].size();
        }
        if (all) return true;
    }
    return false;
}

std::string Quoted(const SystemText& text) {
    std::string shown;
    for (const std::string& part : text.parts) shown += (shown.empty() ? "" : "...") + part;
    return "\"" + shown + "\"";
}

class HelpEntries : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = gSourceRoot + "docs\\help\\";
        const HelpProject project = ReadHelpProject(ReadAll(folder + "qv_admin.hhp"));
        for (const std::string& file : project.files) {
            if (file.size() < 4 || file.compare(file.size() - 4, 4, ".htm") != 0) continue;
            const std::string words = PageText(ReadAll(folder + file));
            ASSERT_FALSE(words.empty()) << "help page " << file << " is missing or empty";
            if (file == "log.htm") logPage_ = words;
            allPages_ += words + "\n";
        }
        ASSERT_FALSE(logPage_.empty()) << "the help lists no log.htm";
    }
    std::string logPage_, allPages_;
};

TEST_F(HelpEntries, EveryLineThePluginLogsHasAnEntryOnTheLogPage) {
    const std::vector<SystemText> texts = ReadTexts(kLogHeader);
    ASSERT_GT(texts.size(), 30u) << "too few texts read from " << kLogHeader;
    for (const SystemText& text : texts)
        EXPECT_TRUE(FoundIn(text, logPage_))
            << text.name << " " << Quoted(text) << " (" << text.header << ") has no entry in the help: add a row "
            << "for it to the table of log lines in docs/help/log.htm (Windows-1251), saying when it is written "
            << "and what to do; a line that tells of a fault also gets an entry in docs/help/trouble.htm.";
}

TEST_F(HelpEntries, EveryTextTheConsoleShowsIsInTheHelp) {
    size_t read = 0;
    for (const char* header : kConsoleHeaders) {
        for (const SystemText& text : ReadTexts(header)) {
            ++read;
            if (kNotMessages.count(text.name)) continue;
            EXPECT_TRUE(FoundIn(text, allPages_))
                << text.name << " " << Quoted(text) << " (" << text.header << ") is in no page of the help: quote "
                << "it on the page of the window that shows it (docs/help/console.htm, tray.htm, report.htm, "
                << "settings.htm, userinfo.htm or about.htm, Windows-1251), saying what it means; a message that "
                << "tells of a fault also gets an entry in docs/help/trouble.htm.";
        }
    }
    EXPECT_GT(read, 100u) << "too few texts read from the console's headers";
}

// --- The acceptance test's quotes ----------------------------------------------

bool HasCyrillic(std::string_view s) {
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        const unsigned char lead = static_cast<unsigned char>(s[i]);
        if ((lead == 0xD0 || lead == 0xD1) && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) return true;
    }
    return false;
}

// Whether the quote is texts of the system, with their variable parts filled
// in by anything; what follows a whole text is free of Cyrillic or is again a text.
bool IsSystemQuote(std::string_view quote, const std::vector<SystemText>& texts) {
    const std::string q = Trim(quote, " ");
    if (!HasCyrillic(q)) return true;
    for (const SystemText& text : texts) {
        const size_t first = q.find(text.parts.front());
        if (first == std::string::npos || (first != 0 && !text.variableFirst)) continue;
        size_t at = first + text.parts.front().size();
        bool all = true;
        for (size_t i = 1; i < text.parts.size() && all; ++i) {
            const size_t next = q.find(text.parts[i], at);
            all = next != std::string::npos;
            if (all) at = next + text.parts[i].size();
        }
        if (all && IsSystemQuote(std::string_view(q).substr(at), texts)) return true;
    }
    return false;
}

// What the reader fills in, "<версия>", is no text of the system.
std::string WithoutPlaceholders(std::string_view quote) {
    std::string out;
    for (size_t i = 0; i < quote.size(); ++i) {
        const size_t end = quote[i] == '<' ? quote.find('>', i) : std::string_view::npos;
        if (end == std::string_view::npos) {
            out += quote[i];
        } else {
            out += ' ';
            i = end;
        }
    }
    return out;
}

// The system's texts as the acceptance test shows them: `code` spans, and the
// lines of ``` blocks, each without the excerpt's mark ("? ", "~ "), without
// the date and time of a log line and without placeholders.
std::vector<std::string> QuotesOf(const std::string& markdown) {
    std::vector<std::string> quotes;
    std::istringstream in(markdown);
    std::string line;
    bool block = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A fence may be indented, inside a list item.
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line.compare(first, 3, "```") == 0) {
            block = !block;
            continue;
        }
        if (block) {
            const size_t from = line.find_first_not_of(" ?~");
            std::string body = from == std::string::npos ? std::string() : Trim(line.substr(from), " ");
            if (body.size() > 1 && body[0] == '[') {
                const size_t dash = body.find("] - ");
                if (dash != std::string::npos && body.find("] : [") < dash) body = body.substr(dash + 4);
            }
            quotes.push_back(WithoutPlaceholders(body));
            continue;
        }
        for (size_t at = line.find('`'); at != std::string::npos; at = line.find('`', at + 1)) {
            const size_t end = line.find('`', at + 1);
            if (end == std::string::npos) break;
            quotes.push_back(WithoutPlaceholders(line.substr(at + 1, end - at - 1)));
            at = end;
        }
    }
    return quotes;
}

TEST(AcceptanceTest, QuotesOnlyTextsTheSystemHas) {
    const std::vector<SystemText> texts = AllTexts();
    for (const char* doc : {"docs/WINDOWS.md", "docs/WINDOWS.ru.md"}) {
        std::string markdown = ReadAll(gSourceRoot + doc);
        ASSERT_FALSE(markdown.empty()) << doc << " is missing";
        size_t checked = 0;
        for (const std::string& quote : QuotesOf(markdown)) {
            if (!HasCyrillic(quote)) continue;
            ++checked;
            EXPECT_TRUE(IsSystemQuote(quote, texts))
                << doc << " quotes \"" << quote << "\", which is no text of the plug-in or the console "
                << "(common/LogTexts.h, console/ConsoleTexts.h, console/DialogTexts.h, console/ReportTexts.h): correct the quote; a text "
                << "of Windows is written in quotation marks, not as `code`.";
        }
        EXPECT_GT(checked, 20u) << doc << " quotes too few of the system's texts to be the acceptance test";
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: docs_tests SOURCE_ROOT\\\n");
        return 2;
    }
    gSourceRoot = argv[1];
    return RUN_ALL_TESTS();
}

#include "common/Ini.h"

#include <gtest/gtest.h>

namespace nuv {
namespace {

const char* const kFile =
    "\xEF\xBB\xBF; settings\r\n"
    "top=before any header\r\n"
    "[Default]\r\n"
    "  PicPath = /home/u/web  \r\n"
    "URLPath=\"  http://a.example/  \"\r\n"
    "Quoted='single'\r\n"
    "Half=\"open\r\n"
    "# URLPath=commented out\r\n"
    "Empty=\r\n"
    "Semi=/a;b#c\r\n"
    "Eq=a=b\r\n"
    "no equals sign\r\n"
    "picpath=second of the same key\r\n"
    "\r\n"
    "[other]\r\n"
    "PicPath=other section\r\n"
    "[ default ]\r\n"
    "Late=second block of the section\r\n";

TEST(Ini, ReadsValuesByCaseInsensitiveNames) {
    const IniDocument ini(kFile);
    const struct {
        const char* section;
        const char* key;
        const char* value;  // nullptr: missing
    } cases[] = {
        {"default", "PicPath", "/home/u/web"},
        {"DEFAULT", "picPATH", "/home/u/web"},  // the first of two lines of a key counts
        {"default", "URLPath", "  http://a.example/  "},
        {"default", "Quoted", "single"},
        {"default", "Half", "\"open"},
        {"default", "Empty", ""},
        {"default", "Semi", "/a;b#c"},
        {"default", "Eq", "a=b"},
        {"default", "no equals sign", nullptr},
        {"default", "# URLPath", nullptr},
        {"default", "Late", nullptr},  // only the first block of a section counts
        {"default", "", nullptr},
        {"other", "PicPath", "other section"},
        {"", "top", "before any header"},
        {"missing", "PicPath", nullptr},
    };
    for (const auto& c : cases) {
        const auto got = ini.Get(c.section, c.key);
        if (c.value == nullptr) {
            EXPECT_FALSE(got.has_value()) << c.section << "/" << c.key;
        } else {
            EXPECT_EQ(got.value_or("<missing>"), c.value) << c.section << "/" << c.key;
        }
    }
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Default", "other", "default"}));
}

TEST(Ini, NumbersAreWholeDecimalIntegers) {
    const struct {
        const char* value;
        int expected;  // with the fallback 42
    } cases[] = {
        {"7", 7}, {" -1 ", -1}, {"+3", 3}, {"0", 0}, {"", 42}, {"abc", 42}, {"5x", 42},
        {"1.5", 42}, {"+-1", 42}, {"--1", 42}, {"99999999999", 42}, {"\"12\"", 12}, {"0x10", 42},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniDocument(std::string("[s]\nk=") + c.value).GetInt("s", "k", 42), c.expected) << c.value;
    }
    IniDocument ini("[s]\nyes=2\nno=0\nbad=true\n");
    EXPECT_TRUE(ini.GetBool("s", "yes", false));
    EXPECT_FALSE(ini.GetBool("s", "no", true));
    EXPECT_TRUE(ini.GetBool("s", "bad", true));
    EXPECT_FALSE(ini.GetBool("s", "missing", false));
}

TEST(Ini, WritingKeepsEveryOtherLine) {
    const struct {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        {"", "default", "PicPath", "/w", "[default]\nPicPath=/w\n"},
        {"[default]\r\n PICPATH = /old \r\n; keep\r\n", "default", "PicPath", "/new",
         "[default]\r\n PICPATH =/new\r\n; keep\r\n"},
        {"[a]\nx=1\n\n[b]\ny=2\n", "a", "z", "3", "[a]\nx=1\nz=3\n\n[b]\ny=2\n"},
        {"[a]\n; only a comment\n", "a", "z", "3", "[a]\nz=3\n; only a comment\n"},
        {"[a]\nx=1", "b", "y", "2", "[a]\nx=1\n\n[b]\ny=2\n"},
        {"; c\n[a]\n", "", "top", "1", "top=1\n; c\n[a]\n"},
        {"[s]\n", "s", "k", " padded ", "[s]\nk=\" padded \"\n"},
        {"[s]\n", "s", "k", "'quoted'", "[s]\nk=\"'quoted'\"\n"},
        {"[s]\n", "s", "k", "a\r\nDocType=3", "[s]\nk=a  DocType=3\n"},
        {"\xEF\xBB\xBF[s]\rk=1\r", "s", "k", "2", "\xEF\xBB\xBF[s]\rk=2\r"},
    };
    for (const auto& c : cases) {
        IniDocument ini(c.before);
        ini.Set(c.section, c.key, c.value);
        EXPECT_EQ(ini.ToString(), c.after) << c.before;
    }
}

TEST(Ini, ParseWriteRoundTrip) {
    // Text comes back byte for byte, apart from a final line break that was missing.
    for (const char* text : {kFile, "", "\n\n", "[a]\nk=v", "x\r\ny\rz\n", "[broken\n=v\n[]\nk=1\n"}) {
        std::string expected = text;
        if (!expected.empty() && expected.back() != '\n' && expected.back() != '\r') expected += '\n';
        EXPECT_EQ(IniDocument(text).ToString(), expected) << text;
    }
    // Every value written reads back as written, line breaks aside.
    IniDocument ini;
    for (const char* value : {"", " ", "a b", " lead", "trail\t", "\"both\"", "'x'", "\"", "x\"", "=",
                              "[s]", "; not a comment", "路径/照片"}) {
        ini.Set("s", "k", value);
        EXPECT_EQ(IniDocument(ini.ToString()).Get("s", "k").value_or("<missing>"), value) << value;
    }
}

}  // namespace
}  // namespace nuv

// Runs the INI reader and writer over arbitrary bytes and checks what must hold for
// any input: writing back is stable, the settings read from a file are read again
// unchanged after they are written into it, and any value set reads back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/logic/Settings.h"
#include "Check.h"
#include "common/Ini.h"
#include "common/Text.h"

namespace {

bool Same(const nuv::Settings& a, const nuv::Settings& b) {
    return a.PicPath == b.PicPath && a.URLPath == b.URLPath && a.DefaultSavePath == b.DefaultSavePath &&
           a.DocType == b.DocType && a.LeftPanelWidth == b.LeftPanelWidth && a.CbPath == b.CbPath &&
           a.CurPicName == b.CurPicName;
}

}  // namespace

using nuv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nuv;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    IniDocument ini(input);
    const std::string text = ini.ToString();
    Check(IniDocument(text).ToString() == text);
    for (const std::string& section : ini.Sections()) (void)ini.GetInt(section, "Path", 0);

    const Settings read = ReadSettings(ini, DefaultSettings("/p/web", "http://h.example/"));
    WriteSettings(ini, read);
    Check(Same(ReadSettings(IniDocument(ini.ToString()), DefaultSettings("", "")), read));

    // The whole input as a value: it reads back with its line breaks as spaces, and the
    // file gains no section.
    IniDocument one(text);
    const std::vector<std::string> before = one.Sections();
    const bool hadDefault =
        std::any_of(before.begin(), before.end(), [](const std::string& s) { return LowerAscii(s) == "default"; });
    one.Set("default", "CurPicName", input);
    std::string expected(input);
    for (char& c : expected)
        if (c == '\r' || c == '\n') c = ' ';
    const IniDocument back(one.ToString());
    Check(back.Get("default", "CurPicName") == expected);
    Check(back.Sections().size() == before.size() + (hadDefault ? 0 : 1));
    return 0;
}

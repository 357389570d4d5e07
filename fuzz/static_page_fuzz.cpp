// Reads arbitrary bytes as a page without the browser: decoded by the answer's charset
// or what the bytes declare, parsed, its frames read (each frame and style sheet answers
// the same bytes, to the bound of frames), serialised, its links resolved, the pictures it
// shows read through the cascade of its sheets. The serialisation is UTF-8; every picture
// is an http(s) address.
// Input: byte 0 picks the answer's Content-Type, the rest is the body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "web/StaticBrowser.h"

namespace {

constexpr std::string_view kTypes[] = {"text/html", "text/html; charset=utf-8", "text/html; charset=gbk",
                                       "text/html; charset=shift_jis", "text/html; charset=utf-16le", "",
                                       "text/html; charset=\"windows-1252", "application/xhtml+xml"};

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

}  // namespace

using nuv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nuv;
    if (size < 1) return 0;
    const std::string type(kTypes[data[0] % std::size(kTypes)]);
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    StaticBrowser browser([&](const std::string& address, const std::string&) { return FetchedPage{address, type, body}; },
                          true, true);
    browser.Navigate("http://fuzz.example/dir/page.html");
    Check(browser.HasDocument());
    Check(IsUtf8(browser.TopElementOuterHtml()));
    const FrameDocument tree = browser.DocumentTree();
    Check(tree.url == "http://fuzz.example/dir/page.html");
    const DocumentLinkList links = browser.DocumentLinks(50);
    Check(links.links.size() <= 50);
    const ShownPictureList shown = browser.ShownPictures(100);
    Check(shown.pictures.size() <= 100);
    for (const ShownPicture& picture : shown.pictures)
        Check(picture.address.rfind("http://", 0) == 0 || picture.address.rfind("https://", 0) == 0);
    return 0;
}

// Runs every member of the reference scanner over arbitrary bytes and, for inputs small
// enough for the copying algorithm, checks each against the literal transcription.
// Input: byte 0 picks the marker, byte 1 the base address, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/unit/support/FakeBrowser.h"
#include "../tests/unit/support/LiteralScanner.h"
#include "Check.h"
#include "common/Text.h"
#include "extract/Scanner.h"

namespace {

constexpr std::string_view kMarkers[] = {".gif", ".GIF", ".swf", ".css", ".jpeg", ".", "g", ""};
constexpr std::string_view kBases[] = {"http://site.example/dir/page.htm", "https://s.example/", "site.example",
                                       "", "http://site.example"};

}  // namespace

using nuv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nuv;
    if (size < 2) return 0;
    const std::string_view marker = kMarkers[data[0] % std::size(kMarkers)];
    const std::string base(kBases[data[1] % std::size(kBases)]);
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::vector<std::string> lines = SplitLines(text);

    test::FakeBrowser browser;
    browser.source = text;
    browser.location = base;

    const auto refs = ScanReferences(marker, text, base);
    const int refsCount = ScanCount;
    const auto page = ScanPageReferences(marker, browser);
    const int pageCount = ScanCount;
    const auto flash = ScanSourceFlash(text, base);
    const int flashCount = ScanCount;
    const auto sheetImages = ScanSheetImages(base, lines);
    const auto sheetFlash = ScanSheetFlash(base, lines);

    if (text.size() > 4096) return 0;  // the copying oracle is quadratic
    int count = 0;
    Check(refs == literal::ScanReferences(marker, text, base, count) && refsCount == count);
    Check(page == literal::ScanWithCopies(marker, text, false, [&base] { return base; }, count) &&
          pageCount == count);
    Check(flash == literal::ScanSourceFlash(text, base, count) && flashCount == count);
    Check(sheetImages == literal::ScanSheetImages(base, lines));
    Check(sheetFlash == literal::ScanSheetFlash(base, lines));
    return 0;
}

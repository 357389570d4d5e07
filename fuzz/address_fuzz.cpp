// Runs the address rules over arbitrary bytes and checks what must hold for any input.
// Input: the page address, a line feed, the reference (a missing line feed gives an
// empty reference).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "common/Text.h"
#include "web/Address.h"

using nuv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nuv;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string page(input.substr(0, cut));
    const std::string ref(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1));

    const std::string root = SiteRoot(page);
    Check(!root.empty() && root.back() == '/');
    (void)ResolveAddress(page, ref);
    (void)JoinRelativeAddress(page, ref);
    (void)IsWebPageAddress(page);
    (void)IsWebPageAddress(ref);
    Check(FileNameOfAddress(ref).find('/') == std::string::npos);

    // A relative reference on a page of a known host never leaves that host, however many
    // ".." pieces it holds.
    const std::string slashed = ReplaceAll(ref, "\\", "/");
    const std::string lowered = LowerAscii(slashed);
    if (!StartsWith(slashed, "/") && !Contains(lowered, "http://") && !StartsWith(lowered, "https://")) {
        const std::string hostPage = "http://h.example/" + page;
        Check(StartsWith(ResolveAddress(hostPage, ref), "http://h.example/"));
        Check(StartsWith(ResolveAddress("https://h.example", ref), "https://h.example/"));
    }
    return 0;
}

// Runs the update page rules over arbitrary bytes and checks what must hold for any page.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Check.h"
#include "common/Text.h"
#include "frame/logic/UpdateRules.h"
#include "frame/logic/UpdateSignature.h"

using nuv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nuv;
    const std::string_view body(reinterpret_cast<const char*>(data), size);

    UpdateInfo info;
    info.UpdateVersion = 1.5f;
    const bool newer = CheckUpdateText(info, body);
    Check(info.UpdateText == LowerAscii(body));
    Check(!newer || IsUpdatePage(body));
    Check(!newer || IsNewerVersion(info.UpdateVersion));
    Check(std::isfinite(info.UpdateVersion));
    if (!IsUpdatePage(body)) Check(info.UpdateVersion == 1.5f && info.UpdateDownloadAddress.empty());

    // Parsed directly, whatever the marker: the address is the text just before the first
    // "_softurl", and none without it.
    UpdateInfo direct;
    direct.UpdateText = LowerAscii(body);
    ParseUpdateText(direct);
    const std::size_t close = direct.UpdateText.find("_softurl");
    if (close == std::string::npos) Check(direct.UpdateDownloadAddress.empty());
    if (!direct.UpdateDownloadAddress.empty()) {
        Check(close >= direct.UpdateDownloadAddress.size());
        Check(direct.UpdateText.compare(close - direct.UpdateDownloadAddress.size(),
                                        direct.UpdateDownloadAddress.size(), direct.UpdateDownloadAddress) == 0);
    }
    // An address taken as the maker's names his host right after the scheme.
    if (IsOnMakerHost(direct.UpdateDownloadAddress, "www.nuvsoft.example")) {
        const std::string lower = LowerAscii(direct.UpdateDownloadAddress);
        Check(lower.rfind("https://www.nuvsoft.example", 0) == 0);
        const char next = lower.size() > 27 ? lower[27] : '/';
        Check(next == '/' || next == ':' || next == '?' || next == '#');
    }
    // A manifest read from the bytes is signed over their first three lines.
    if (const std::optional<UpdateManifest> m = ReadManifest(body)) {
        Check(m->signature.size() == 64 && m->sha256.size() == 32 && std::isfinite(m->version));
        Check(body.substr(0, m->signedPart.size()) == m->signedPart);
        Check(m->signedPart.rfind(std::string(ManifestHeader), 0) == 0);
    }
    (void)HandOverText(body);
    return 0;
}

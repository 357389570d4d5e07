#include "save/DownloadTargets.h"

#include <array>

#include "common/Guard.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "web/Address.h"

namespace nuv {
namespace {

constexpr std::array<std::string_view, 5> kPageExtensions = {".html", ".htm", ".asp", ".php", ".jsp"};
constexpr std::array<std::string_view, 5> kArchiveExtensions = {".rar", ".exe", ".zip", ".dat", ".tar"};

bool ContainsAny(std::string_view address, const std::array<std::string_view, 5>& parts) {
    try {
        const std::string lower = LowerAscii(address);
        for (std::string_view part : parts) {
            if (Contains(lower, part)) return true;
        }
    } catch (...) {
        NoteSwallowed();
    }
    return false;
}

}  // namespace

bool HasPageExtension(std::string_view address) { return ContainsAny(address, kPageExtensions); }

bool HasArchiveExtension(std::string_view address) { return ContainsAny(address, kArchiveExtensions); }

std::optional<std::string> DownloadTargetFile(std::string_view targetFolder, std::string_view address) {
    if (HasPageExtension(address) || HasArchiveExtension(address)) return std::nullopt;
    const std::string name = CleanNameComponent(FileNameOfAddress(address));
    if (name.empty()) return std::nullopt;
    std::string target(targetFolder);
    target += name;
    return target;
}

}  // namespace nuv

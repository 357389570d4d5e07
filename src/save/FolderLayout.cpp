#include "save/FolderLayout.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/SaveTargets.h"
#include "common/Text.h"
#include "web/Address.h"

namespace nuv {
namespace {

// The host part of a page folder: the address's host and port, ASCII lower-cased,
// without credentials; "file" for a local page.
std::string HostFolderName(std::string_view address, size_t& pathStart) {
    pathStart = address.size();
    const size_t scheme = address.find("://");
    if (scheme == std::string_view::npos) {
        pathStart = address.find(':') == std::string_view::npos ? 0 : address.find(':') + 1;
        return "other";
    }
    const size_t authorityStart = scheme + 3;
    size_t authorityEnd = address.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string_view::npos) authorityEnd = address.size();
    pathStart = authorityEnd;
    if (LowerAscii(address.substr(0, scheme)) == "file") return "file";
    std::string_view authority = address.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    const std::string host = CleanNameComponent(LowerAscii(authority), kMaxPageFolderName);
    return host.empty() ? std::string("other") : host;
}

}  // namespace

std::string PageFolder(FolderLayout layout, std::string_view base, std::string_view pageAddress) {
    std::string folder(base);
    if (layout == FolderLayout::Flat) return folder;
    size_t pathStart = 0;
    folder += HostFolderName(pageAddress, pathStart);
    folder += '/';
    if (layout == FolderLayout::Host) return folder;

    std::string_view rest = pageAddress.substr(std::min(pathStart, pageAddress.size()));
    rest = rest.substr(0, rest.find('#'));
    const size_t q = rest.find('?');
    const std::string_view path = rest.substr(0, q);
    const std::string_view query = q == std::string_view::npos ? std::string_view() : rest.substr(q);
    std::vector<std::string> segments;
    for (size_t at = 0; at <= path.size();) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (IsStorableFileName(part)) segments.emplace_back(part);
        at = slash + 1;
    }
    if (!query.empty()) {
        if (segments.empty()) segments.emplace_back();
        segments.back() += query;
    }
    if (segments.size() > kMaxPageFolderDepth) segments.resize(kMaxPageFolderDepth);
    // Each segment is one folder: a "/" or ".." of the query stays inside it.
    for (const std::string& s : segments) {
        const std::string name = CleanNameComponent(s, kMaxPageFolderName);
        if (name.empty()) continue;
        folder += name;
        folder += '/';
    }
    return folder;
}

std::string NumberedFileName(std::string_view name, int n) {
    std::string_view extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= 16) extension = name.substr(dot);
    std::string_view stem = name.substr(0, name.size() - extension.size());
    const std::string suffix = " (" + std::to_string(n) + ")";
    const size_t room = 255 - suffix.size() - extension.size();
    if (stem.size() > room) {
        size_t keep = room;
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
        stem = stem.substr(0, keep);
    }
    return std::string(stem) + suffix + std::string(extension);
}

std::string FileClaims::Claim(const std::string& file, std::size_t page, const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    // Beyond this many equal names the last one is shared rather than searched further.
    constexpr int kMostNumbers = 10000;
    for (int n = 1; n <= kMostNumbers; ++n) {
        const std::string candidate = n == 1 ? file : folder + NumberedFileName(name, n);
        const auto it = owners_.find(candidate);
        if (it == owners_.end()) {
            if (n < kMostNumbers && takenOutside_ && takenOutside_(candidate, address)) continue;
            owners_.emplace(candidate, Owner{page, address});
            return candidate;
        }
        if (it->second.page == page || it->second.address == address || n == kMostNumbers) return candidate;
    }
    return file;
}

}  // namespace nuv

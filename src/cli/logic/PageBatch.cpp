#include "cli/logic/PageBatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <unordered_set>

#include "common/Text.h"
#include "common/SaveTargets.h"
#include "save/DownloadTargets.h"
#include "web/Address.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

// Resolves "." and ".." segments of an absolute path; ".." never climbs above "/".
std::string NormalizeAbsolutePath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    std::string out;
    for (std::string_view p : parts) {
        out += '/';
        out += p;
    }
    return out.empty() ? "/" : out;
}

}  // namespace

std::vector<std::string> ParseAddressList(std::string_view text, std::string* error) {
    std::vector<std::string> out;
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        const std::string_view raw = text.substr(at, end - at);
        const char* fault = raw.size() > kMaxListLine ? "is longer than 64 KiB"
                            : raw.find('\0') != std::string_view::npos ? "holds a NUL byte"
                                                                         : nullptr;
        if (fault) {
            if (error) *error = "line " + std::to_string(number) + " of the list " + fault + "; a list holds addresses, one a line";
            return {};
        }
        const std::string_view line = TrimView(raw);
        if (!line.empty() && line.front() != '#') out.emplace_back(line);
        at = end + 1;
    }
    return out;
}

std::string ListedAddressRefusal(std::string_view address, bool allowLocalFiles) {
    address = TrimView(address);
    const std::string scheme = AddressScheme(address);
    const bool local = scheme == "file" || StartsWith(address, "/") || StartsWith(address, "./") ||
                       StartsWith(address, "../") || address == "." || address == ".." || StartsWith(address, "~");
    if (local) {
        if (allowLocalFiles) return {};
        return "refused: a list names web pages, not local files (--allow-local-files opens them)";
    }
    // "host:8080/page" is a host and its port, completed to http.
    const bool port = !scheme.empty() && address.size() > scheme.size() + 1 && address[scheme.size() + 1] >= '0' &&
                      address[scheme.size() + 1] <= '9';
    if (scheme.empty() || port || scheme == "http" || scheme == "https") return {};
    return "refused: a list names http and https pages, not \"" + scheme + ":\" addresses";
}

int ShardOfAddress(std::string_view address, int count) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : TrimView(address)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return count <= 1 ? 1 : static_cast<int>(hash % static_cast<std::uint64_t>(count)) + 1;
}

std::vector<std::string> RunAddresses(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& listed,
                                      const std::optional<CliShard>& shard) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    auto take = [&](const std::string& given) {
        std::string address = Trim(given);
        if (address.empty()) return;
        if (shard && ShardOfAddress(address, shard->count) != shard->index) return;
        if (seen.insert(address).second) out.push_back(std::move(address));
    };
    for (const std::string& a : arguments) take(a);
    for (const std::string& a : listed) take(a);
    return out;
}

CliAddress PrepareCliAddress(std::string_view argument, const std::string& currentFolder,
                             const std::function<bool(const std::string& path)>& isFile) {
    const std::string text = Trim(argument);
    const bool dotted = text == "." || text == ".." || StartsWith(text, "./") || StartsWith(text, "../");
    const bool existing = !dotted && !StartsWith(text, "/") && !Contains(text, ":") && isFile && isFile(text);
    if (dotted || existing) {
        return {NormalizeAbsolutePath(currentFolder + "/" + text), true};
    }
    const TypedAddress typed = CompleteTypedAddress(text);
    if (typed.localFile) return {NormalizeAbsolutePath(typed.navigateTo), true};
    return {typed.navigateTo, false};
}

RunAddress OpenRunAddress(std::string_view address, bool listed, bool allowLocalFiles, const std::string& currentFolder,
                          const std::function<bool(const std::string& path)>& isFile) {
    if (listed) {
        if (std::string refusal = ListedAddressRefusal(address, allowLocalFiles); !refusal.empty())
            return {{}, std::move(refusal)};
    }
    return {PrepareCliAddress(address, currentFolder, !listed || allowLocalFiles ? isFile : nullptr), {}};
}

}  // namespace nuv

#include "web/Address.h"

#include <filesystem>
#include <limits>
#include <system_error>

#include "common/FileText.h"
#include "common/Guard.h"
#include "common/SaveTargets.h"
#include "common/Text.h"

namespace nuv {
namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// An address counts as https only when it begins with the scheme; every other address
// goes through the "http://" rules, which look for "http://" anywhere.
bool BeginsWithHttps(std::string_view lowered) { return StartsWith(lowered, kHttps); }

// Collapses runs of slashes in single left-to-right passes: "///" first, then "//".
std::string CollapseSlashes(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "///", "/"), "//", "/");
}

// The scheme of an absolute address in lower case, and runs of slashes after it
// collapsed. Text without a scheme comes back unchanged.
std::string NormaliseAddress(std::string_view address) {
    const std::string lowered = LowerAscii(address);
    if (BeginsWithHttps(lowered)) return std::string(kHttps) + CollapseSlashes(address.substr(kHttps.size()));
    // "http://" may stand anywhere; the rule still drops the first seven bytes.
    if (Contains(lowered, kHttp)) return std::string(kHttp) + CollapseSlashes(address.substr(kHttp.size()));
    return std::string(address);
}

// Cuts the folder before its last "/". The text before the first "/" is the host, which
// is never cut away: a folder without "/" stays as it is.
void CutLastFolder(std::string& folder) {
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos) folder.resize(slash);
}

// Counts the pieces of the reference that are exactly "..". Pieces are separated by "/"
// and by bytes of value 32 or less; a piece that opens with a double quote runs to the
// closing quote (a doubled quote inside stands for one quote) and is one piece.
size_t CountParentPieces(std::string_view ref) {
    const size_t n = ref.size();
    size_t i = 0;
    size_t count = 0;
    while (i < n && IsBlankByte(ref[i])) ++i;
    while (i < n) {
        if (ref[i] == '"') {
            std::string piece;
            ++i;
            while (i < n) {
                if (ref[i] == '"') {
                    if (i + 1 < n && ref[i + 1] == '"') {
                        piece.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                piece.push_back(ref[i++]);
            }
            if (piece == "..") ++count;
        } else {
            const size_t begin = i;
            while (i < n && !IsBlankByte(ref[i]) && ref[i] != '/') ++i;
            if (ref.substr(begin, i - begin) == "..") ++count;
        }
        while (i < n && IsBlankByte(ref[i])) ++i;
        if (i < n && ref[i] == '/') {
            ++i;
            while (i < n && IsBlankByte(ref[i])) ++i;
        }
    }
    return count;
}

// A reference in a page opened from a file: absolute web addresses stay, "/..." hangs
// off the file system's root, everything else is joined to the page's folder, where each
// ".." climbs one folder but never above the root.
std::string ResolveFileAddress(std::string_view page, std::string_view ref) {
    constexpr std::string_view kRoot = "file:///";
    const std::string lowered = LowerAscii(ref);
    if (StartsWith(lowered, kHttps) || Contains(lowered, kHttp) || StartsWith(lowered, "file:")) return std::string(ref);
    if (StartsWith(ref, "//")) return "file:" + std::string(ref);
    // One "/" here ("//" went above): "/" alone is the root itself.
    if (StartsWith(ref, "/")) return std::string(kRoot) + std::string(ref.substr(1));
    // The folder of the page: up to its last "/" before any query or fragment.
    std::string_view folder = page.substr(0, page.find_first_of("?#"));
    folder = folder.substr(0, folder.rfind('/') + 1);
    if (folder.size() < kRoot.size()) folder = kRoot;
    std::string result(folder);
    std::string_view rest = ref;
    while (true) {
        if (StartsWith(rest, "./")) {
            rest.remove_prefix(2);
        } else if (StartsWith(rest, "../")) {
            rest.remove_prefix(3);
            if (result.size() > kRoot.size()) {
                result.pop_back();
                result.resize(result.rfind('/') + 1);
                if (result.size() < kRoot.size()) result = kRoot;
            }
        } else {
            break;
        }
    }
    return result + std::string(rest);
}

}  // namespace

std::string SiteRoot(std::string_view address) {
    const std::string lowered = LowerAscii(address);
    std::string_view scheme = kHttp;
    std::string full;
    if (BeginsWithHttps(lowered)) {
        scheme = kHttps;
        full = std::string(address);
    } else if (Contains(lowered, "http:")) {
        full = std::string(address);
    } else {
        full = std::string(kHttp) + std::string(address);
    }
    const std::string_view rest =
        full.size() > scheme.size() ? std::string_view(full).substr(scheme.size()) : std::string_view();
    const size_t slash = rest.find('/');
    if (slash != std::string_view::npos) return std::string(scheme) + std::string(rest.substr(0, slash + 1));
    return full + "/";
}

std::string ResolveAddress(std::string_view pageAddress, std::string_view reference) {
    if (StartsWith(LowerAscii(pageAddress.substr(0, 5)), "file:"))
        return ResolveFileAddress(pageAddress, ReplaceAll(reference, "\\", "/"));
    const std::string page = NormaliseAddress(ReplaceAll(pageAddress, "\\", "/"));
    const std::string ref = NormaliseAddress(ReplaceAll(reference, "\\", "/"));
    if (StartsWith(ref, kHttps) || Contains(ref, kHttp)) return ref;
    if (StartsWith(ref, "//")) {
        // Protocol-relative: the host follows, and the page lends its scheme.
        const bool https = BeginsWithHttps(LowerAscii(page));
        return NormaliseAddress((https ? "https:" : "http:") + ref);
    }
    if (StartsWith(ref, "/")) return SiteRoot(page) + ref.substr(1);
    return JoinRelativeAddress(page, ref);
}

std::string JoinRelativeAddress(std::string_view pageAddress, std::string_view reference) {
    std::string page(pageAddress);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (LowerAscii(page) == LowerAscii(SiteRoot(page))) return page + ReplaceAll(reference, "../", "");

        std::string_view scheme = kHttp;
        std::string folder = page;
        if (BeginsWithHttps(LowerAscii(page))) {
            scheme = kHttps;
            folder = page.substr(kHttps.size());
        } else if (Contains(page, kHttp)) {
            folder = page.substr(kHttp.size());
        }
        if (folder.find('/') == std::string::npos && attempt == 0) {
            // A bare host joins as if it ended in "/".
            page += '/';
            continue;
        }
        CutLastFolder(folder);
        for (size_t up = CountParentPieces(reference); up > 0; --up) CutLastFolder(folder);
        return std::string(scheme) + folder + "/" + ReplaceAll(reference, "../", "");
    }
    return page;  // not reached: the second attempt always has a "/" after the host
}

bool HasWebScheme(std::string_view address) {
    return StartsWith(address, "http://") || StartsWith(address, "https://");
}

bool IsWebPageAddress(std::string_view address) {
    static constexpr std::string_view kPageExtensions[] = {".html", ".htm", ".asp", ".aspx",
                                                           ".shtml", ".php", ".jsp"};
    for (std::string_view ext : kPageExtensions) {
        if (Contains(address, ext)) return true;
    }
    const std::string lowered = LowerAscii(address);
    std::string_view rest = lowered;
    if (BeginsWithHttps(lowered)) {
        rest.remove_prefix(kHttps.size());
    } else if (Contains(lowered, kHttp)) {
        rest.remove_prefix(kHttp.size());
    }
    const size_t slash = rest.find('/');
    return slash == std::string_view::npos || slash + 1 == rest.size();
}

std::string FileNameOfAddress(std::string_view address) {
    const size_t slash = address.rfind('/');
    return std::string(slash == std::string_view::npos ? address : address.substr(slash + 1));
}

bool IsStorableFileName(std::string_view fileName) {
    return !fileName.empty() && fileName != "." && fileName != ".." &&
           fileName.find('\0') == std::string_view::npos;
}

std::optional<std::vector<std::string>> FetchIntoSaveFolder(const std::string& saveFolder,
                                                            IDownloader& downloader,
                                                            const std::string& address,
                                                            FetchOutcome* outcome,
                                                            const DownloadBounds& bounds) {
    namespace fs = std::filesystem;
    FetchOutcome ignored;
    FetchOutcome& out = outcome ? *outcome : ignored;
    out = {};
    try {
        const std::string name = CleanNameComponent(FileNameOfAddress(address));
        if (name.empty()) {
            out.error = "the address names no file";
            return std::nullopt;
        }

        const std::string target = saveFolder + name;
        out.file = target;
        const fs::path folder = fs::path(target).parent_path();
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            out.error = "the save folder cannot be used";
            out.folderUnusable = true;
            return std::nullopt;
        }

        std::vector<std::string> lines;
        try {
            out.attempted = true;
            downloader.DownloadToFile(address, target, {}, bounds);
            out.saved = true;
        } catch (const DownloadError& e) {
            out.error = e.what();
            out.failure = e.kind();
            return lines;
        } catch (const std::exception& e) {
            out.error = e.what();
            return lines;  // a failed download leaves no new file to read
        } catch (...) {
            NoteSwallowed();
            out.error = "download failed";
            return lines;
        }
        // What the download wrote, within its bound; a file put in its place that is not
        // a plain file (a FIFO) reads as nothing.
        const std::optional<std::string> content = ReadFileText(
            target, bounds.maxBytes > 0 ? static_cast<std::size_t>(bounds.maxBytes) : std::numeric_limits<std::size_t>::max());
        if (!content) return lines;
        return SplitLines(*content);
    } catch (...) {
        NoteSwallowed();
        if (out.error.empty()) out.error = "download failed";
        return std::nullopt;
    }
}

TypedAddress CompleteTypedAddress(std::string_view boxText) {
    TypedAddress r;
    r.boxText = std::string(boxText);
    std::string text = Trim(boxText);
    const std::string lower = LowerAscii(text);
    if (StartsWith(text, "/") || StartsWith(lower, "file:")) {
        r.localFile = StartsWith(text, "/");
        r.navigateTo = text;
        return r;
    }
    const bool windowsPath = Contains(text, ":\\");
    if (!windowsPath && !Contains(lower, "http://") && !Contains(lower, "https://")) {
        text.insert(0, "http://");
        r.boxText = text;
        r.writeBack = true;
    }
    r.openable = windowsPath || IsWellFormedWebAddress(text);
    r.navigateTo = text;
    return r;
}

bool IsWellFormedWebAddress(std::string_view address) {
    const std::string lower = LowerAscii(address);
    std::size_t start = 0;
    if (StartsWith(lower, "http://")) start = 7;
    else if (StartsWith(lower, "https://")) start = 8;
    else return false;
    const std::size_t end = address.find_first_of("/?#", start);
    const std::string_view authority =
        address.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    for (const char c : authority) {
        if (static_cast<unsigned char>(c) <= 32 || c == 127 || c == '\\') return false;
    }
    const std::size_t at = authority.rfind('@');
    std::string_view hostPort = at == std::string_view::npos ? authority : authority.substr(at + 1);
    std::string_view host = hostPort;
    std::string_view port;
    if (StartsWith(hostPort, "[")) {  // an IPv6 literal
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos) return false;
        host = hostPort.substr(0, close + 1);
        const std::string_view rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
        if (!rest.empty()) port = rest.substr(1);
    } else if (const std::size_t colon = hostPort.find(':'); colon != std::string_view::npos) {
        host = hostPort.substr(0, colon);
        port = hostPort.substr(colon + 1);
    }
    if (host.empty() || port.size() > 5) return false;
    for (const char c : port) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string CommandLineAddress(std::string_view argument, std::string_view currentFolder) {
    namespace fs = std::filesystem;
    if (argument.empty() || argument.front() == '/' || Contains(argument, ":")) return std::string(argument);
    const fs::path file = fs::path(std::string(currentFolder)) / std::string(argument);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::string(argument);
    return file.lexically_normal().string();
}

}  // namespace nuv

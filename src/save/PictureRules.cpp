#include "save/PictureRules.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "common/FileText.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "save/DownloadTargets.h"
#include "web/Downloader.h"

namespace nuv {
namespace {

struct Alias {
    std::string_view name;
    std::string_view type;
};
constexpr std::array<Alias, 20> kExtensions = {{{"jpg", "jpg"},   {"jpeg", "jpg"}, {"jpe", "jpg"},   {"jfif", "jpg"},
                                                {"png", "png"},   {"apng", "png"}, {"gif", "gif"},   {"webp", "webp"},
                                                {"avif", "avif"}, {"jxl", "jxl"},  {"svg", "svg"},   {"svgz", "svg"},
                                                {"ico", "ico"},   {"cur", "ico"},  {"bmp", "bmp"},   {"tif", "tiff"},
                                                {"tiff", "tiff"}, {"psd", "psd"},  {"emf", "emf"},   {"wmf", "wmf"}}};

constexpr std::array<Alias, 18> kMimeTypes = {{{"image/jpeg", "jpg"},
                                               {"image/jpg", "jpg"},
                                               {"image/pjpeg", "jpg"},
                                               {"image/png", "png"},
                                               {"image/apng", "png"},
                                               {"image/gif", "gif"},
                                               {"image/webp", "webp"},
                                               {"image/avif", "avif"},
                                               {"image/jxl", "jxl"},
                                               {"image/svg+xml", "svg"},
                                               {"image/x-icon", "ico"},
                                               {"image/vnd.microsoft.icon", "ico"},
                                               {"image/ico", "ico"},
                                               {"image/bmp", "bmp"},
                                               {"image/x-bmp", "bmp"},
                                               {"image/x-ms-bmp", "bmp"},
                                               {"image/tiff", "tiff"},
                                               {"image/vnd.adobe.photoshop", "psd"}}};

// The longest stem, so that " (9999)" and an extension of up to 16 bytes still fit in a
// file name of 255 bytes.
constexpr std::size_t kStemLimit = 230;

// The last segment of the path of `address`: without query and fragment, after the
// authority's end when the address has one.
std::string_view LastPathSegment(std::string_view address) {
    address = address.substr(0, address.find('#'));
    address = address.substr(0, address.find('?'));
    const std::size_t scheme = address.find("://");
    if (scheme != std::string_view::npos) {
        const std::size_t path = address.find('/', scheme + 3);
        if (path == std::string_view::npos) return {};
        address = address.substr(path);
    }
    const std::size_t slash = address.rfind('/');
    return slash == std::string_view::npos ? address : address.substr(slash + 1);
}

// The text after the last "." of `name`, "" when it has none.
std::string_view ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += (plusIsSpace && c == '+') ? ' ' : c;
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        unsigned min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) extra = 1, min = 0x80;
        else if (c >= 0xE0 && c <= 0xEF) extra = 2, min = 0x800;
        else if (c >= 0xF0 && c <= 0xF4) extra = 3, min = 0x10000;
        else return false;
        if (i + extra >= text.size()) return false;
        unsigned cp = c & (0x3Fu >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// `segment` percent-decoded when that gives readable UTF-8 that names a file inside a
// folder; otherwise as it stands.
std::string ReadableName(std::string_view segment) {
    std::string decoded = PercentDecode(segment, false);
    const bool safe = IsValidUtf8(decoded) && std::none_of(decoded.begin(), decoded.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || c == '/' || c == '\\';
    });
    return safe ? decoded : std::string(segment);
}

// The file name of the address that a query parameter of `address` holds, when it names
// a picture (an image service's "url=%2Fimg%2Fhero.jpg"); "" otherwise.
std::string InnerPictureName(std::string_view address) {
    address = address.substr(0, address.find('#'));
    const std::size_t query = address.find('?');
    if (query == std::string_view::npos) return {};
    std::string_view rest = address.substr(query + 1);
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string value = PercentDecode(pair.substr(eq + 1), true);
        const std::string_view inner = LastPathSegment(value);
        if (!PictureTypeOfExtension(ExtensionOf(inner)).empty()) return ReadableName(inner);
    }
    return {};
}

std::string StemOfName(std::string_view name) {
    const std::string_view ext = ExtensionOf(name);
    return std::string(ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1));
}

}  // namespace

const std::vector<std::string>& PictureTypeNames() {
    static const std::vector<std::string> names = {"jpg", "png", "gif", "webp", "avif", "jxl", "svg",
                                                   "ico", "bmp", "tiff", "psd", "emf", "wmf", "other"};
    return names;
}

std::string PictureTypeOfExtension(std::string_view extension) {
    const std::string lower = LowerAscii(extension);
    for (const Alias& a : kExtensions) {
        if (a.name == lower) return std::string(a.type);
    }
    return {};
}

std::string PictureTypeOfMime(std::string_view mime) {
    const std::string lower = LowerAscii(TrimView(mime.substr(0, mime.find(';'))));
    for (const Alias& a : kMimeTypes) {
        if (a.name == lower) return std::string(a.type);
    }
    return {};
}

std::string PictureTypeOf(std::string_view address, std::string_view declaredType) {
    std::string type = PictureTypeOfExtension(ExtensionOf(LastPathSegment(address)));
    if (type.empty()) type = PictureTypeOfMime(declaredType);
    return type.empty() ? std::string(kOtherPictureType) : type;
}

std::string SniffPictureExtension(std::string_view head) {
    const auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
    };
    if (starts("\xFF\xD8\xFF")) return ".jpg";
    if (starts("\x89PNG\r\n\x1A\n")) return ".png";
    if (starts("GIF87a") || starts("GIF89a")) return ".gif";
    if (starts("RIFF") && starts("WEBP", 8)) return ".webp";
    if (starts("ftypavif", 4) || starts("ftypavis", 4)) return ".avif";
    if (starts("\xFF\x0A") || starts(std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12))) return ".jxl";
    if (starts(std::string_view("\0\0\1\0", 4))) return ".ico";
    if (starts("BM")) return ".bmp";
    if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return ".tiff";
    const std::string_view text = TrimView(head.substr(0, 512));
    if (StartsWith(text, "<svg") || ((StartsWith(text, "<?xml") || StartsWith(text, "<!")) && Contains(text, "<svg")))
        return ".svg";
    return {};
}

std::string ExtensionFromAnswer(std::string_view contentType, std::string_view head) {
    const std::string type = PictureTypeOfMime(contentType);
    if (!type.empty()) return "." + type;
    return SniffPictureExtension(head);
}

ShownFileName ShownPictureFileName(std::string_view address) {
    ShownFileName n;
    const std::string name = ReadableName(LastPathSegment(address));
    const std::size_t dot = name.rfind('.');
    const std::string_view ext = dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot + 1);
    if (!PictureTypeOfExtension(ext).empty()) {
        n.stem = name.substr(0, name.size() - ext.size() - 1);
        n.extension = "." + std::string(ext);
    } else {
        const std::string inner = InnerPictureName(address);
        // A service converts the picture it names (hero.jpg served as WebP): its name is
        // kept, its type comes from the answer.
        n.stem = inner.empty() ? name : StemOfName(inner);
    }
    n.stem.erase(0, n.stem.find_first_not_of('.'));
    if (n.stem.empty() || n.stem.find_first_not_of('.') == std::string::npos) n.stem = "picture";
    n.stem = CleanNameComponent(n.stem, kStemLimit);
    if (n.stem.empty()) n.stem = "picture";
    return n;
}

std::vector<PictureTarget> PlanPictureTargets(std::string_view folder, const std::vector<std::string>& addresses,
                                              const std::vector<bool>& shown) {
    std::vector<PictureTarget> targets(addresses.size());
    // Lower-cased, so that a folder that ignores case keeps them apart too: the names taken,
    // the stems of the names taken, and the stems whose extension an answer will decide.
    std::unordered_set<std::string> names, stems, open;
    const auto isShown = [&](std::size_t i) { return i < shown.size() && shown[i]; };
    const auto pictureStem = [](std::string_view name) {
        const std::string_view ext = ExtensionOf(name);
        return LowerAscii(PictureTypeOfExtension(ext).empty() ? name : name.substr(0, name.size() - ext.size() - 1));
    };
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (isShown(i)) continue;
        if (const auto file = DownloadTargetFile(folder, addresses[i])) {
            targets[i].file = *file;
            const std::string name = file->substr(folder.size());
            names.insert(LowerAscii(name));
            stems.insert(pictureStem(name));
        }
    }
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (!isShown(i)) continue;
        const ShownFileName n = ShownPictureFileName(addresses[i]);
        // A name whose extension the answer decides keeps clear of every name on its stem.
        const auto free = [&](const std::string& stem) {
            const std::string lower = LowerAscii(stem);
            if (n.extension.empty()) return !stems.contains(lower) && !names.contains(lower);
            return !names.contains(lower + LowerAscii(n.extension)) && !open.contains(lower);
        };
        std::string stem = n.stem;
        for (int k = 2; !free(stem); ++k) stem = n.stem + " (" + std::to_string(k) + ")";
        const std::string lower = LowerAscii(stem);
        names.insert(lower + LowerAscii(n.extension));
        stems.insert(lower);
        if (n.extension.empty()) open.insert(lower);
        targets[i].file = std::string(folder) + stem + n.extension;
        targets[i].extensionFromAnswer = n.extension.empty();
        targets[i].shown = true;
    }
    return targets;
}

PictureTarget ShownPictureTarget(std::string_view folder, std::string_view address) {
    const ShownFileName n = ShownPictureFileName(address);
    return {std::string(folder) + n.stem + n.extension, n.extension.empty(), true};
}

std::string ProvisionalPictureFile(const std::string& stemFile) {
    const std::size_t slash = stemFile.rfind('/');
    const std::size_t at = slash == std::string::npos ? 0 : slash + 1;
    return stemFile.substr(0, at) + std::string(kPartialDownloadPrefix) + "shown." + stemFile.substr(at);
}

std::string AnsweredPictureFile(const std::string& provisional, const std::string& stemFile,
                                std::string_view contentType) {
    const std::string head = ReadFileHead(provisional, 64);
    return stemFile + ExtensionFromAnswer(contentType, head);
}

void MoveFinishedDownload(const std::string& provisional, const std::string& target) {
    namespace fs = std::filesystem;
    if (MoveBeneath({}, provisional, target)) return;
    std::error_code ec;
    fs::remove(provisional, ec);
    throw DownloadError("cannot write " + target, DownloadFailure::Write);
}

std::string FinishPictureDownload(const std::string& provisional, const std::string& stemFile,
                                  std::string_view contentType) {
    const std::string target = AnsweredPictureFile(provisional, stemFile, contentType);
    MoveFinishedDownload(provisional, target);
    return target;
}

bool PassesPictureFilter(const PictureFilter& filter, std::string_view type, int width, int height) {
    if (width < filter.minWidth || height < filter.minHeight) return false;
    return filter.types.empty() || std::find(filter.types.begin(), filter.types.end(), type) != filter.types.end();
}

std::optional<std::pair<int, int>> ParseMinSize(std::string_view text) {
    text = TrimView(text);
    std::size_t sep = text.find_first_of("xX");
    std::size_t sepLength = 1;
    if (sep == std::string_view::npos) {
        sep = text.find("\xC3\x97");  // ×
        sepLength = 2;
    }
    if (sep == std::string_view::npos) return std::nullopt;
    const auto number = [](std::string_view digits) -> std::optional<int> {
        if (digits.empty() || digits.size() > 6) return std::nullopt;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + (c - '0');
        }
        return n <= 100000 ? std::optional<int>(n) : std::nullopt;
    };
    const auto w = number(text.substr(0, sep));
    const auto h = number(text.substr(sep + sepLength));
    if (!w || !h) return std::nullopt;
    return std::pair{*w, *h};
}

std::optional<std::vector<std::string>> ParsePictureTypes(std::string_view text, std::string& error) {
    std::vector<std::string> types;
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string name = LowerAscii(TrimView(rest.substr(0, comma)));
        std::string type = name == kOtherPictureType ? name : PictureTypeOfExtension(name);
        if (type.empty()) {
            std::string known;
            for (const std::string& t : PictureTypeNames()) known += (known.empty() ? "" : ", ") + t;
            error = name.empty() ? "an empty picture type" : "unknown picture type '" + name + "'";
            error += " (one of " + known + ")";
            return std::nullopt;
        }
        if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(std::move(type));
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return types;
}

}  // namespace nuv

#include "frame/logic/UpdateRules.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "common/Guard.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "common/Text.h"

namespace nuv {
namespace {

// 1-based position of the first `part` in `text`, 0 when it does not occur.
std::size_t Pos(std::string_view part, std::string_view text) {
    const std::size_t at = text.find(part);
    return at == std::string_view::npos ? 0 : at + 1;
}

// The text from 1-based `start` up to, not including, 1-based `end`; empty when that
// span is empty or negative, cut at the end of the text.
std::string_view Span(std::string_view text, std::size_t start, std::size_t end) {
    if (end <= start || start > text.size()) return {};
    return text.substr(start - 1, end - start);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<float> ReadVersionNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t mantissa = i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t exponent = i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (i == exponent) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    float value = 0.0f;
    const char* first = text.data() + mantissa;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
    return negative ? -value : value;
}

bool IsUpdatePage(std::string_view bodyHtml) {
    return Contains(LowerAscii(bodyHtml), LowerAscii(UpdateMarker));
}

std::optional<float> ParseUpdateText(UpdateInfo& info) {
    const std::string_view text = info.UpdateText;
    const std::string_view versionText = Span(text, Pos("softversion_", text) + 12, Pos("_softversion", text));
    std::optional<float> version;
    if (!versionText.empty()) version = ReadVersionNumber(versionText);
    if (version) info.UpdateVersion = *version;
    info.UpdateDownloadAddress = std::string(Span(text, Pos("softurl_", text) + 8, Pos("_softurl", text)));
    return version;
}

bool IsNewerVersion(float version) {
    return static_cast<long double>(version) - static_cast<long double>(ProductVersion) > 0.01L;
}

bool CheckUpdateText(UpdateInfo& info, std::string_view bodyHtml) {
    info.UpdateText = LowerAscii(bodyHtml);
    if (!Contains(info.UpdateText, LowerAscii(UpdateMarker))) return false;
    const std::optional<float> version = ParseUpdateText(info);
    return version && IsNewerVersion(*version);
}

bool IsOnMakerHost(std::string_view address, std::string_view makerHost) {
    constexpr std::string_view scheme = "https://";
    if (makerHost.empty() || !StartsWith(LowerAscii(address.substr(0, scheme.size())), scheme)) return false;
    const std::string_view rest = address.substr(scheme.size());
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    // No user part, and nothing a browser or libcurl might read as another end of the host.
    for (const char c : authority) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 32 || b >= 127 || c == '@' || c == '\\' || c == '%') return false;
    }
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5) return false;
        for (const char c : port)
            if (!IsDigit(c)) return false;
    }
    return !host.empty() && LowerAscii(host) == LowerAscii(makerHost);
}

std::string HandOverText(std::string_view programPath) {
    const std::size_t slash = programPath.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    return std::string(name) + "\r\n";
}

bool WriteHandOverFile(const std::string& programFolder, std::string_view programPath) {
    try {
        std::ofstream out(programFolder + std::string(HandOverFileName), std::ios::binary | std::ios::trunc);
        out << HandOverText(programPath);
        out.close();
        return static_cast<bool>(out);
    } catch (...) {
        NoteSwallowed();
        return false;
    }
}

bool FolderIsWritable(const std::string& folder) {
    if (IsSharedProgramFolder(folder)) return false;  // a package manager owns it
    std::string probe = folder;
    if (probe.empty() || probe.back() != '/') probe += '/';
    probe += ".nuv-write-test-" + std::to_string(::getpid());
    std::FILE* f = std::fopen(probe.c_str(), "wx");
    if (!f) return false;
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

unsigned UpdaterMode(unsigned mode) {
    unsigned out = mode & 0755u;
    out |= 0100u;
    if (mode & 0040u) out |= 0010u;
    if (mode & 0004u) out |= 0001u;
    return out;
}

}  // namespace nuv

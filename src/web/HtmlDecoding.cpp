#include "web/HtmlDecoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>

#include "common/Text.h"

namespace nuv {
namespace {

struct Label {
    std::string_view label;
    std::string_view encoding;
};

// The labels of the Encoding Standard that pages use, and the encodings they name.
constexpr Label kLabels[] = {
    {"unicode-1-1-utf-8", "UTF-8"}, {"unicode11utf8", "UTF-8"}, {"unicode20utf8", "UTF-8"},
    {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"x-unicode20utf8", "UTF-8"},
    {"ansi_x3.4-1968", "windows-1252"}, {"ascii", "windows-1252"}, {"cp1252", "windows-1252"},
    {"cp819", "windows-1252"}, {"csisolatin1", "windows-1252"}, {"ibm819", "windows-1252"},
    {"iso-8859-1", "windows-1252"}, {"iso-ir-100", "windows-1252"}, {"iso8859-1", "windows-1252"},
    {"iso88591", "windows-1252"}, {"iso_8859-1", "windows-1252"}, {"iso_8859-1:1987", "windows-1252"},
    {"l1", "windows-1252"}, {"latin1", "windows-1252"}, {"us-ascii", "windows-1252"},
    {"windows-1252", "windows-1252"}, {"x-cp1252", "windows-1252"},
    {"chinese", "GBK"}, {"csgb2312", "GBK"}, {"csiso58gb231280", "GBK"}, {"gb2312", "GBK"}, {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"}, {"gbk", "GBK"}, {"iso-ir-58", "GBK"}, {"x-gbk", "GBK"}, {"gb18030", "gb18030"},
    {"big5", "Big5"}, {"big5-hkscs", "Big5"}, {"cn-big5", "Big5"}, {"csbig5", "Big5"}, {"x-x-big5", "Big5"},
    {"cseucpkdfmtjapanese", "EUC-JP"}, {"euc-jp", "EUC-JP"}, {"x-euc-jp", "EUC-JP"},
    {"csiso2022jp", "ISO-2022-JP"}, {"iso-2022-jp", "ISO-2022-JP"},
    {"csshiftjis", "Shift_JIS"}, {"ms932", "Shift_JIS"}, {"ms_kanji", "Shift_JIS"}, {"shift-jis", "Shift_JIS"},
    {"shift_jis", "Shift_JIS"}, {"sjis", "Shift_JIS"}, {"windows-31j", "Shift_JIS"}, {"x-sjis", "Shift_JIS"},
    {"cseuckr", "EUC-KR"}, {"csksc56011987", "EUC-KR"}, {"euc-kr", "EUC-KR"}, {"iso-ir-149", "EUC-KR"},
    {"korean", "EUC-KR"}, {"ks_c_5601-1987", "EUC-KR"}, {"ks_c_5601-1989", "EUC-KR"}, {"ksc5601", "EUC-KR"},
    {"ksc_5601", "EUC-KR"}, {"windows-949", "EUC-KR"},
    {"csisolatin2", "ISO-8859-2"}, {"iso-8859-2", "ISO-8859-2"}, {"iso8859-2", "ISO-8859-2"}, {"l2", "ISO-8859-2"},
    {"latin2", "ISO-8859-2"}, {"iso-8859-5", "ISO-8859-5"}, {"cyrillic", "ISO-8859-5"},
    {"iso-8859-7", "ISO-8859-7"}, {"greek", "ISO-8859-7"}, {"iso-8859-15", "ISO-8859-15"}, {"l9", "ISO-8859-15"},
    {"cp1250", "windows-1250"}, {"windows-1250", "windows-1250"}, {"cp1251", "windows-1251"},
    {"windows-1251", "windows-1251"}, {"cp1253", "windows-1253"}, {"windows-1253", "windows-1253"},
    {"cp1254", "windows-1254"}, {"windows-1254", "windows-1254"}, {"iso-8859-9", "windows-1254"},
    {"latin5", "windows-1254"}, {"cp1255", "windows-1255"}, {"windows-1255", "windows-1255"},
    {"cp1256", "windows-1256"}, {"windows-1256", "windows-1256"}, {"cp1257", "windows-1257"},
    {"windows-1257", "windows-1257"}, {"cp1258", "windows-1258"}, {"windows-1258", "windows-1258"},
    {"koi8-r", "KOI8-R"}, {"koi8", "KOI8-R"}, {"koi8-u", "KOI8-U"}, {"ibm866", "IBM866"}, {"866", "IBM866"},
    {"windows-874", "windows-874"}, {"tis-620", "windows-874"}, {"macintosh", "macintosh"},
    {"utf-16", "UTF-16LE"}, {"utf-16le", "UTF-16LE"}, {"unicode", "UTF-16LE"}, {"utf-16be", "UTF-16BE"},
};

// The converter's name of an encoding where it differs from the standard's.
const char* ConverterName(std::string_view encoding) {
    if (encoding == "GBK" || encoding == "gb18030") return "GB18030";
    if (encoding == "Big5") return "BIG5-HKSCS";
    if (encoding == "Shift_JIS") return "CP932";
    if (encoding == "EUC-KR") return "CP949";
    if (encoding == "macintosh") return "MACINTOSH";
    if (encoding == "windows-874") return "CP874";
    return nullptr;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Where the run of ASCII bytes that begins at `from` ends: eight bytes at a time.
size_t AsciiRunEnd(std::string_view in, size_t from) {
    size_t i = from;
    for (; i + 8 <= in.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in.data() + i, 8);
        if (word & 0x8080808080808080ULL) break;
    }
    while (i < in.size() && static_cast<unsigned char>(in[i]) < 0x80) ++i;
    return i;
}

// The UTF-8 decoder of the Encoding Standard: each maximal ill-formed part becomes one
// U+FFFD.
std::string DecodeUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        // A run of ASCII goes over as it is, at once.
        const size_t ascii = AsciiRunEnd(in, i);
        if (ascii > i) {
            out.append(in.data() + i, ascii - i);
            i = ascii;
            if (i == in.size()) break;
        }
        const auto b = static_cast<unsigned char>(in[i]);
        int need = 0;
        unsigned char lower = 0x80, upper = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) need = 1;
        else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lower = 0xA0;
            if (b == 0xED) upper = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lower = 0x90;
            if (b == 0xF4) upper = 0x8F;
        }
        size_t j = i + 1;
        int seen = 0;
        while (seen < need && j < in.size()) {
            const auto c = static_cast<unsigned char>(in[j]);
            if (c < lower || c > upper) break;
            lower = 0x80;
            upper = 0xBF;
            ++j;
            ++seen;
        }
        if (need > 0 && seen == need) {
            out.append(in.substr(i, j - i));
        } else {
            out += kReplacement;
            if (need == 0) j = i + 1;
        }
        i = j;
    }
    return out;
}

// windows-1252: Latin-1 but for 0x80 to 0x9F.
std::string DecodeWindows1252(std::string_view in) {
    static constexpr std::array<std::uint16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(in.size());
    for (const char ch : in) {
        const auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : b);
    }
    return out;
}

// Through the system's converter; each byte it cannot read becomes U+FFFD. Nothing when
// it does not know the encoding.
std::optional<std::string> DecodeWithIconv(std::string_view in, const char* name) {
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    std::string buffer(4096, '\0');
    char* source = const_cast<char*>(in.data());
    size_t left = in.size();
    while (left > 0) {
        char* target = buffer.data();
        size_t room = buffer.size();
        const size_t rc = iconv(cd, &source, &left, &target, &room);
        out.append(buffer.data(), buffer.size() - room);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out += kReplacement;  // EILSEQ or a sequence cut off at the end
            ++source;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The charset in a meta content value, as the standard extracts it; "" for none.
std::string CharsetInMetaContent(std::string_view s) {
    for (size_t at = 0;;) {
        const std::string lower = LowerAscii(s);
        at = lower.find("charset", at);
        if (at == std::string::npos) return {};
        size_t i = at + 7;
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size() || s[i] != '=') {
            at = i;
            continue;
        }
        ++i;
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size()) return {};
        if (s[i] == '"' || s[i] == '\'') {
            const size_t end = s.find(s[i], i + 1);
            return end == std::string_view::npos ? std::string() : std::string(s.substr(i + 1, end - i - 1));
        }
        size_t end = i;
        while (end < s.size() && !IsSpace(s[end]) && s[end] != ';') ++end;
        return std::string(s.substr(i, end - i));
    }
}

// One attribute of the prescan at `i` (the "get an attribute" steps); false at the tag's end.
bool GetAttribute(std::string_view s, size_t& i, std::string& name, std::string& value) {
    while (i < s.size() && (IsSpace(s[i]) || s[i] == '/')) ++i;
    if (i >= s.size() || s[i] == '>') return false;
    name.clear();
    value.clear();
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '=' && !name.empty()) break;
        if (IsSpace(c)) {
            while (i < s.size() && IsSpace(s[i])) ++i;
            if (i >= s.size() || s[i] != '=') return true;
            break;
        }
        if (c == '/' || c == '>') return true;
        name += LowerAsciiChar(c);
    }
    if (i >= s.size()) return true;
    ++i;  // the "="
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i >= s.size()) return true;
    if (s[i] == '"' || s[i] == '\'') {
        const char quote = s[i++];
        while (i < s.size() && s[i] != quote) value += LowerAsciiChar(s[i++]);
        if (i < s.size()) ++i;
        return true;
    }
    while (i < s.size() && !IsSpace(s[i]) && s[i] != '>') value += LowerAsciiChar(s[i++]);
    return true;
}

}  // namespace

std::string EncodingOfLabel(std::string_view label) {
    const std::string lower = LowerAscii(TrimView(label));
    for (const Label& l : kLabels)
        if (l.label == lower) return std::string(l.encoding);
    return {};
}

std::string CharsetOfContentType(std::string_view contentType) {
    const size_t semicolon = contentType.find(';');
    if (semicolon == std::string_view::npos) return {};
    std::string charset = CharsetInMetaContent(contentType.substr(semicolon));
    return charset;
}

std::string PrescanEncoding(std::string_view bytes) {
    const std::string_view s = bytes.substr(0, 1024);
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, 4, "<!--") == 0) {
            const size_t end = s.find("-->", i + 2);
            if (end == std::string_view::npos) return {};
            i = end + 3;
            continue;
        }
        const bool meta = i + 5 < s.size() && LowerAscii(s.substr(i, 5)) == "<meta" &&
                          (IsSpace(s[i + 5]) || s[i + 5] == '/');
        if (meta) {
            i += 6;
            std::string name, value, charset;
            bool gotPragma = false, needPragma = false, haveCharset = false;
            bool seenHttpEquiv = false, seenContent = false, seenCharset = false;
            while (GetAttribute(s, i, name, value)) {
                if (name == "http-equiv" && !seenHttpEquiv) {
                    seenHttpEquiv = true;
                    if (value == "content-type") gotPragma = true;
                } else if (name == "content" && !seenContent) {
                    seenContent = true;
                    if (!haveCharset) {
                        const std::string found = CharsetInMetaContent(value);
                        if (!found.empty()) {
                            charset = EncodingOfLabel(found);
                            haveCharset = true;
                            needPragma = true;
                        }
                    }
                } else if (name == "charset" && !seenCharset) {
                    seenCharset = true;
                    charset = EncodingOfLabel(value);
                    haveCharset = true;
                    needPragma = false;
                }
            }
            if (haveCharset && (!needPragma || gotPragma) && !charset.empty()) {
                if (charset == "UTF-16LE" || charset == "UTF-16BE") return "UTF-8";
                return charset;
            }
            continue;
        }
        const bool tag = s[i] == '<' && i + 1 < s.size() &&
                         (std::isalpha(static_cast<unsigned char>(s[i + 1])) ||
                          (s[i + 1] == '/' && i + 2 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 2]))));
        if (tag) {
            while (i < s.size() && !IsSpace(s[i]) && s[i] != '>') ++i;
            std::string name, value;
            while (GetAttribute(s, i, name, value)) {
            }
            ++i;
            continue;
        }
        if (s[i] == '<' && i + 1 < s.size() && (s[i + 1] == '!' || s[i + 1] == '/' || s[i + 1] == '?')) {
            const size_t end = s.find('>', i);
            if (end == std::string_view::npos) return {};
            i = end + 1;
            continue;
        }
        ++i;
    }
    return {};
}

DecodedPage DecodeHtml(std::string_view bytes, std::string_view contentType) {
    DecodedPage page;
    std::string encoding;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding = "UTF-8";
        bytes.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
        encoding = "UTF-16LE";
        bytes.remove_prefix(2);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        encoding = "UTF-16BE";
        bytes.remove_prefix(2);
    }
    if (encoding.empty()) encoding = EncodingOfLabel(CharsetOfContentType(contentType));
    if (encoding.empty()) encoding = PrescanEncoding(bytes);
    if (encoding.empty()) {
        page.guessed = true;
        encoding = "windows-1252";
    }
    page.encoding = encoding;
    if (encoding == "UTF-8") {
        page.text = DecodeUtf8(bytes);
    } else if (encoding == "windows-1252") {
        page.text = DecodeWindows1252(bytes);
    } else {
        const char* name = ConverterName(encoding);
        std::optional<std::string> text = DecodeWithIconv(bytes, name ? name : encoding.c_str());
        page.text = text ? std::move(*text) : DecodeWindows1252(bytes);
        if (!text) page.encoding = "windows-1252";
    }
    return page;
}

bool HoldsParserReplacedCharacters(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        // Printable ASCII, most of a page, is never replaced.
        if (b >= 0x20 && b < 0x7F) {
            ++i;
            continue;
        }
        std::uint32_t c = b;
        size_t length = 1;
        if (b >= 0xF0) {
            length = 4;
            c = b & 0x07;
        } else if (b >= 0xE0) {
            length = 3;
            c = b & 0x0F;
        } else if (b >= 0xC0) {
            length = 2;
            c = b & 0x1F;
        }
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if ((c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || (c >= 0x7F && c <= 0x9F) ||
            (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return true;
    }
    return false;
}

}  // namespace nuv

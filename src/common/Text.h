#pragma once

#include <string>
#include <string_view>
#include <vector>

// Byte-wise text rules shared by every part of the program. Text is UTF-8 held in
// std::string; positions and lengths count bytes.
namespace nuv {

// True for the bytes that trimming removes: value 32 (space) or less.
constexpr bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 32; }

// Maps only the ASCII letters A-Z to a-z; every other byte is kept.
constexpr char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Removes bytes of value 32 or less at both ends.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);

// Lower-cases the ASCII letters only.
std::string LowerAscii(std::string_view s);

// Trimmed and ASCII-lower-cased: the key under which two addresses are the same.
std::string NormalizedKey(std::string_view s);

// `s` with every "%" followed by two hexadecimal digits replaced by the byte they name.
std::string PercentDecoded(std::string_view s);

inline bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// True when `text` contains `part` with ASCII letters compared without case.
bool ContainsNoCase(std::string_view text, std::string_view part);

bool StartsWith(std::string_view text, std::string_view prefix);

// Splits at every CR LF, CR or LF. A final line break does not start another line;
// an empty text gives no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Joins lines, each followed by CR LF (the last one included).
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Replaces every `from` by `to`, scanning left to right without rescanning replaced text.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Percent-encodes every byte that may not stand in an address as sent in a request:
// bytes 0-32, 127 and 128 or more (UTF-8 text). Everything else, "%XX" included, stays.
std::string EncodeUnsafeAddressBytes(std::string_view text);

// The same applied to the part of an absolute address after its "scheme://authority",
// so a host name is left for the resolver as written. Text without "://" is encoded whole.
std::string EncodeRequestAddress(std::string_view address);

// Fills each "%s" of `format` with the next argument, in order. A "%s" with no argument
// left stays empty; extra arguments are ignored. Other "%" sequences are copied as is.
std::string FormatS(std::string_view format, const std::vector<std::string_view>& args);

// The length of the valid UTF-8 sequence that starts at text[i] (1 for an ASCII byte);
// 0 for a byte that starts none (a stray continuation byte, an overlong form, a
// surrogate, a truncated sequence).
size_t Utf8SequenceLength(std::string_view text, size_t i);

// True for the code point of a control character: below U+0020, U+007F, and the C1
// controls U+0080 to U+009F.
constexpr bool IsControlCodePoint(unsigned cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// `text` as one line for a terminal or a log: every control character becomes an escape
// ("\x1b", "\n", "\u0085") and every byte that is not valid UTF-8 one of "\xHH", so no
// byte of it can move the cursor, change colours or start another line. With
// `keepLines`, newlines and tabs stay (a page's text printed to a terminal).
std::string EscapeForTerminal(std::string_view text, bool keepLines = false);

}  // namespace nuv

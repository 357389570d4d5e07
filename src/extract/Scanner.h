#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "web/Browser.h"

// The reference scanner. A reference is recognised by its ending, a marker such as
// ".gif": for every occurrence the scanner looks back from the marker to the nearest
// delimiter, takes what lies between as the reference and resolves it against a base
// address. No parsing, no de-duplication: every occurrence gives one address, in the
// order of the text. Every scan walks one lower-cased copy of the text with an index,
// so its cost grows with the length of the text, not with occurrences times length.
namespace nuv {

// Occurrences handled by the last counting scan (ScanReferences, ScanPageReferences,
// ScanSourceFlash). Each of them resets it to 0 when it starts. ScanReferences and
// ScanPageReferences leave it at kScanLimit + 1 when they stopped at the bound.
extern thread_local int ScanCount;

// The most occurrences one counting scan handles, and the most references taken from
// one style sheet.
inline constexpr int kScanLimit = 10000;

// References ending in `marker` (matched without regard to ASCII case) in `text`,
// with their capitals kept, cut at the last of  " space ' = (  before the marker and
// trimmed; references of 50 bytes or more are dropped. Each is resolved against `base`.
// The search moves on one byte past the start of each occurrence, so when no delimiter
// stands between two occurrences the second reference starts right after the first
// byte of the first marker ("a.gif,b.gif" gives "gif,b.gif" second).
std::vector<std::string> ScanReferences(std::string_view marker, std::string_view text,
                                        std::string_view base);

// ScanReferences for each of several markers over one text: element i of the result is
// ScanReferences(markers[i], text, base), byte for byte. The text is walked once, without
// a lower-cased copy, and the look-back for a delimiter stops as soon as the reference is
// known to be too long. ScanCount is left as the scan of the last marker leaves it.
std::vector<std::vector<std::string>> ScanReferencesEach(const std::vector<std::string_view>& markers,
                                                         std::string_view text, std::string_view base);

// As ScanReferences over the page source of `browser` (read once), without the length
// filter, each reference resolved against the browser's page address, read anew for
// every occurrence. Runs on the user-interface thread.
std::vector<std::string> ScanPageReferences(std::string_view marker, IBrowser& browser);
// The same over `source`, the page source of `browser` read before.
std::vector<std::string> ScanPageReferences(std::string_view marker, std::string_view source, IBrowser& browser);

// Images named in the lines of a style sheet, lower-cased: for every line, for each of
// ".gif", ".png", ".jpg", ".jpeg", ".ico" in this order, the first occurrence only.
// Resolved against `base`, the sheet's own address. A failure loses one reference.
// At most kScanLimit references, the first in this order.
std::vector<std::string> ScanSheetImages(std::string_view base, const std::vector<std::string>& lines);

// As ScanSheetImages with the one marker ".swf".
std::vector<std::string> ScanSheetFlash(std::string_view base, const std::vector<std::string>& lines);

// Flash movies of a page source: the text lower-cased as a whole, every ".swf", cut at
// the last of  " space ' =  (not at "("), untrimmed, no length filter, at most
// kScanLimit occurrences; each search starts after the whole previous ".swf".
std::vector<std::string> ScanSourceFlash(std::string_view text, std::string_view base);

}  // namespace nuv

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The rules of the online update: reading the maker's update page, deciding whether it
// offers a newer version, and the files left in the program's folder for the updater.
namespace nuv {

// The fixed text that every genuine update page carries in its body.
inline constexpr std::string_view UpdateMarker =
    "此为示例标记串sample_update_marker_text_ok供校验xyz升级页面用end_of_marker15";

// The file the updater is downloaded to, and the hand-over file it reads, both in the
// program's folder.
inline constexpr std::string_view UpdaterFileName = "update.exe";
inline constexpr std::string_view HandOverFileName = "update.txt";

// What the update window has read from the update page. The window keeps one for the
// whole run; each read replaces UpdateText, each parse the other two.
struct UpdateInfo {
    std::string UpdateText;             // the lower-cased body of the last page read
    float UpdateVersion = 0.0f;         // the last version parsed successfully; 0 before any
    std::string UpdateDownloadAddress;  // the last download address parsed
};

// True when `bodyHtml`, lower-cased, contains the marker: the page is a genuine update page.
bool IsUpdatePage(std::string_view bodyHtml);

// Sets UpdateVersion and UpdateDownloadAddress from UpdateText. Positions are those of
// the first "softversion_", "_softversion", "softurl_" and "_softurl" (1-based, 0 when
// missing): the version is the text from the first marker's end up to the second, read
// as a 32-bit number (kept when the span is empty or negative or the text is no
// number); the address is the text between the other two (empty for an empty or
// negative span). Returns the version this text gave, none when it gave none.
std::optional<float> ParseUpdateText(UpdateInfo& info);

// A version number as the update page and the updater's manifest write it: decimal, "."
// as the separator, blanks around it, an optional sign and exponent; read as a 32-bit
// number. None for anything else, and for a number beyond the 32-bit range.
std::optional<float> ReadVersionNumber(std::string_view text);

// True when `version` is newer than the running program: version - ProductVersion >
// 0.01, worked out in extended precision.
bool IsNewerVersion(float version);

// The check of an update page's body: sets UpdateText to `bodyHtml` lower-cased and,
// when it carries the marker, parses it. True when this page's own version is newer; a
// page without a readable version is never newer, whatever an earlier page gave.
bool CheckUpdateText(UpdateInfo& info, std::string_view bodyHtml);

// True when `address` is an https address on `makerHost` (any port, compared without
// regard to case) and names no user. Only such an address is taken for the update page
// and for the updater. An empty `makerHost` matches nothing.
bool IsOnMakerHost(std::string_view address, std::string_view makerHost);

// The content of "update.txt": the program's file name without its folder, then CR LF.
std::string HandOverText(std::string_view programPath);

// Writes "update.txt" into `programFolder` (ending in "/"), replacing an older one.
// False when it cannot be written; nothing is thrown.
bool WriteHandOverFile(const std::string& programFolder, std::string_view programPath);

// True when a new file can be created in `folder` (tried with a probe file that is
// removed again).
bool FolderIsWritable(const std::string& folder);

// The permissions the updater gets from those of its downloaded file (`mode`, of which
// only the permission bits count): execute wherever it may be read, and written by its
// owner alone.
unsigned UpdaterMode(unsigned mode);

}  // namespace nuv

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The address history offered under the address box: the addresses the user typed into
// the installed browsers, and those opened from this program's own address box.
namespace nuv {

// Where the history is read from. Nothing here is looked up from the environment.
struct TypedAddressSources {
    std::string homeFolder;    // the user's home folder, ending in "/"
    std::string configFolder;  // the per-user configuration folder ("" for home + ".config/")
    std::string recentFile;    // this program's recent addresses ("" for none)
};

// Appends the typed addresses of every source to `list`, then leaves `list` sorted
// alphabetically without regard to (ASCII) case, with each address once. Sources: the
// places.sqlite of every Firefox profile named in a profiles.ini (moz_places rows with
// typed = 1); the History file of every profile of the Chromium family (urls rows with
// typed_count > 0); and `recentFile`.
// The databases are opened read-only and immutable, so a running browser's lock does
// not matter. With `webOnly`, only addresses whose lower-cased text begins with
// "http://" or "https://" are kept. A source that cannot be read adds what was read
// from it before the failure, and the others are still read.
void ReadTypedAddresses(std::vector<std::string>& list, bool webOnly, const TypedAddressSources& sources);

// The recent addresses of this program: at most this many, the most recent first.
inline constexpr size_t RecentAddressLimit = 25;

// The addresses of a recent-addresses file: one a line, trimmed, empty lines skipped,
// at most RecentAddressLimit.
std::vector<std::string> ParseRecentAddresses(std::string_view text);

// One address a line, each followed by LF.
std::string FormatRecentAddresses(const std::vector<std::string>& recent);

// Puts `address` (trimmed) first, removing an equal one further down, and keeps at most
// RecentAddressLimit. An empty address or one holding a line break changes nothing.
void RememberAddress(std::vector<std::string>& recent, std::string_view address);

// Adds `address` to the recent-addresses file `file` (written through a temporary
// file). Throws std::runtime_error when it cannot be written.
void RecordRecentAddress(const std::string& file, std::string_view address);

}  // namespace nuv

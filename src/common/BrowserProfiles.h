#pragma once

#include <string>
#include <string_view>
#include <vector>

// Where the installed browsers keep their profiles: the address history and the
// cookies are read from them. Plain C++; nothing here is looked up from the environment.
namespace nuv {

struct BrowserFolders {
    std::string homeFolder;    // the user's home folder, ending in "/"
    std::string configFolder;  // the per-user configuration folder ("" for home + ".config/")
};

// The folders that may hold a Firefox profiles.ini (Firefox, its snap and flatpak, LibreWolf).
std::vector<std::string> FirefoxProfileRoots(const BrowserFolders& folders);

struct FirefoxProfile {
    std::string name;    // Name= of its section ("" when it has none)
    std::string folder;  // the profile folder, ending in "/"
};

// The profiles that the profiles.ini in `root` names, in the order it lists them.
std::vector<FirefoxProfile> FirefoxProfiles(const std::string& root);

// One browser of the Chromium family and the folders its profiles live in: "History",
// "Cookies" and the rest are in such a folder itself or in one of its sub-folders
// ("Default", "Profile 1", ...).
struct ChromiumBrowser {
    std::string name;  // chromium, chrome, brave, edge, vivaldi, opera, ...
    std::vector<std::string> folders;
};
std::vector<ChromiumBrowser> ChromiumFamily(const BrowserFolders& folders);

// Every folder of every browser of ChromiumFamily.
std::vector<std::string> ChromiumFamilyFolders(const BrowserFolders& folders);

// The SQLite "file:" URI that opens `path` read-only and immutable, so that a running
// browser's lock does not matter: every byte but the unreserved ones and "/"
// percent-encoded, so that "?", "#" and "%" in folder names stay part of the path.
std::string ReadOnlyDatabaseUri(std::string_view path);

}  // namespace nuv

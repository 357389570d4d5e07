#pragma once

#include <string>
#include <string_view>

// Folder path text. Folders that the program builds end in "/".
namespace nuv {

// Normalises a folder typed or chosen by the user, in place: trims bytes <= 32 at both
// ends, appends one "/", then replaces "///" by "/" and after that "//" by "/", each
// in one left-to-right pass that does not rescan replaced text. "  /pics " -> "/pics/",
// "" -> "/", "a////b" -> "a/b/". Backslashes are ordinary bytes here.
void NormalizeFolderPath(std::string& path);

// The user's home folder ending in "/": $HOME when set and not empty, else the home
// folder of the user database, else "/". The fallback where a folder is unusable.
std::string UserHomeFolder();

// The per-user configuration folder ending in "/": `xdgConfigHome` (the value of
// $XDG_CONFIG_HOME) when it is an absolute path, else `home` + ".config/".
std::string UserConfigFolder(const std::string& home, const std::string& xdgConfigHome);

// The user's download folder ending in "/": XDG_DOWNLOAD_DIR of `userDirs` (the text of
// the configuration folder's "user-dirs.dirs", "$HOME" standing for `home`) when it
// names an absolute path, else `home` + "Downloads/".
std::string UserDownloadFolder(const std::string& home, const std::string& userDirs);

// True for a folder of programs that the system shares (/usr/..., /bin, /sbin): a
// program installed there keeps its files per user even when it could write there (as
// root it can), so that nothing is left behind in a folder a package manager owns.
bool IsSharedProgramFolder(std::string_view folder);

}  // namespace nuv

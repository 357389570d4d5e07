#pragma once

#include <string>

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

}  // namespace nuv

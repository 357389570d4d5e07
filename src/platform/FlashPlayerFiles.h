#pragma once

#include <string>

#include <QString>

namespace nuv {

// The files of the Flash player (see FlashPlayer.h), which need no engine to be found.

// The folder of the player's files in use, "" when playback is off or no player was found.
// Looks beside the program ("ruffle/"), in "../share/nuv-webextract/ruffle/" of it, then in
// the data folder of the build tree.
QString FlashPlayerFolder();
// The player's version ("0.6.0"), "" without a player.
QString FlashPlayerVersion();
// One line for the version text, ending in a newline: whether movies play, and why not.
std::string FlashPlayerStatus();

// The script that plays the Flash movies of a document in the page's own world
// (scripts::FlashPlayerLoader over the player's files), "" when there is no player.
QString FlashPlayerScript();

}  // namespace nuv

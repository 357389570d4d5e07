#pragma once

#include <optional>
#include <string_view>
#include <utility>

namespace nuv {

// The size, width by height, of the primary picture of an AVIF or HEIF file as a browser
// shows it, from the first bytes of the file (`head`): the image spatial extents of the
// file's primary item, turned by its rotation; nothing when `head` holds no such file or
// too little of it. Plain C++.
std::optional<std::pair<int, int>> IsoPictureSize(std::string_view head);

// The size of an ICO file's picture as a browser shows it, from the file's first bytes:
// its largest entry (an entry of width or height 0 is 256 wide or high); nothing for no
// icon directory, or too little of it.
std::optional<std::pair<int, int>> IcoPictureSize(std::string_view head);

}  // namespace nuv

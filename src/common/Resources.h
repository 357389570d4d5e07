#pragma once

#include <string>
#include <string_view>

// Names of the program's embedded resources (button glyphs, banners, text templates).
namespace nuv {

// Prefix of the resource tree in the Qt resource system.
inline constexpr std::string_view ResourcePrefix = ":/res/";

// The file of a resource inside the resource tree, with name and type matched without
// regard to case: ("Tesvarn", "JPG") -> "jpg/tesvarn.jpg", ("page1", "TXT") ->
// "txt/page1.txt". The Qt layer opens ResourcePrefix + this.
std::string ResourceFile(std::string_view name, std::string_view type);

}  // namespace nuv

#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Which pictures of an image result look alike, for the filter bar's "隐藏相似图片".
namespace nuv {

// A group number for each picture, by its difference hash: pictures whose hashes differ in
// at most kSimilarPictureBits bits from the first picture of a group join it; the groups
// are numbered from 0 in the order of their first picture. A picture without a hash (not
// decoded) is in none: -1.
std::vector<int> SimilarPictureGroups(const std::vector<std::optional<std::uint64_t>>& hashes);

}  // namespace nuv

#include "library/logic/SimilarPictures.h"

#include "save/Duplicates.h"

namespace nuv {

std::vector<int> SimilarPictureGroups(const std::vector<std::optional<std::uint64_t>>& hashes) {
    std::vector<int> groups(hashes.size(), -1);
    std::vector<std::uint64_t> firsts;  // the hash of each group's first picture
    for (std::size_t i = 0; i < hashes.size(); ++i) {
        if (!hashes[i]) continue;
        for (std::size_t g = 0; g < firsts.size() && groups[i] < 0; ++g) {
            if (HashDistance(firsts[g], *hashes[i]) <= kSimilarPictureBits) groups[i] = static_cast<int>(g);
        }
        if (groups[i] < 0) {
            groups[i] = static_cast<int>(firsts.size());
            firsts.push_back(*hashes[i]);
        }
    }
    return groups;
}

}  // namespace nuv

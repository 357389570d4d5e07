#include "save/Duplicates.h"

#include <bit>

namespace nuv {
namespace {

// Larger: more pixels, or as many and more bytes.
bool Larger(std::uint64_t pixels, std::uint64_t bytes, std::uint64_t thanPixels, std::uint64_t thanBytes) {
    return pixels != thanPixels ? pixels > thanPixels : bytes > thanBytes;
}

}  // namespace

int HashDistance(std::uint64_t a, std::uint64_t b) { return std::popcount(a ^ b); }

std::string HashHex(std::uint64_t hash) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = kHex[hash & 15];
    return hex;
}

std::vector<std::string> DuplicateFinder::Decide(const std::vector<SavedFile>& files) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> of(files.size());
    // Similar pictures of this page: the one kept so far of each group, and its members.
    struct Group {
        std::size_t keep;
        std::vector<std::size_t> members;
    };
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> pageSha;  // exact: sha256 of this page: the one kept
    for (std::size_t i = 0; i < files.size(); ++i) {
        const SavedFile& f = files[i];
        if (f.sha256.empty()) continue;
        if (const auto it = bySha_.find(f.sha256); it != bySha_.end()) {
            if (it->second != f.file) of[i] = it->second;
            continue;
        }
        if (earlier_) {
            if (const auto file = earlier_(f.sha256); file && *file != f.file) {
                of[i] = *file;
                continue;
            }
        }
        if (similar_ && f.dhash) {
            const Kept* before = nullptr;
            for (const Kept& k : pictures_) {
                if (HashDistance(k.dhash, *f.dhash) <= kSimilarPictureBits &&
                    !Larger(f.pixels, f.bytes, k.pixels, k.bytes) && k.file != f.file) {
                    before = &k;
                    break;
                }
            }
            if (before != nullptr) {
                of[i] = before->file;
                continue;
            }
            Group* group = nullptr;
            for (Group& g : groups) {
                if (HashDistance(*files[g.keep].dhash, *f.dhash) <= kSimilarPictureBits) {
                    group = &g;
                    break;
                }
            }
            if (group == nullptr) {
                groups.push_back({i, {}});
            } else if (files[group->keep].file == f.file) {
                // The same file written again: nothing to keep apart.
            } else if (Larger(f.pixels, f.bytes, files[group->keep].pixels, files[group->keep].bytes)) {
                group->members.push_back(group->keep);
                group->keep = i;
            } else {
                group->members.push_back(i);
            }
            continue;
        }
        if (const auto it = pageSha.find(f.sha256); it != pageSha.end()) {
            if (files[it->second].file != f.file) of[i] = files[it->second].file;
            continue;
        }
        pageSha.emplace(f.sha256, i);
    }
    for (const Group& g : groups) {
        for (std::size_t m : g.members) of[m] = files[g.keep].file;
        const SavedFile& k = files[g.keep];
        pictures_.push_back({*k.dhash, k.pixels, k.bytes, k.file});
        bySha_.emplace(k.sha256, k.file);
    }
    for (const auto& [sha, index] : pageSha) bySha_.emplace(sha, files[index].file);
    // Members of a group whose bytes equal a kept file of another group stay duplicates
    // of their own group's picture; their bytes map to it.
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!of[i].empty() && !files[i].sha256.empty()) bySha_.emplace(files[i].sha256, of[i]);
    }
    return of;
}

}  // namespace nuv

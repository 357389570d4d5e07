#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Which saved files of a run are kept and which are duplicates of a kept one
// (nuv-extract --dedup).
namespace nuv {

// Pictures whose difference hashes differ in at most this many of their 64 bits look
// alike: a scaled or recompressed copy differs in a few, another picture in about 32.
inline constexpr int kSimilarPictureBits = 6;

// The number of bits in which two difference hashes differ.
int HashDistance(std::uint64_t a, std::uint64_t b);

// The dhash as --json prints it: 16 lower-case hex digits.
std::string HashHex(std::uint64_t hash);

// What is known of one saved file.
struct SavedFile {
    std::string file;
    std::string sha256;  // "" when it could not be read: never a duplicate
    std::optional<std::uint64_t> dhash;  // a picture that was decoded (similar mode)
    std::uint64_t pixels = 0;  // width * height, 0 when unknown
    std::uint64_t bytes = 0;
};

// The duplicates among the files of a run, one page at a time. Exact: a file with the
// bytes of a file kept before is its duplicate. Similar: also a picture that looks like
// one kept on an earlier page and is not larger, and of pictures alike on one page only
// the largest (by pixels, then bytes; the first of equal ones) is kept. A file written
// again under the same name is no duplicate of itself. Any thread.
class DuplicateFinder {
public:
    // `earlier(sha256)`: the file of an earlier run with those bytes, if there is one.
    explicit DuplicateFinder(bool similar, std::function<std::optional<std::string>(const std::string&)> earlier = {})
        : similar_(similar), earlier_(std::move(earlier)) {}

    // For each file of one page, in list order: "" when it is kept, else the file it
    // duplicates. The kept ones count for the pages that follow.
    std::vector<std::string> Decide(const std::vector<SavedFile>& files);
    bool Similar() const { return similar_; }

private:
    struct Kept {
        std::uint64_t dhash;
        std::uint64_t pixels, bytes;
        std::string file;
    };
    const bool similar_;
    std::function<std::optional<std::string>(const std::string&)> earlier_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::string> bySha_;  // sha256: the file kept
    std::vector<Kept> pictures_;                           // similar: the pictures kept
};

}  // namespace nuv

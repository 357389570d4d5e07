#include "save/PictureHeaders.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace nuv {
namespace {

// The brands of the files whose pictures are items of the HEIF container.
constexpr std::string_view kBrands[] = {"avif", "avis", "heic", "heix", "heim", "heis", "mif1", "msf1"};

std::uint32_t Be(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// A box: its type and its content (after the header), within the bytes there are.
struct Box {
    std::string_view type;
    std::string_view body;
};

// The boxes one after the other in `s`; a box that claims more than `s` holds ends the list.
std::vector<Box> Boxes(std::string_view s) {
    std::vector<Box> boxes;
    for (std::size_t at = 0; at + 8 <= s.size() && boxes.size() < 4096;) {
        std::uint64_t size = Be(s, at, 4);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > s.size()) break;
            size = (std::uint64_t{Be(s, at + 8, 4)} << 32) | Be(s, at + 12, 4);
            header = 16;
        } else if (size == 0) {
            size = s.size() - at;
        }
        if (size < header || size > s.size() - at) break;
        boxes.push_back({s.substr(at + 4, 4), s.substr(at + header, static_cast<std::size_t>(size) - header)});
        at += static_cast<std::size_t>(size);
    }
    return boxes;
}

std::string_view Find(const std::vector<Box>& boxes, std::string_view type) {
    for (const Box& b : boxes)
        if (b.type == type) return b.body;
    return {};
}

bool Branded(std::string_view ftyp) {
    for (std::size_t at = 0; at + 4 <= ftyp.size(); at += at == 0 ? 8 : 4)  // major brand, then the compatible ones
        for (std::string_view brand : kBrands)
            if (ftyp.substr(at, 4) == brand) return true;
    return false;
}

}  // namespace

std::optional<std::pair<int, int>> IcoPictureSize(std::string_view head) {
    if (head.size() < 6 || Be(head, 0, 2) != 0 || Be(head, 2, 2) != 0x0100) return std::nullopt;  // type 1, little-endian
    const std::size_t count = static_cast<unsigned char>(head[4]) | (static_cast<unsigned char>(head[5]) << 8);
    if (count == 0 || head.size() < 6 + 16 * count) return std::nullopt;
    std::optional<std::pair<int, int>> largest;
    for (std::size_t i = 0; i < count; ++i) {
        const auto side = [&](std::size_t at) {
            const int v = static_cast<unsigned char>(head[6 + 16 * i + at]);
            return v == 0 ? 256 : v;
        };
        const std::pair<int, int> size(side(0), side(1));
        if (!largest || size.first * size.second > largest->first * largest->second) largest = size;
    }
    return largest;
}

std::optional<std::pair<int, int>> IsoPictureSize(std::string_view head) {
    const std::vector<Box> top = Boxes(head);
    if (top.empty() || top[0].type != "ftyp" || !Branded(top[0].body)) return std::nullopt;
    const std::string_view meta = Find(top, "meta");
    if (meta.size() < 4) return std::nullopt;
    const std::vector<Box> inMeta = Boxes(meta.substr(4));  // after its version and flags
    const std::vector<Box> properties = Boxes(Find(Boxes(Find(inMeta, "iprp")), "ipco"));
    // The primary item, and the properties the item association gives it (1-based).
    std::optional<std::uint32_t> primary;
    if (const std::string_view pitm = Find(inMeta, "pitm"); pitm.size() >= 6)
        primary = pitm[0] == 0 ? Be(pitm, 4, 2) : pitm.size() >= 8 ? std::optional(Be(pitm, 4, 4)) : std::nullopt;
    std::vector<std::uint32_t> associated;
    const std::string_view ipma = Find(Boxes(Find(inMeta, "iprp")), "ipma");
    if (primary && ipma.size() >= 8) {
        const int idBytes = ipma[0] == 0 ? 2 : 4;
        const int indexBytes = (Be(ipma, 1, 3) & 1) ? 2 : 1;
        const std::uint32_t entries = Be(ipma, 4, 4);
        std::size_t at = 8;
        for (std::uint32_t e = 0; e < entries && at + static_cast<std::size_t>(idBytes) + 1 <= ipma.size(); ++e) {
            const std::uint32_t item = Be(ipma, at, idBytes);
            const std::size_t count = static_cast<unsigned char>(ipma[at + static_cast<std::size_t>(idBytes)]);
            at += static_cast<std::size_t>(idBytes) + 1;
            if (at + count * static_cast<std::size_t>(indexBytes) > ipma.size()) break;
            for (std::size_t k = 0; k < count; ++k, at += static_cast<std::size_t>(indexBytes)) {
                const std::uint32_t index = Be(ipma, at, indexBytes) & (indexBytes == 2 ? 0x7fffU : 0x7fU);
                if (item == *primary) associated.push_back(index);
            }
        }
    }
    // Without an association the first extents stand for the picture.
    const auto applies = [&](std::size_t i) {
        if (associated.empty()) return true;
        for (const std::uint32_t a : associated)
            if (a == i + 1) return true;
        return false;
    };
    std::optional<std::pair<int, int>> size;
    bool turned = false;
    for (std::size_t i = 0; i < properties.size(); ++i) {
        const Box& p = properties[i];
        if (!applies(i)) continue;
        if (p.type == "ispe" && !size && p.body.size() >= 12) {
            const std::uint32_t w = Be(p.body, 4, 4), h = Be(p.body, 8, 4);
            if (w == 0 || h == 0 || w > 0x7fffffffU || h > 0x7fffffffU) return std::nullopt;
            size = std::pair<int, int>(static_cast<int>(w), static_cast<int>(h));
        } else if (p.type == "irot" && !p.body.empty()) {
            turned = (p.body[0] & 1) != 0;  // a quarter or three quarters of a turn
        }
    }
    if (size && turned) std::swap(size->first, size->second);
    return size;
}

}  // namespace nuv

#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include <gumbo.h>

#include "web/StaticDocument.h"

// What the readings of a parsed document share: the parse itself and the names of its
// elements. Private to the static document reader. Plain C++.
namespace nuv {

// The memory of one parse. gumbo's many small allocations are cut from large blocks and
// freed with them at once; past kMostArenaBytes they come from the heap, and the tree is
// then freed node by node.
class ParseArena {
public:
    static constexpr std::size_t kMostArenaBytes = std::size_t{64} << 20;
    static constexpr std::size_t kMostBlocks = 16;
    ParseArena() { blocks_.reserve(kMostBlocks); }
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;
    ~ParseArena();
    static void* Allocate(void* arena, std::size_t size);
    static void Deallocate(void* arena, void* pointer);
    // Whether some allocation came from the heap.
    bool Spilled() const { return spilled_; }

private:
    struct Block {
        char* begin;
        char* end;
    };
    bool Owns(const void* pointer) const;
    std::vector<Block> blocks_;
    char* next_ = nullptr;
    char* end_ = nullptr;
    std::size_t bytes_ = 0;
    bool spilled_ = false;
};

struct StaticDocument::Parsed {
    std::string text;
    ParseArena arena;
    GumboOutput* output = nullptr;
    std::once_flag serialisedOnce;
    std::string serialised;  // TopElementOuterHtml's, once asked for
    ~Parsed();
    GumboOptions Options();
    const GumboNode* Root() const { return output->document; }
};

namespace detail {

inline bool IsHtml(const GumboElement& e) { return e.tag_namespace == GUMBO_NAMESPACE_HTML; }
// The element's name as the DOM has it: lower case, SVG's mixed-case names restored.
std::string ElementName(const GumboElement& e);

}  // namespace detail
}  // namespace nuv

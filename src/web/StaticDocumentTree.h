#pragma once

#include <string>

#include <gumbo.h>

#include "web/StaticDocument.h"

// What the readings of a parsed document share: the parse itself and the names of its
// elements. Private to the static document reader. Plain C++.
namespace nuv {

struct StaticDocument::Parsed {
    std::string text;
    GumboOutput* output = nullptr;
    ~Parsed();
    const GumboNode* Root() const { return output->document; }
};

namespace detail {

inline bool IsHtml(const GumboElement& e) { return e.tag_namespace == GUMBO_NAMESPACE_HTML; }
// The element's name as the DOM has it: lower case, SVG's mixed-case names restored.
std::string ElementName(const GumboElement& e);

}  // namespace detail
}  // namespace nuv

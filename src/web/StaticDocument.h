#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/Browser.h"

// A page's document as the HTML parser of a browser builds it (through gumbo, a parser of
// the HTML standard), for pages read without a browser. Plain C++.
namespace nuv {

class SheetRulesCache;

// What decides whether the document is the same without a browser.
struct DocumentFacts {
    bool scripts = false;        // a script element of a script type, an event-handler attribute, a javascript: address
    bool refresh = false;        // <meta http-equiv="refresh">: the browser goes on to another page
    bool noscript = false;       // a <noscript>, which a browser with scripts parses as text
    bool embeddedPages = false;  // an <object> or <embed> that may hold a page of its own
    bool lazyFrames = false;     // an <iframe loading="lazy">, which a browser may never load
    // Elements nested more deeply than a browser's parser nests them (it hangs the deeper
    // ones on an ancestor instead): the browser's document differs.
    bool deepNesting = false;
};

// The deepest nesting of elements a document read without the browser may have.
inline constexpr unsigned kDeepestStaticNesting = 500;

// Whether the markup `html` may nest elements more than `levels` deep, by its tags alone
// (those that open no level, or that close themselves, left out), in time linear in its
// size: such a document is not parsed, as the parser's checks of scope would take time
// in proportion to its size times its depth.
bool NestsBeyond(std::string_view html, unsigned levels);

// A frame element of a document: the address its src names ("" for none), and whether
// its page comes from a srcdoc attribute instead.
struct FrameElement {
    std::string source;
    bool srcdoc = false;
};

// Fetches a style sheet's text by its absolute address; nullopt when it cannot.
using SheetFetch = std::function<std::optional<std::string>(const std::string& address)>;

// The pictures of a document read without a browser, and why they cannot be (then the
// page needs a browser for them).
struct DocumentPictures {
    std::vector<ShownPicture> pictures;
    size_t cut = 0;             // pictures beyond `limit`
    std::string needsBrowser;   // "" when the list is what a browser gives
};

class StaticDocument {
public:
    // Parses `utf8`, the whole text of a page.
    explicit StaticDocument(std::string_view utf8);
    ~StaticDocument();
    StaticDocument(const StaticDocument&) = delete;
    StaticDocument& operator=(const StaticDocument&) = delete;

    // The markup of the top element as a browser's DOM serialises it (outerHTML).
    std::string TopElementOuterHtml() const;
    DocumentFacts Facts() const;
    // The href of the first <base> that has one ("" for none), as written.
    std::string BaseHref() const;
    // The href of every <a> and <area> that has one, in document order, as written.
    std::vector<std::string> LinkHrefs() const;
    // The <iframe> and <frame> elements, in document order.
    std::vector<FrameElement> Frames() const;
    // The pictures the document at `url` shows, as a browser's reading of its DOM and computed
    // styles gives them: in document order, each address once, at most `limit`. The rules of
    // its style sheets are taken from `rules` where an earlier document's are the same, and
    // kept there.
    DocumentPictures ShownPictures(const std::string& url, const SheetFetch& fetchSheet, size_t limit,
                                   SheetRulesCache* rules = nullptr) const;

private:
    std::string Serialised() const;

    struct Parsed;
    std::unique_ptr<Parsed> parsed_;
};

// The serialisation of `text` as an attribute value or as text outside raw-text elements.
std::string EscapeHtmlText(std::string_view text, bool attribute);

}  // namespace nuv

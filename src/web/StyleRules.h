#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/StaticDocument.h"

// The style sheets of a document read as far as the pictures of its elements go: the
// cascade of the properties that name pictures, without a browser. Plain C++.
namespace nuv {

// Whether something holds: surely, surely not, or only a browser can tell.
enum class Holds : uint8_t { kNo, kYes, kMaybe };

// Whether a media query list applies to a browser window on a screen at a device pixel
// ratio of 1 ("" applies).
Holds MediaApplies(std::string_view queries);

// One element of a document as selectors see it; `parent` and `previous` (the element
// sibling before it) are indices into the same list, -1 for none.
struct StyleElement {
    std::string_view name;  // the local name, lower case for HTML elements
    bool html = true;
    int parent = -1, previous = -1;
    int position = 1, fromEnd = 1, typePosition = 1, typeFromEnd = 1;  // among its element siblings, from 1
    bool empty = false, link = false, checked = false, disabled = false, enabled = false;
    bool pseudoElements = true;  // whether it can have ::before and ::after
    std::string_view id;
    std::vector<std::string_view> classes;
    std::vector<std::pair<std::string_view, std::string_view>> attributes;  // those without a namespace
    const char* style = nullptr;       // its style attribute
    const char* background = nullptr;  // its background attribute, where that gives its background
};

// The properties whose computed values name pictures, in the order they are read;
// mask-image and -webkit-mask-image are one property (one the alias of the other).
enum PictureProperty : uint8_t { kBackgroundImage, kBorderImageSource, kListStyleImage, kMaskImage, kContent,
                                 kPictureProperties };

// A computed value: the absolute addresses it names, and for `content` whether it is none
// or normal.
struct PictureValue {
    std::vector<std::string> urls;
    bool keyword = true;
    bool operator==(const PictureValue&) const = default;
};
using PictureStyle = std::array<PictureValue, kPictureProperties>;

// The computed picture values of an element and of its ::before and ::after, where those
// show (a content other than none or normal).
struct ElementPictureStyle {
    PictureStyle own;
    PictureStyle before, after;
    bool beforeShown = false, afterShown = false;
};

class SheetRulesCache;

class StyleRules {
public:
    // `base` is the document's base address, `quirks` its quirks mode (classes and ids
    // compared without case). With a `cache`, the rules of sheets read for an earlier
    // document are taken from it where they are what reading these would give.
    StyleRules(SheetFetch fetch, std::string base, bool quirks, SheetRulesCache* cache = nullptr);
    ~StyleRules();
    StyleRules(const StyleRules&) = delete;
    StyleRules& operator=(const StyleRules&) = delete;

    // Adds the sheet of a <style> element, for the media `media`.
    void AddSheet(std::string_view text, std::string_view media);
    // Adds the sheet at `address`, for the media `media`.
    void AddLinkedSheet(const std::string& address, std::string_view media);
    // Reads the sheets added, in their order (fetching the linked ones and their imports),
    // once every sheet is added; Compute does it where it was not.
    void Finish();
    // The computed picture values of `elements[index]`, its parent's being `parent`
    // (null for the top element).
    ElementPictureStyle Compute(const std::vector<StyleElement>& elements, int index, const PictureStyle* parent);

    // Why the pictures need a browser ("" when they do not): the first reason found, one
    // given to Need before Finish coming before those of the sheets.
    const std::string& NeedsBrowser() const;
    void Need(const std::string& why);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nuv

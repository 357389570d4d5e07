#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nuv {

// An ordered list of addresses that only grows or is cleared. Beside the entries it
// keeps an index from each entry's normalised key (trimmed, ASCII lower-cased) to the
// first index holding it, so the duplicate test costs a hash lookup, not a walk.
class AddressList {
public:
    void Add(std::string entry);
    void Clear();
    // True when an entry equals `address` after both are trimmed and lower-cased.
    bool ContainsNormalized(std::string_view address) const;
    // Index of the first such entry, or -1.
    int IndexOfNormalized(std::string_view address) const;

    const std::vector<std::string>& Items() const { return items_; }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const std::string& operator[](size_t i) const { return items_[i]; }

private:
    std::vector<std::string> items_;
    std::unordered_map<std::string, int> firstIndex_;
};

enum class ListKind { lkImage = 0, lkLink = 1, lkFlash = 2, lkOther = 3 };

// Where the image extraction found an entry: in the page source, a style sheet, a frame
// page, or among the pictures the rendered page shows.
enum class ImagePlace { Page, Sheet, Frame, Shown };

// What is known of an image entry beside its address: where it was found, its natural
// size when the page showed it (0 when unknown), and the type the page declared for it.
struct ImageNote {
    ImagePlace place = ImagePlace::Page;
    int width = 0;
    int height = 0;
    std::string declaredType = {};
};

// The seven extraction lists of the process. Companion lists (ImageAlts, LinkTexts) are
// appended together with their partner.
struct ExtractionLists {
    AddressList ImageURLs;
    std::vector<std::string> ImageAlts;
    std::vector<ImageNote> ImageNotes;  // companion of ImageURLs as well
    AddressList LinkURLs;
    std::vector<std::string> LinkTexts;
    AddressList FlashURLs;
    std::vector<std::string> CssURLs;  // no duplicate test: a sheet named twice is listed twice
    AddressList OtherURLs;

    // Whether the list that `kind` selects already holds `address` (false for an empty list).
    bool IsListed(ListKind kind, std::string_view address) const;

    void AddImage(const std::string& address, ImageNote note = {});  // ImageURLs, ImageAlts, ImageNotes together
    void AddLink(const std::string& address);   // LinkURLs and LinkTexts together
    void ClearImages();
    void ClearLinks();
};

}  // namespace nuv

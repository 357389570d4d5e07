#pragma once

#include <string>
#include <string_view>

namespace nuv {

// How a typed address is opened.
struct TypedAddress {
    std::string navigateTo;  // what the browser is given
    std::string boxText;     // the address box's text afterwards
    bool writeBack = false;  // the completed text replaces the box's text
    bool localFile = false;  // navigateTo is a local path, opened as a file address
};

// Completes the text of the address box: trimmed; a local page (beginning with "/" or
// "file:", or containing ":\") is opened as it stands; a text that names neither
// "http://" nor "https://" anywhere gets "http://" in front, written back to the box.
TypedAddress CompleteTypedAddress(std::string_view boxText);

// The caption that the tab at visible position `visiblePos` shows: the caption of the
// page at that index counted over all pages, hidden ones included.
std::string TabCaptionAt(int visiblePos, const std::string* pageCaptions, int pageCount);

// Widths set on every resize of the main window of width `windowWidth`.
struct ResizeWidths {
    int edtURL, edtPicPath, imgURL, imgTopBG;
};
ResizeWidths ComputeResizeWidths(int windowWidth);

// Where the address history drop-down goes, from the address box's position in its
// parent: 8 to the right of the box, 17 below its bottom, as wide as the box, and 17
// pixels an entry high, at most 165 (0 for no entry).
struct DropDownGeometry {
    int left, top, width, height;
};
DropDownGeometry ComputeDropDownGeometry(int editLeft, int editTop, int editWidth, int editHeight, int entries);

}  // namespace nuv

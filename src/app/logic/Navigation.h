#pragma once

#include <string>
#include <string_view>

#include "web/Address.h"

namespace nuv {

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

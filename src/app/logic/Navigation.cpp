#include "app/logic/Navigation.h"

#include <algorithm>

#include "common/Text.h"

namespace nuv {

std::string TabCaptionAt(int visiblePos, const std::string* pageCaptions, int pageCount) {
    if (visiblePos < 0 || visiblePos >= pageCount) return {};
    return pageCaptions[visiblePos];
}

ResizeWidths ComputeResizeWidths(int windowWidth) {
    const int edit = windowWidth - 490;
    return {edit, edit, edit + 20, edit + 40};
}

DropDownGeometry ComputeDropDownGeometry(int editLeft, int editTop, int editWidth, int editHeight, int entries) {
    const long height = 17L * std::max(entries, 0);
    return {editLeft + 8, editTop + editHeight + 17, editWidth, static_cast<int>(std::min(height, 165L))};
}

}  // namespace nuv

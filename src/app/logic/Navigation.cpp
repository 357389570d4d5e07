#include "app/logic/Navigation.h"

#include <algorithm>

#include "common/Text.h"

namespace nuv {

TypedAddress CompleteTypedAddress(std::string_view boxText) {
    TypedAddress r;
    r.boxText = std::string(boxText);
    std::string text = Trim(boxText);
    const std::string lower = LowerAscii(text);
    if (StartsWith(text, "/") || StartsWith(lower, "file:")) {
        r.localFile = StartsWith(text, "/");
        r.navigateTo = text;
        return r;
    }
    if (!Contains(text, ":\\") && !Contains(lower, "http://") && !Contains(lower, "https://")) {
        text.insert(0, "http://");
        r.boxText = text;
        r.writeBack = true;
    }
    r.navigateTo = text;
    return r;
}

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

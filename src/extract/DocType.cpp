#include "extract/DocType.h"

namespace nuv {

const std::vector<std::string>& DocTypeNames() {
    static const std::vector<std::string> names = {
        "原始网页", "文字提取", "图片提取", "动画提取(.swf)", "CSS提取", "其他提取"};
    return names;
}

}  // namespace nuv

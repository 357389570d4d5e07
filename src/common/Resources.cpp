#include "common/Resources.h"

#include "common/Text.h"

namespace nuv {

std::string ResourceFile(std::string_view name, std::string_view type) {
    const std::string lowerType = LowerAscii(type);
    return lowerType + "/" + LowerAscii(name) + "." + lowerType;
}

}  // namespace nuv

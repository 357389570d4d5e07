#pragma once

#include <string>
#include <vector>

namespace nuv {

// The six document types of LBDocType, in list order.
enum class DocType { PageSource = 0, PageText = 1, Images = 2, Flash = 3, Css = 4, Other = 5 };

// The entries of LBDocType, in the order of DocType.
const std::vector<std::string>& DocTypeNames();

}  // namespace nuv

#pragma once

#include <string>
#include <vector>

#include "extract/ExtractionLists.h"

namespace nuv {

// The result pages, built from the lists and the page head template (the lines of the
// text resource "page1"). Pure functions of their arguments.
std::string RenderImagePage(const std::vector<std::string>& head, const ExtractionLists& lists);
std::string RenderFlashPage(const std::vector<std::string>& head, const ExtractionLists& lists,
                            const std::string& pageAddress);
std::string RenderOtherPage(const std::vector<std::string>& head, const ExtractionLists& lists);

}  // namespace nuv

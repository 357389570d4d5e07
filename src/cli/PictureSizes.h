#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "extract/ExtractionLists.h"
#include "save/DownloadBatch.h"

namespace nuv {

// The size, width by height, of the picture in `file` as its header gives it (0 x 0 for a
// file that is no picture the program reads), without decoding it.
std::pair<int, int> PictureHeaderSize(const std::string& file);

// Gives the listed pictures whose size the extraction did not tell (0 x 0 in `notes`) the
// size their files' headers give: each address is downloaded ahead for page `group` (see
// DownloadBatch::AddAhead) into `folder` beneath `root`, so that the page's downloads take
// the file over. Re-enters the event loop until every one has ended, `limitMs` has passed
// or the run stops; a picture not had by then stays 0 x 0.
void MeasurePictures(DownloadBatch& batch, std::size_t group, const std::string& folder, const std::string& root,
                     const std::string& pageAddress, const std::vector<std::string>& list,
                     std::vector<ImageNote>& notes, int limitMs);

}  // namespace nuv

#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "extract/ExtractionLists.h"
#include "save/DownloadBatch.h"

class QObject;

namespace nuv {

// The size, width by height, of the picture in `file` as its header gives it (0 x 0 for a
// file that is no picture the program reads), without decoding it.
std::pair<int, int> PictureHeaderSize(const std::string& file);

// Pictures' sizes by address.
using PictureSizes = std::unordered_map<std::string, std::pair<int, int>>;

// Measures the listed pictures whose size the extraction did not tell (0 x 0 in `notes`)
// by the headers of their files: each address is downloaded ahead for page `group` (see
// DownloadBatch::AddAhead) into `folder` beneath `root`, so that the page's downloads take
// the file over. `done` runs once on `receiver`'s thread, with the sizes, when every one has
// ended or `limitMs` has passed (a picture not had by then is left out).
void MeasurePictures(DownloadBatch& batch, std::size_t group, const std::string& folder, const std::string& root,
                     const std::string& pageAddress, const std::vector<std::string>& list,
                     const std::vector<ImageNote>& notes, int limitMs, QObject* receiver,
                     std::function<void(const PictureSizes&)> done);

// Gives the entries of `list` still 0 x 0 in `notes` their size in `sizes`.
void GiveSizes(const std::vector<std::string>& list, std::vector<ImageNote>& notes, const PictureSizes& sizes);

}  // namespace nuv

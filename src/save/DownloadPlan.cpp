#include "save/DownloadPlan.h"

#include <utility>

#include "common/SaveTargets.h"
#include "save/DownloadTargets.h"
#include "web/Address.h"

namespace nuv {

PlannedDownload PlanDownload(DocType type, std::string_view folder, std::string_view address) {
    if (HasPageExtension(address)) return {{}, "web page"};
    if (type != DocType::Other && HasArchiveExtension(address)) return {{}, "archive or program"};
    const std::string name = CleanNameComponent(FileNameOfAddress(address));
    if (name.empty()) return {{}, "no file name in the address"};
    return {std::string(folder) + name, {}};
}

std::vector<PlannedDownload> PlanDownloads(DocType type, std::string_view folder,
                                           const std::vector<std::string>& addresses,
                                           const std::vector<ImageNote>& notes) {
    std::vector<bool> shown(addresses.size(), false);
    for (size_t i = 0; i < shown.size() && i < notes.size(); ++i) shown[i] = notes[i].place == ImagePlace::Shown;
    const std::vector<PictureTarget> targets = PlanPictureTargets(folder, addresses, shown);
    std::vector<PlannedDownload> plans(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (!shown[i]) {
            plans[i] = PlanDownload(type, folder, addresses[i]);
        } else if (targets[i].extensionFromAnswer) {
            plans[i].file = ProvisionalPictureFile(targets[i].file);
            plans[i].stemFile = targets[i].file;
        } else {
            plans[i].file = targets[i].file;
        }
    }
    return plans;
}

void FilterPictures(std::vector<std::string>& addresses, std::vector<ImageNote>& notes, const PictureFilter& filter) {
    if (!filter.Active()) return;
    size_t kept = 0;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const ImageNote note = i < notes.size() ? notes[i] : ImageNote{};
        if (!PassesPictureFilter(filter, PictureTypeOf(addresses[i], note.declaredType), note.width, note.height))
            continue;
        if (kept != i) addresses[kept] = std::move(addresses[i]);
        if (kept < notes.size()) notes[kept] = note;
        ++kept;
    }
    addresses.resize(kept);
    if (notes.size() > kept) notes.resize(kept);
}

}  // namespace nuv

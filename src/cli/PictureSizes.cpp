#include "cli/PictureSizes.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <QObject>
#include <QTimer>

#include "codecs/Pictures.h"
#include "common/FileText.h"
#include "save/PictureHeaders.h"
#include "web/Address.h"

namespace nuv {
namespace {

// What the measuring downloads tell, on the batch's thread; told once.
struct Measuring {
    std::mutex mutex;
    PictureSizes sizes;
    std::size_t ended = 0, expected = 0;
    bool told = false;
    std::function<void(const PictureSizes&)> done;

    // Under `mutex`: whether `done` is to be told now (and so never again).
    bool Tell() {
        if (told) return false;
        told = true;
        return true;
    }
};

}  // namespace

std::pair<int, int> PictureHeaderSize(const std::string& file) {
    // A browser shows an icon's largest entry, where Qt gives its first (a directory of
    // 255 entries, the most there are, takes 4 086 bytes).
    constexpr std::size_t kDirectory = 4096, kBoxes = std::size_t{64} << 10;
    std::string head = ReadFileHead(file, kDirectory);
    if (const auto icon = IcoPictureSize(head)) return *icon;
    const QSize size = PictureFileSize(file);
    if (size.isValid() && !size.isEmpty()) return {size.width(), size.height()};
    // Qt reads no AVIF or HEIF; their sizes are in their first boxes.
    if (head.size() == kDirectory) head = ReadFileHead(file, kBoxes);
    return IsoPictureSize(head).value_or(std::pair<int, int>(0, 0));
}

void MeasurePictures(DownloadBatch& batch, std::size_t group, const std::string& folder, const std::string& root,
                     const std::string& pageAddress, const std::vector<std::string>& list,
                     const std::vector<ImageNote>& notes, int limitMs, QObject* receiver,
                     std::function<void(const PictureSizes&)> done) {
    auto measuring = std::make_shared<Measuring>();
    measuring->done = std::move(done);
    const auto tell = [measuring, receiver] {
        QMetaObject::invokeMethod(
            receiver,
            [measuring] {
                PictureSizes sizes;
                {
                    const std::lock_guard lock(measuring->mutex);
                    sizes = measuring->sizes;
                }
                measuring->done(sizes);
            },
            Qt::QueuedConnection);
    };
    std::unordered_set<std::string> asked;
    {
        const std::lock_guard lock(measuring->mutex);
        measuring->expected = static_cast<std::size_t>(-1);  // until every one is asked for
    }
    for (std::size_t i = 0; i < list.size() && i < notes.size(); ++i) {
        const std::string& address = list[i];
        if (notes[i].width != 0 || notes[i].height != 0 || asked.contains(address) ||
            !HasWebScheme(address))
            continue;
        const std::string file = folder + std::to_string(group) + "-size-" + std::to_string(asked.size());
        const bool added = batch.AddAhead(group, address, file, pageAddress, root,
                                          [measuring, tell, address, file](const DownloadBatch::Result& result) {
                                              const auto size = result.saved ? PictureHeaderSize(file)
                                                                             : std::pair<int, int>(0, 0);
                                              const std::lock_guard lock(measuring->mutex);
                                              measuring->sizes[address] = size;
                                              if (++measuring->ended == measuring->expected && measuring->Tell())
                                                  tell();
                                          });
        if (added) asked.insert(address);
    }
    const std::lock_guard lock(measuring->mutex);
    measuring->expected = asked.size();
    if (measuring->ended >= measuring->expected && measuring->Tell()) return tell();
    // A picture that takes too long is left out.
    QTimer::singleShot(limitMs, receiver, [measuring, tell] {
        const std::lock_guard lock(measuring->mutex);
        if (measuring->Tell()) tell();
    });
}

void GiveSizes(const std::vector<std::string>& list, std::vector<ImageNote>& notes, const PictureSizes& sizes) {
    for (std::size_t i = 0; i < list.size() && i < notes.size(); ++i) {
        if (notes[i].width != 0 || notes[i].height != 0) continue;
        const auto it = sizes.find(list[i]);
        if (it != sizes.end()) std::tie(notes[i].width, notes[i].height) = it->second;
    }
}

}  // namespace nuv

#include "cli/PictureSizes.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <QEventLoop>
#include <QTimer>

#include "cli/StopSignals.h"
#include "codecs/Pictures.h"
#include "common/Text.h"
#include "save/PictureHeaders.h"

namespace nuv {
namespace {

// What the measuring downloads tell, on the batch's thread.
struct Measured {
    std::mutex mutex;
    std::unordered_map<std::string, std::pair<int, int>> sizes;
    std::size_t ended = 0;
    QEventLoop* waiting = nullptr;  // while the page's extraction waits
};

// The first bytes of `file`, as many as a header of a container may need.
std::string Head(const std::string& file) {
    constexpr std::size_t kHead = std::size_t{64} << 10;
    std::string head(kHead, '\0');
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    std::size_t done = 0;
    for (ssize_t n; done < kHead && (n = ::read(fd, head.data() + done, kHead - done)) > 0;) done += static_cast<std::size_t>(n);
    ::close(fd);
    head.resize(done);
    return head;
}

}  // namespace

std::pair<int, int> PictureHeaderSize(const std::string& file) {
    const QSize size = PictureFileSize(file);
    if (size.isValid() && !size.isEmpty()) return {size.width(), size.height()};
    // Qt reads no AVIF or HEIF.
    return IsoPictureSize(Head(file)).value_or(std::pair<int, int>(0, 0));
}

void MeasurePictures(DownloadBatch& batch, std::size_t group, const std::string& folder, const std::string& root,
                     const std::string& pageAddress, const std::vector<std::string>& list,
                     std::vector<ImageNote>& notes, int limitMs) {
    auto measured = std::make_shared<Measured>();
    std::unordered_set<std::string> asked;
    for (std::size_t i = 0; i < list.size() && i < notes.size(); ++i) {
        const std::string& address = list[i];
        if (notes[i].width != 0 || notes[i].height != 0 || asked.contains(address) ||
            !(StartsWith(address, "http://") || StartsWith(address, "https://")))
            continue;
        const std::string file = folder + std::to_string(group) + "-size-" + std::to_string(asked.size());
        const bool added = batch.AddAhead(group, address, file, pageAddress, root,
                                          [measured, address, file](const DownloadBatch::Result& result) {
                                              const auto size = result.saved ? PictureHeaderSize(file)
                                                                             : std::pair<int, int>(0, 0);
                                              const std::lock_guard lock(measured->mutex);
                                              measured->sizes[address] = size;
                                              ++measured->ended;
                                              if (measured->waiting)
                                                  QMetaObject::invokeMethod(measured->waiting, &QEventLoop::quit,
                                                                            Qt::QueuedConnection);
                                          });
        if (added) asked.insert(address);
    }
    // Until the last has ended; the stop of the run is looked for every 100 ms.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(100);
    while (std::chrono::steady_clock::now() < deadline && !Stopping()) {
        {
            const std::lock_guard lock(measured->mutex);
            if (measured->ended >= asked.size()) break;
            measured->waiting = &loop;
        }
        loop.exec();
    }
    const std::lock_guard lock(measured->mutex);
    measured->waiting = nullptr;
    for (std::size_t i = 0; i < list.size() && i < notes.size(); ++i) {
        if (notes[i].width != 0 || notes[i].height != 0) continue;
        const auto it = measured->sizes.find(list[i]);
        if (it != measured->sizes.end()) std::tie(notes[i].width, notes[i].height) = it->second;
    }
}

}  // namespace nuv

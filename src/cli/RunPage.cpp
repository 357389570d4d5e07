#include "cli/RunPage.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>

#include <QDir>
#include <QUrl>

#include "cli/logic/PageBatch.h"
#include "codecs/Pictures.h"
#include "platform/QtText.h"

namespace nuv {

RunPage::~RunPage() {
    load.reset();
    scroller.reset();
    view.reset();
    if (!staging.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(staging, ec);
    }
}

void PageFinds::Found(ListKind list, const std::string& address) {
    if (!running || !feed_ || list != fed_) return;
    // The pictures the page shows are named against the whole list: they go once it is complete.
    if (list == ListKind::lkImage && running->ListingShownPictures()) {
        feed_ = false;
        return;
    }
    found_.push_back(address);
    downloads_(running->PageAddress()).Feed(found_);
}

void PageFinds::FetchingSheet(const std::string& address, const std::string& file) {
    if (!running || !hold_ || file.compare(0, page_.staging.size(), page_.staging) != 0) return;
    ListDownloads& downloads = downloads_(running->PageAddress());
    const std::string name = file.substr(page_.staging.size());
    auto [it, added] = page_.sheetFiles.try_emplace(name);
    if (added) it->second = files_.claims.Claim(page_.folder + name, page_.index, address);
    downloads.HoldFile(it->second);
}

void SetUpSaving(RunFiles& files, const ExtractCliOptions& options, DownloadArchive* archive, ZipWriter* zip,
                 const std::string& base, std::optional<DuplicateFinder>& duplicates, std::optional<TaskPool>& reading) {
    if (options.names) files.names = &*options.names;
    files.zip = zip;
    files.look = [](const std::string& file, bool hash) {
        QSize size;
        const std::optional<std::uint64_t> dhash = hash ? PictureDifferenceHash(file, &size) : std::nullopt;
        if (!hash) size = PictureFileSize(file);
        return size.isValid() ? PictureLook{size.width(), size.height(), dhash} : PictureLook{};
    };
    if (options.dedup != DedupMode::None) {
        // Files of earlier runs, as the archive names them.
        std::function<std::optional<std::string>(const std::string&)> earlier;
        if (archive != nullptr) {
            earlier = [archive, zip, base](const std::string& sha) -> std::optional<std::string> {
                const auto file = archive->FileOfHash(sha);
                if (!file) return std::nullopt;
                return zip != nullptr ? *file : base + *file;
            };
        }
        duplicates.emplace(options.dedup == DedupMode::Similar, std::move(earlier));
        files.duplicates = &*duplicates;
        reading.emplace(std::max(1u, std::thread::hardware_concurrency()));
        files.reading = &*reading;
        // Qt loads its picture plugins on first use: while the first page loads.
        if (options.dedup == DedupMode::Similar) reading->Post([] { LoadPictureDecoders(); });
    }
}

bool AimPage(RunPage& page, const std::string& given, bool listed, bool allowLocalFiles, RobotsCache* robots) {
    const RunAddress open =
        OpenRunAddress(given, listed, allowLocalFiles, ToUtf8(QDir::currentPath()), [](const std::string& p) {
            std::error_code ec;
            return std::filesystem::is_regular_file(std::filesystem::path(p), ec);
        });
    const CliAddress& where = open.where;
    const QUrl url = where.localFile ? QUrl::fromLocalFile(FromUtf8(where.address)) : QUrl(FromUtf8(where.address));
    const bool valid = open.refusal.empty() && url.isValid() && !url.isEmpty();
    CliReport& report = page.report;
    report.requested = valid ? ToUtf8(url.toString(QUrl::FullyEncoded)) : open.refusal.empty() ? where.address : given;
    report.robotsDisallowed = valid && robots && !robots->Allows(report.requested);
    if (valid && !report.robotsDisallowed) return true;
    report.loadError = report.robotsDisallowed ? std::string(kRobotsRefusal)
                       : open.refusal.empty()  ? "not a valid address"
                                               : open.refusal;
    return false;
}

}  // namespace nuv

#include "library/logic/ResultDownloads.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "common/Paths.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "library/logic/DownloadBatch.h"
#include "web/Address.h"

namespace nuv {
namespace {

constexpr std::array<std::string_view, 5> kPageExtensions = {".html", ".htm", ".asp", ".php", ".jsp"};
constexpr std::array<std::string_view, 5> kArchiveExtensions = {".rar", ".exe", ".zip", ".dat", ".tar"};

const char* const kAllDownloaded = "全部下载完毕。";

bool ContainsAny(std::string_view address, const std::array<std::string_view, 5>& parts) {
    try {
        const std::string lower = LowerAscii(address);
        for (std::string_view part : parts) {
            if (Contains(lower, part)) return true;
        }
    } catch (...) {
    }
    return false;
}

// Clears the current download however DownloadResource ends.
class CurrentDownloadScope {
public:
    CurrentDownloadScope(std::string& slot, const std::string& address) : slot_(slot) { slot_ = address; }
    ~CurrentDownloadScope() { slot_.clear(); }
    CurrentDownloadScope(const CurrentDownloadScope&) = delete;
    CurrentDownloadScope& operator=(const CurrentDownloadScope&) = delete;

private:
    std::string& slot_;
};

}  // namespace

bool HasPageExtension(std::string_view address) { return ContainsAny(address, kPageExtensions); }

bool HasArchiveExtension(std::string_view address) { return ContainsAny(address, kArchiveExtensions); }

std::optional<std::string> DownloadTargetFile(std::string_view targetFolder, std::string_view address) {
    if (HasPageExtension(address) || HasArchiveExtension(address)) return std::nullopt;
    std::string name = FileNameOfAddress(address);
    if (!IsStorableFileName(name)) return std::nullopt;
    std::string target(targetFolder);
    target += name;
    return target;
}

ResultDownloads::ResultDownloads(ResultDownloadServices services) : s_(std::move(services)) {
    if (!s_.clock) s_.clock = [] { return std::chrono::steady_clock::now(); };
}

void ResultDownloads::ResultPageClick(std::string_view tagName, const std::string& attribute) {
    try {
        const std::string tag = LowerAscii(tagName);
        const std::string address = (tag == "a" || tag == "img") ? attribute : std::string();
        if (TrimView(address).empty() || HasPageExtension(address)) return;
        TargetFolder = s_.saveFolder.SaveFolder();
        DownloadResource(address, true);
        s_.savedList.RefreshSavedList();
    } catch (...) {
    }
}

void ResultDownloads::DownloadResource(const std::string& address, bool announce) {
    try {
        {
            CurrentDownloadScope current(currentDownload_, address);
            if (!HasPageExtension(address) && !HasArchiveExtension(address)) {
                // An address without a usable file name would write the folder itself (or
                // its parent): it is not downloaded, and like a failed download not reported.
                const std::optional<std::string> target = DownloadTargetFile(TargetFolder, address);
                if (!target) return;
                throttle_ = ProgressThrottle(kProgressInterval);
                lastShown_ = {-1, -1};
                s_.downloader.DownloadToFile(address, *target,
                                             [this](const nuv::DownloadProgress& p) { DownloadProgress(p); });
                const std::string saved = FormatS(strSavedAs, {*target});
                s_.hints.ShowHint(saved);
                if (announce) s_.dialogs.ShowMessage(saved);
            }
        }
        s_.hints.ShowHint(kAllDownloaded);
    } catch (...) {
    }
}

void ResultDownloads::SaveAllResources() {
    try {
        // A copy: while a download runs the user may start another extraction, which
        // clears and refills the lists, or click a picture, which moves TargetFolder.
        const std::vector<std::string> addresses = (ImageMode ? s_.lists.ImageURLs : s_.lists.FlashURLs).Items();
        const std::string folder = TargetFolder;
        // One at a time on this thread: every address, also those DownloadResource skips
        // itself, so each gets its hint.
        SequentialExecutor executor;
        RunDownloadBatch(std::vector<std::string>(addresses.size(), folder), executor,
                         [&](std::size_t i, std::size_t) {
                             TargetFolder = folder;
                             DownloadResource(addresses[i], false);
                         });
        s_.savedList.RefreshSavedList();
    } catch (...) {
    }
}

void ResultDownloads::DownloadProgress(const nuv::DownloadProgress& report) {
    const ProgressBarValues values = ScaleProgress(report.progress, report.maximum);
    if (!throttle_.Due(report.progress, report.maximum, s_.clock())) return;
    if (values.maximum != lastShown_.maximum || values.position != lastShown_.position) {
        lastShown_ = values;
        s_.progress.SetProgressMaximum(values.maximum);
        s_.progress.SetProgressPosition(values.position);
    }
    // Even without news the window keeps answering while the transfer stalls.
    if (s_.processWindowEvents) s_.processWindowEvents();
}

void ResultDownloads::BtnSaveAllClick() {
    try {
        TargetFolder = s_.saveFolder.SaveFolder();
        SaveAllResources();
    } catch (...) {
    }
}

void ResultDownloads::BtnSaveAllAsClick() {
    try {
        std::string folder = SelectFolder(s_.dialogs, "", s_.homeFolder);
        if (folder.empty()) return;
        NormalizeFolderPath(folder);
        TargetFolder = folder;
        s_.defaultSavePath = folder;
        SaveAllResources();
        OpenLocation(s_.shell, folder);
    } catch (...) {
    }
}

}  // namespace nuv

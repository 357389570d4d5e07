#include "library/logic/ResultDownloads.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "common/Guard.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "save/DownloadBatch.h"
#include "save/PictureRules.h"
#include "web/RetryRule.h"
#include "library/logic/SavedFiles.h"
#include "web/Address.h"

namespace nuv {
namespace {

const char* const kAllDownloaded = "全部下载完毕。";

// "下载失败：<name>（<why>）" for the hint bar and the click's message box.
std::string DownloadFailureHint(const std::string& name, const std::exception& error) {
    std::string why = error.what();
    if (const auto* failure = dynamic_cast<const DownloadError*>(&error)) {
        switch (failure->kind()) {
            case DownloadFailure::Refused: why = "只下载 http 和 https 地址"; break;
            case DownloadFailure::PrivateNetwork: why = "公网网页不能访问内网或本机地址"; break;
            case DownloadFailure::TooLarge: why = "文件太大"; break;
            case DownloadFailure::TimedOut: why = "下载超时"; break;
            case DownloadFailure::Write: why = "无法写入保存文件夹"; break;
            case DownloadFailure::Http: why = "服务器拒绝：" + why; break;
            case DownloadFailure::Cancelled: why = "已取消"; break;
            case DownloadFailure::Network: break;
        }
    }
    if (why.size() > 200) why = ShortenFileName(why, 200);
    return "下载失败：" + name + (why.empty() ? std::string() : "（" + why + "）");
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

std::string BatchEndHint(std::size_t failed) {
    if (failed == 0) return kAllDownloaded;
    return "下载结束，" + std::to_string(failed) + "个文件下载失败。";
}

std::string BatchEndHint(std::size_t failed, std::size_t kept, std::size_t listed) {
    std::string hint = BatchEndHint(failed);
    hint.resize(hint.size() - std::string_view("。").size());
    return hint + "（按筛选：" + std::to_string(listed) + " 张中的 " + std::to_string(kept) + " 张）。";
}

ResultDownloads::ResultDownloads(ResultDownloadServices services) : s_(std::move(services)) {
    if (!s_.clock) s_.clock = [] { return std::chrono::steady_clock::now(); };
    // Resolved once here, not at every download of a batch.
    protected_ = ProtectedFiles(s_.protectedFiles);
}

std::string ResultDownloads::UsableSaveFolder() {
    std::string folder = s_.saveFolder.SaveFolder();
    if (TrimView(folder).empty()) {
        s_.hints.ShowHint(strInvalidFolderName);
        return {};
    }
    return folder;
}

bool ResultDownloads::IsShownPicture(const std::string& address) const {
    if (!ImageMode) return false;
    const int at = s_.lists.ImageURLs.IndexOfNormalized(address);
    return at >= 0 && static_cast<std::size_t>(at) < s_.lists.ImageNotes.size() &&
           s_.lists.ImageNotes[static_cast<std::size_t>(at)].place == ImagePlace::Shown;
}

void ResultDownloads::ResultPageClick(std::string_view tagName, const std::string& attribute) {
    try {
        const std::string tag = LowerAscii(tagName);
        const std::string address = (tag == "a" || tag == "img") ? attribute : std::string();
        // A picture the page showed is one, whatever its address looks like.
        if (TrimView(address).empty() || (HasPageExtension(address) && !IsShownPicture(address))) return;
        TargetFolder = UsableSaveFolder();
        if (TargetFolder.empty()) return;
        DownloadResource(address, true);
        if (!Closing()) s_.savedList.RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
}

void ResultDownloads::DownloadResource(const std::string& address, bool announce) {
    const Outcome outcome = Download(address, announce);
    try {
        if (outcome == Outcome::Saved || outcome == Outcome::Skipped) s_.hints.ShowHint(kAllDownloaded);
    } catch (...) {
        NoteSwallowed();
    }
}

ResultDownloads::Outcome ResultDownloads::Download(const std::string& address, bool announce,
                                                   const PictureTarget* planned) {
    std::string name;
    try {
        CurrentDownloadScope current(currentDownload_, address);
        // A batch decided at its start which of its pictures the page showed.
        const bool shown = planned ? planned->shown : IsShownPicture(address);
        if (!shown && (HasPageExtension(address) || HasArchiveExtension(address))) return Outcome::Skipped;
        PictureTarget target;
        if (planned) {
            target = *planned;
        } else if (shown) {
            target = ShownPictureTarget(TargetFolder, address);
        } else if (const std::optional<std::string> file = DownloadTargetFile(TargetFolder, address)) {
            target.file = *file;
        }
        // An address without a usable file name would write the folder itself (or its
        // parent): it is not downloaded.
        if (target.file.empty()) throw DownloadError("地址中没有文件名");
        name = FileNamePart(target.file);
        const auto refuse = [&](const std::string& file) {
            const std::string refused = "不能覆盖本程序自己的文件：" + file;
            s_.hints.ShowHint(refused);
            if (announce) s_.dialogs.ShowMessage(refused);
            return Outcome::Failed;
        };
        if (protected_.Protects(target.file)) return refuse(target.file);
        // The downloads of a batch share its throttle, so however short the files the
        // window handles its events at most every 50 ms. A download on its own, or one
        // started from within another (a click during a batch), has a throttle of its
        // own; the outer one gets its own back, and redraws next time.
        struct ProgressScope {
            ResultDownloads& d;
            std::optional<ProgressThrottle> outer;
            explicit ProgressScope(ResultDownloads& downloads) : d(downloads) {
                if (d.depth_++ == 0 && d.batching_) return;
                outer = d.throttle_;
                d.throttle_ = ProgressThrottle(kProgressInterval);
                d.lastShown_ = {-1, -1};
            }
            ~ProgressScope() {
                --d.depth_;
                if (!outer) return;
                d.throttle_ = *outer;
                d.lastShown_ = {-1, -1};
            }
        } progressScope(*this);
        // A picture whose type its answer tells is named once the answer is in.
        const std::string file = target.extensionFromAnswer ? ProvisionalPictureFile(target.file) : target.file;
        std::string contentType;
        // A busy server (429, 503, ...) or a broken connection gets further tries, as in
        // nuv-extract; the window handles its events while it waits for them.
        DownloadWithRetries(
            s_.downloader, address, file,
            [this, &contentType](const nuv::DownloadProgress& p) {
                if (!p.contentType.empty()) contentType = p.contentType;
                DownloadProgress(p);
            },
            RetryRule{kDefaultRetries});
        std::string savedFile = file;
        if (target.extensionFromAnswer) {
            savedFile = AnsweredPictureFile(file, target.file, contentType);
            if (protected_.Protects(savedFile)) {
                std::error_code ec;
                std::filesystem::remove(file, ec);
                return refuse(savedFile);
            }
            MoveFinishedDownload(file, savedFile);
        }
        ShowCompleted();
        const std::string saved = FormatS(strSavedAs, {savedFile});
        s_.hints.ShowHint(saved);
        if (announce && !Closing()) s_.dialogs.ShowMessage(saved);
        return Outcome::Saved;
    } catch (const DownloadCancelled&) {
        return Outcome::Cancelled;
    } catch (const std::exception& e) {
        if (Closing()) return Outcome::Cancelled;
        try {
            const std::string failed = DownloadFailureHint(name.empty() ? address : name, e);
            s_.hints.ShowHint(failed);
            if (announce) s_.dialogs.ShowMessage(failed);
        } catch (...) {
            NoteSwallowed();
        }
        return Outcome::Failed;
    } catch (...) {
        NoteSwallowed();
        return Closing() ? Outcome::Cancelled : Outcome::Failed;
    }
}

std::size_t ResultDownloads::SaveAllResources() {
    std::size_t failed = 0;
    lastBatchSize_ = 0;
    try {
        // A copy: while a download runs the user may start another extraction, which
        // clears and refills the lists, or click a picture, which moves TargetFolder.
        std::vector<std::string> addresses = (ImageMode ? s_.lists.ImageURLs : s_.lists.FlashURLs).Items();
        std::vector<bool> shown(addresses.size(), false);
        for (std::size_t i = 0; ImageMode && i < shown.size() && i < s_.lists.ImageNotes.size(); ++i)
            shown[i] = s_.lists.ImageNotes[i].place == ImagePlace::Shown;
        const std::size_t listed = addresses.size();
        const std::optional<std::vector<std::string>> visible =
            ImageMode && s_.filteredPictures ? s_.filteredPictures() : std::nullopt;
        if (visible) {
            const std::unordered_set<std::string> keep(visible->begin(), visible->end());
            std::size_t kept = 0;
            for (std::size_t i = 0; i < addresses.size(); ++i) {
                if (!keep.contains(addresses[i])) continue;
                if (kept != i) addresses[kept] = std::move(addresses[i]);
                shown[kept++] = shown[i];
            }
            addresses.resize(kept);
            shown.resize(kept);
        }
        lastBatchSize_ = addresses.size();
        const std::string folder = TargetFolder;
        const std::vector<PictureTarget> targets = PlanPictureTargets(folder, addresses, shown);
        // One at a time on this thread: every address, also those DownloadResource skips
        // itself, so each gets its hint.
        struct Batching {
            ResultDownloads& d;
            bool outer;
            explicit Batching(ResultDownloads& downloads) : d(downloads), outer(downloads.batching_) {
                if (d.depth_ > 0) return;  // a batch started during a download throttles per download
                d.batching_ = true;
                d.throttle_ = ProgressThrottle(kProgressInterval);
                d.lastShown_ = {-1, -1};
            }
            ~Batching() { d.batching_ = outer; }
        } batching(*this);
        bool cancelled = false;
        SequentialExecutor executor;
        RunDownloadBatch(std::vector<std::string>(addresses.size(), folder), executor,
                         [&](std::size_t i, std::size_t) {
                             if (cancelled || Closing()) {
                                 cancelled = true;
                                 return;
                             }
                             TargetFolder = folder;
                             const Outcome o = Download(addresses[i], false, &targets[i]);
                             if (o == Outcome::Saved || o == Outcome::Skipped) s_.hints.ShowHint(kAllDownloaded);
                             if (o == Outcome::Failed) ++failed;
                             if (o == Outcome::Cancelled) cancelled = true;
                         });
        if (cancelled || Closing()) return failed;
        // Each good download already ended with "全部下载完毕。"; failures are counted last.
        if (visible) s_.hints.ShowHint(BatchEndHint(failed, addresses.size(), listed));
        else if (failed > 0) s_.hints.ShowHint(BatchEndHint(failed));
        s_.savedList.RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
    return failed;
}

void ResultDownloads::ShowOnBar(ProgressBarValues values) {
    if (values.maximum == lastShown_.maximum && values.position == lastShown_.position) return;
    lastShown_ = values;
    s_.progress.SetProgressMaximum(values.maximum);
    s_.progress.SetProgressPosition(values.position);
}

void ResultDownloads::ShowCompleted() {
    // A size that was never known leaves the bar empty until here, and full now.
    const int maximum = lastShown_.maximum > 0 ? lastShown_.maximum : 1;
    ShowOnBar({maximum, maximum});
}

void ResultDownloads::DownloadProgress(const nuv::DownloadProgress& report) {
    if (Closing()) throw DownloadCancelled();
    ProgressBarValues values = ScaleProgress(report.progress, report.maximum);
    // A bar whose range is 0 to 0 shows "busy" for as long as it stays so: while the
    // size is unknown it stands empty instead.
    if (values.maximum == 0) values = {1, 0};
    if (!throttle_.Due(report.progress, report.maximum, s_.clock())) return;
    ShowOnBar(values);
    // Even without news the window keeps answering while the transfer stalls.
    if (s_.processWindowEvents) s_.processWindowEvents();
    if (Closing()) throw DownloadCancelled();
}

void ResultDownloads::BtnSaveAllClick() {
    try {
        TargetFolder = UsableSaveFolder();
        if (TargetFolder.empty()) return;
        SaveAllResources();
    } catch (...) {
        NoteSwallowed();
    }
}

void ResultDownloads::BtnSaveAllAsClick() {
    try {
        std::string folder = SelectFolder(s_.dialogs, "", s_.homeFolder);
        if (folder.empty()) return;
        NormalizeFolderPath(folder);
        TargetFolder = folder;
        s_.defaultSavePath = folder;
        const std::size_t failed = SaveAllResources();
        if (Closing()) return;
        // A folder into which nothing could be saved is not shown as if it held the files.
        if (failed == 0 || failed < lastBatchSize_) OpenLocation(s_.shell, folder);
    } catch (...) {
        NoteSwallowed();
    }
}

}  // namespace nuv

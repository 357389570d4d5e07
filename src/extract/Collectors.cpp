#include "extract/Collectors.h"

#include <functional>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/Guard.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "extract/Scanner.h"
#include "web/Address.h"
#include "web/DocumentBridge.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

constexpr std::string_view kSourceImageExtensions[] = {".gif", ".png", ".jpg",  ".jpeg",
                                                       ".ico", ".bmp", ".tiff", ".psd",
                                                       ".svg", ".emf", ".wmf"};

// Hands every download to `inner` after telling `before` its address and target file.
class TellingDownloader : public IDownloader {
public:
    TellingDownloader(IDownloader& inner, std::function<void(const std::string&, const std::string&)> before)
        : inner_(inner), before_(std::move(before)) {}
    void DownloadToFile(const std::string& url, const std::string& filePath, const DownloadProgressFn& progress,
                        const DownloadBounds& bounds) override {
        before_(url, filePath);
        inner_.DownloadToFile(url, filePath, progress, bounds);
    }

private:
    IDownloader& inner_;
    std::function<void(const std::string&, const std::string&)> before_;
};

}  // namespace

void Collectors::Append(ListKind kind, const std::string& address, ImageNote note) {
    switch (kind) {
        case ListKind::lkImage: lists_.AddImage(address, std::move(note)); break;
        case ListKind::lkLink: lists_.AddLink(address); break;
        case ListKind::lkFlash: lists_.FlashURLs.Add(address); break;
        case ListKind::lkOther: lists_.OtherURLs.Add(address); break;
    }
    Tell(address, [&](IExtractionObserver& o) { o.Found(kind, address); });
}

bool Collectors::AppendNew(ListKind kind, const std::string& address, ImageNote note) {
    if (lists_.IsListed(kind, address)) return false;
    Append(kind, address, std::move(note));
    return true;
}

void Collectors::NoteFailure(const char* step, const std::string& address) noexcept {
    try {
        NoteFailure(step, address, WhyOfCurrentFailure());
    } catch (...) {
        // Without memory for the note the failure goes unnoted.
    }
}

void Collectors::NoteFailure(const char* step, const std::string& address, const std::string& why) noexcept {
    if (!current_) return;
    try {
        ExtractionError error{step, address, why.empty() ? std::string("unknown failure") : why};
        // A page read twice, or a sheet named twice, that fails the same way is noted once.
        if (!noted_.insert(error.step + '\n' + error.address + '\n' + error.why).second) return;
        current_->errors.push_back(std::move(error));
    } catch (...) {
        // As above.
    }
}

std::string Collectors::PageSource() {
    std::string why;
    std::string source = GetPageSource(s_.mainBrowser, &why);
    if (!why.empty()) NoteFailure("page source", PageAddress(), why);
    return source;
}

std::string Collectors::PageText() {
    std::string why;
    std::string text = GetPageText(s_.mainBrowser, &why);
    if (!why.empty()) NoteFailure("page text", PageAddress(), why);
    return text;
}

void Collectors::Tell(const std::string& address, const std::function<void(IExtractionObserver&)>& tell) {
    if (!s_.observer) return;
    try {
        tell(*s_.observer);
    } catch (...) {
        NoteSwallowed();
        NoteFailure("observer", address);
    }
}

void Collectors::CollectSourceImages(const std::string& source, const std::string& base,
                                     bool progress) {
    try {
        if (progress) StepProgress();
        if (progress) StepProgress();
        static const std::vector<std::string_view> kMarkers(std::begin(kSourceImageExtensions),
                                                            std::end(kSourceImageExtensions));
        for (const std::vector<std::string>& found : ScanReferencesEach(kMarkers, source, base)) {
            for (const std::string& address : found) {
                try {
                    AppendNew(ListKind::lkImage, address, {place_});
                } catch (...) {
                    NoteSwallowed();
                    NoteFailure("listing", address);
                }
            }
            if (progress) StepProgress();
        }
    } catch (...) {
        NoteSwallowed();
        NoteFailure("scan", base);
    }
}

void Collectors::CollectSourceFlash(const std::string& source, const std::string& base) {
    try {
        for (const std::string& address : ScanSourceFlash(source, base)) {
            try {
                if (lists_.IsListed(ListKind::lkFlash, address)) continue;
                if (IsWebPageAddress(address)) continue;
                Append(ListKind::lkFlash, address);
            } catch (...) {
                NoteSwallowed();
                NoteFailure("listing", address);
            }
        }
    } catch (...) {
        NoteSwallowed();
        NoteFailure("scan", base);
    }
}

// Rebuilds CssURLs from the page, fetches every sheet into the save folder and appends
// the new images (or Flash movies) that the sheets name. Addresses of earlier sheets are
// met again and skipped by the duplicate test, so the order is sheet, line, extension.
void Collectors::CollectCssInto(ListKind kind) {
    try {
        lists_.CssURLs = ScanPageReferences(".css", PageSource(), s_.mainBrowser);
        StepProgress();
        for (const std::string& sheet : lists_.CssURLs) {
            StepProgress();
            std::vector<std::string> found;
            if (const std::shared_ptr<const KeptSheet> kept = KeptSheetOf(sheet)) {
                found = kept->Finds(kind == ListKind::lkImage);
            } else {
                const auto lines = FetchSheet(sheet);
                found = kind == ListKind::lkImage ? ScanSheetImages(sheet, lines ? *lines : std::vector<std::string>{})
                                                  : ScanSheetFlash(sheet, lines ? *lines : std::vector<std::string>{});
            }
            for (const std::string& address : found) {
                try {
                    AppendNew(kind, address, {ImagePlace::Sheet});
                } catch (...) {
                    NoteSwallowed();
                    NoteFailure("listing", address);
                }
            }
        }
        StepProgress();
        RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
        NoteFailure("style sheets", PageAddress());
    }
}

std::optional<std::vector<std::string>> Collectors::FetchSheet(const std::string& sheet) {
    SavedSheet saved{sheet, {}};
    TellingDownloader downloader(s_.downloader, [this](const std::string& address, const std::string& file) {
        Tell(address, [&](IExtractionObserver& o) { o.FetchingSheet(address, file); });
    });
    auto lines = FetchIntoSaveFolder(s_.saveFolder.SaveFolder(), downloader, sheet, &saved.outcome);
    if (saved.outcome.folderUnusable && s_.window) s_.window->savedList.SaveFolderUnusable();
    if (!saved.outcome.saved) NoteFailure("style sheet", sheet, saved.outcome.error);
    if (current_) current_->styleSheets.push_back(std::move(saved));
    return lines;
}

std::shared_ptr<const KeptSheet> Collectors::KeptSheetOf(const std::string& sheet) {
    if (s_.keptSheets == nullptr) return nullptr;
    std::shared_ptr<const KeptSheet> kept = s_.keptSheets->Find(sheet);
    // What a fetch would not have saved is fetched, and fails as it fails.
    const std::string name = CleanNameComponent(FileNameOfAddress(sheet));
    if (!kept || name.empty() || kept->Text().size() > kStyleSheetBounds.maxBytes) return nullptr;
    const bool failed = kept->Status() != 0;  // as its fetch failed: nothing to save
    SavedSheet saved{sheet, {}, failed ? nullptr : kept};
    saved.outcome.file = s_.saveFolder.SaveFolder() + name;
    saved.outcome.attempted = true;
    saved.outcome.saved = !failed;
    Tell(sheet, [&](IExtractionObserver& o) { o.FetchingSheet(sheet, saved.outcome.file); });
    if (failed) {
        saved.outcome.error = kept->Failure();
        saved.outcome.failure = DownloadFailure::Http;
        NoteFailure("style sheet", sheet, saved.outcome.error);
    }
    if (current_) current_->styleSheets.push_back(std::move(saved));
    return kept;
}

void Collectors::CollectCssImages() { CollectCssInto(ListKind::lkImage); }
void Collectors::CollectCssFlash() { CollectCssInto(ListKind::lkFlash); }

void Collectors::CollectFramesInto(ListKind kind) {
    try {
        std::vector<std::string> frames;
        struct Note {
            std::vector<std::string>& frames;
            ExtractionResult* result;
            ~Note() {
                if (result) result->frames = frames;
            }
        } note{frames, current_};
        ListFrameAddresses(s_.mainBrowser, frames);
        for (const std::string& entry : frames) {
            std::string address;
            try {
                address = Trim(entry);
                if (address.empty() || Contains(address, "about:blank")) continue;
                const std::string page = s_.http.Get(address);
                if (kind == ListKind::lkImage) {
                    // What CollectSourceImages finds now was found in a frame.
                    place_ = ImagePlace::Frame;
                    struct BackToThePage {
                        ImagePlace& place;
                        ~BackToThePage() { place = ImagePlace::Page; }
                    } back{place_};
                    CollectSourceImages(page, address, true);
                } else {
                    CollectSourceFlash(page, address);
                }
            } catch (...) {
                NoteSwallowed();
                NoteFailure("frame", address);
                // A frame that cannot be fetched contributes nothing.
            }
        }
    } catch (...) {
        NoteSwallowed();
        NoteFailure("frames", PageAddress());
    }
}

void Collectors::CollectFrameImages() { CollectFramesInto(ListKind::lkImage); }

void Collectors::CollectShownImages() {
    try {
        const ShownPictureList shown = s_.mainBrowser.ShownPictures(kShownPictureLimit);
        ExtractionCut unused;
        ExtractionCut& cut = current_ ? current_->cut : unused;
        cut.documents += shown.documentsCut;
        cut.shownPictures += shown.picturesCut;
        // The page source names a picture as written ("图.gif", "a b.png"); the page shows
        // it under the address its parser made of that ("%E5%9B%BE.gif", "a%20b.png"): the
        // same picture, listed once.
        std::unordered_map<std::string, int> decoded;
        const auto decodedKey = [](const std::string& address) { return NormalizedKey(PercentDecoded(address)); };
        for (size_t i = 0; i < lists_.ImageURLs.size(); ++i)
            decoded.try_emplace(decodedKey(lists_.ImageURLs[i]), static_cast<int>(i));
        for (const ShownPicture& picture : shown.pictures) {
            try {
                const std::string scheme = AddressScheme(picture.address);
                if (scheme != "http" && scheme != "https") continue;
                int listed = lists_.ImageURLs.IndexOfNormalized(picture.address);
                if (listed < 0) {
                    const auto same = decoded.find(decodedKey(picture.address));
                    if (same != decoded.end()) listed = same->second;
                }
                if (listed < 0) {
                    if (lists_.ImageURLs.size() >= kShownPictureLimit) {
                        ++cut.shownPictures;
                        continue;
                    }
                    Append(ListKind::lkImage, picture.address,
                           {ImagePlace::Shown, picture.width, picture.height, picture.declaredType});
                    decoded.try_emplace(decodedKey(picture.address), static_cast<int>(lists_.ImageURLs.size() - 1));
                    continue;
                }
                // An entry found before keeps its place; the page tells its size.
                ImageNote& note = lists_.ImageNotes[static_cast<size_t>(listed)];
                if (note.width == 0 && note.height == 0) {
                    note.width = picture.width;
                    note.height = picture.height;
                }
            } catch (...) {
                NoteSwallowed();
                NoteFailure("listing", picture.address);
            }
        }
    } catch (...) {
        NoteSwallowed();
        NoteFailure("shown pictures", PageAddress());
        // A page that cannot be read adds nothing.
    }
}

void Collectors::CollectFrameFlash() { CollectFramesInto(ListKind::lkFlash); }

void Collectors::CollectLinks() {
    lists_.ClearLinks();
    lists_.OtherURLs.Clear();
    DocumentLinkList read;
    try {
        read = s_.mainBrowser.DocumentLinks(kLinkLimit);
    } catch (...) {
        NoteSwallowed();
        NoteFailure("links", PageAddress());
        return;
    }
    if (read.links.size() > kLinkLimit) {
        read.cut += read.links.size() - kLinkLimit;
        read.links.resize(kLinkLimit);
    }
    if (current_) current_->cut.links = read.cut;
    for (const std::string& a : read.links) {
        try {
            const std::string l = LowerAscii(a);
            if (Contains(l, "javascript:") || Contains(l, "#")) continue;
            if (IsWebPageAddress(l)) {
                AppendNew(ListKind::lkLink, a);
            } else if (Contains(l, ".swf")) {
                AppendNew(ListKind::lkFlash, a);
            } else {
                AppendNew(ListKind::lkOther, a);
            }
        } catch (...) {
            NoteSwallowed();
            NoteFailure("listing", a);
        }
    }
}

void Collectors::ExtractCss() {
    try {
        lists_.CssURLs = ScanPageReferences(".css", PageSource(), s_.mainBrowser);
        for (const std::string& sheet : lists_.CssURLs) {
            try {
                if (!KeptSheetOf(sheet)) FetchSheet(sheet);
            } catch (...) {
                NoteSwallowed();
                NoteFailure("style sheet", sheet);
            }
        }
        RefreshSavedList();
        std::string names;
        for (const std::string& sheet : lists_.CssURLs) names += sheet + "\r\n";
        if (s_.window) s_.window->dialogs.ShowMessage(FormatS("已保存%s,你可以在『已保存资源列表』中找到。", {names}));
    } catch (...) {
        NoteSwallowed();
        NoteFailure("style sheets", PageAddress());
    }
}

}  // namespace nuv

#include "extract/Collectors.h"

#include <iterator>
#include <string_view>
#include <utility>

#include "common/Guard.h"
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

}  // namespace

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
                    if (!lists_.IsListed(ListKind::lkImage, address)) lists_.AddImage(address, {place_});
                } catch (...) {
                    NoteSwallowed();
                }
            }
            if (progress) StepProgress();
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void Collectors::CollectSourceFlash(const std::string& source, const std::string& base) {
    try {
        for (const std::string& address : ScanSourceFlash(source, base)) {
            try {
                if (lists_.IsListed(ListKind::lkFlash, address)) continue;
                if (IsWebPageAddress(address)) continue;
                lists_.FlashURLs.Add(address);
            } catch (...) {
                NoteSwallowed();
            }
        }
    } catch (...) {
        NoteSwallowed();
    }
}

// Rebuilds CssURLs from the page, fetches every sheet into the save folder and appends
// the new images (or Flash movies) that the sheets name. Addresses of earlier sheets are
// met again and skipped by the duplicate test, so the order is sheet, line, extension.
void Collectors::CollectCssInto(ListKind kind) {
    try {
        lists_.CssURLs = ScanPageReferences(".css", s_.mainBrowser);
        StepProgress();
        for (const std::string& sheet : lists_.CssURLs) {
            StepProgress();
            const auto lines = FetchSheet(sheet);
            const std::vector<std::string> found =
                kind == ListKind::lkImage ? ScanSheetImages(sheet, lines ? *lines : std::vector<std::string>{})
                                          : ScanSheetFlash(sheet, lines ? *lines : std::vector<std::string>{});
            for (const std::string& address : found) {
                try {
                    if (lists_.IsListed(kind, address)) continue;
                    if (kind == ListKind::lkImage) {
                        lists_.AddImage(address, {ImagePlace::Sheet});
                    } else {
                        lists_.FlashURLs.Add(address);
                    }
                } catch (...) {
                    NoteSwallowed();
                }
            }
        }
        StepProgress();
        RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
}

std::optional<std::vector<std::string>> Collectors::FetchSheet(const std::string& sheet) {
    SavedSheet saved{sheet, {}};
    auto lines = FetchIntoSaveFolder(s_.saveFolder.SaveFolder(), s_.downloader, sheet, &saved.outcome);
    if (saved.outcome.folderUnusable && s_.window) s_.window->savedList.SaveFolderUnusable();
    if (current_) current_->styleSheets.push_back(std::move(saved));
    return lines;
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
            try {
                const std::string address = Trim(entry);
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
                // A frame that cannot be fetched contributes nothing.
            }
        }
    } catch (...) {
        NoteSwallowed();
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
        for (const ShownPicture& picture : shown.pictures) {
            try {
                const std::string scheme = AddressScheme(picture.address);
                if (scheme != "http" && scheme != "https") continue;
                const int listed = lists_.ImageURLs.IndexOfNormalized(picture.address);
                if (listed < 0) {
                    if (lists_.ImageURLs.size() >= kShownPictureLimit) {
                        ++cut.shownPictures;
                        continue;
                    }
                    lists_.AddImage(picture.address,
                                   {ImagePlace::Shown, picture.width, picture.height, picture.declaredType});
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
            }
        }
    } catch (...) {
        NoteSwallowed();
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
                if (!lists_.IsListed(ListKind::lkLink, a)) lists_.AddLink(a);
            } else if (Contains(l, ".swf")) {
                if (!lists_.IsListed(ListKind::lkFlash, a)) lists_.FlashURLs.Add(a);
            } else if (!lists_.IsListed(ListKind::lkOther, a)) {
                lists_.OtherURLs.Add(a);
            }
        } catch (...) {
            NoteSwallowed();
        }
    }
}

void Collectors::ExtractCss() {
    try {
        lists_.CssURLs = ScanPageReferences(".css", s_.mainBrowser);
        for (const std::string& sheet : lists_.CssURLs) {
            try {
                FetchSheet(sheet);
            } catch (...) {
                NoteSwallowed();
            }
        }
        RefreshSavedList();
        std::string names;
        for (const std::string& sheet : lists_.CssURLs) names += sheet + "\r\n";
        if (s_.window) s_.window->dialogs.ShowMessage(FormatS("已保存%s,你可以在『已保存资源列表』中找到。", {names}));
    } catch (...) {
        NoteSwallowed();
    }
}

}  // namespace nuv

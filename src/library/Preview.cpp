#include "library/Preview.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "codecs/Pictures.h"
#include "common/Guard.h"
#include "library/logic/SimilarPictures.h"
#include "save/PictureRules.h"
#include "platform/FlashPlayer.h"
#include "platform/PageScripts.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebPage.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

const QString kEventObjectName = QStringLiteral("TEventObject");

QToolButton* GlyphButton(QWidget* parent, const char* name, const char* glyph, const QString& tip, QSize size) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setFixedSize(size);
    QPixmap pm;
    LoadBitmapResource(pm, glyph, "bmp");
    if (!pm.isNull()) {
        b->setIcon(pm);
        b->setIconSize(pm.size());
    } else {
        b->setText(tip);
    }
    b->setToolTip(tip);
    SetAccessibleText(b, tip);  // a screen reader says the caption, not just "button"
    return b;
}

bool IsProgramPage(const QUrl& url) { return url.scheme() == QLatin1String("nuvdoc"); }

// The result window's page never leaves the program's own documents: every navigation
// away (a script, a movie, a frame that sets top.location) is refused. The links of result
// pages open new windows, which go to the desktop's browser when the user asked for them.
class ResultPage : public WebPage {
public:
    using WebPage::WebPage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        return IsProgramPage(url) || url == QUrl(QStringLiteral("about:blank"));
    }
};

}  // namespace

TEventObject::TEventObject(Handler handler, QObject* parent) : QObject(parent), EventHandler(std::move(handler)) {
    setObjectName(kEventObjectName);
}

void TEventObject::Click(const QString& tagName, const QString& address) {
    if (EventHandler) EventHandler(tagName, address);
}

void TEventObject::FilterReady() {
    if (FilterReadyHandler) FilterReadyHandler();
}

void TEventObject::SimilarWanted() {
    if (SimilarWantedHandler) SimilarWantedHandler();
}

TFrmPreview::TFrmPreview(PreviewServices services, QWidget* parent)
    : QWidget(parent), s_(std::move(services)) {
    downloads_ = std::make_unique<ResultDownloads>(ResultDownloadServices{
        s_.saveFolder, s_.savedList, s_.hints, s_.progress, s_.defaultSavePath,
        [] { QCoreApplication::processEvents(); }, s_.downloader, s_.dialogs, s_.shell, s_.lists, s_.homeFolder, {},
        // The window closes (or the program quits): downloads stop at their next report.
        [this] { return browser_ && browser_->Closed(); }, s_.protectedFiles, [this] { return FilteredPictures(); }});
    setObjectName(QStringLiteral("FrmPreview"));
    setWindowTitle(QStringLiteral("资源提取"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new QWebEngineView(this);
    view_->setObjectName(QStringLiteral("WebBrowser1"));
    SetAccessibleText(view_, QStringLiteral("提取结果"));
    // The page's click hook calls the window's object, which comes first.
    eventObject_ = MakeEventObject();
    view_->setPage(new ResultPage(eventObject_, view_));
    view_->setAcceptDrops(false);  // a dropped link would replace the result page
    layout->addWidget(view_, 1);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("Panel1"));
    bar->setFixedHeight(32);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0xF5, 0xFA, 0xFE));
    bar->setPalette(palette);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 2, 6, 2);
    btnSaveAll_ = GlyphButton(bar, "BtnSaveAll", "btnsaveall", QStringLiteral("全部保存"), QSize(82, 25));
    btnSaveAllAs_ = GlyphButton(bar, "BtnSaveAllAs", "btnsaveallas", QStringLiteral("全部另存为"), QSize(97, 25));
    barLayout->addWidget(btnSaveAll_);
    barLayout->addWidget(btnSaveAllAs_);
    barLayout->addStretch(1);
    layout->addWidget(bar);
    // Tab goes from the page down to the buttons under it. The page's own widget comes
    // with its first document, so the order is set again once that has loaded.
    const auto tabOrder = [this] {
        QWidget* page = view_->focusProxy() ? view_->focusProxy() : view_;
        setTabOrder(page, btnSaveAll_);
        setTabOrder(btnSaveAll_, btnSaveAllAs_);
    };
    tabOrder();
    connect(view_, &QWebEngineView::loadFinished, this, tabOrder);
    connect(view_, &QWebEngineView::loadFinished, this, [this] { HandPictureTypes(); });

    // A window the user asked for opens in the desktop's browser; a script's never does.
    connect(view_->page(), &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        if (request.isUserInitiated()) OpenInDefaultBrowser(request.requestedUrl());
    });
    browser_ = std::make_unique<WebEngineBrowser>(view_);
    // Movies of the shown Flash result page reach it through the program's relay; nothing
    // else does.
    SetMovieRelayPolicy(
        [self = QPointer<TFrmPreview>(this)](const QUrl& page, const QUrl& movie) -> std::optional<std::string> {
            if (!self || self->ImageMode() || !SameWebAddress(page, self->view_->page()->url()) ||
                !IsProgramPage(page))
                return std::nullopt;
            for (const std::string& listed : self->s_.lists.FlashURLs.Items()) {
                if (SameWebAddress(QUrl(FromUtf8(listed)), movie))
                    return self->s_.pageAddress ? self->s_.pageAddress() : std::string();
            }
            return std::nullopt;
        });

    connect(btnSaveAll_, &QToolButton::clicked, this, [this] { BtnSaveAllClick(); });
    connect(btnSaveAllAs_, &QToolButton::clicked, this, [this] { BtnSaveAllAsClick(); });
}

TFrmPreview::~TFrmPreview() = default;

TEventObject* TFrmPreview::MakeEventObject() {
    auto* object = new TEventObject(
        [this](const QString& tagName, const QString& address) {
            // Leave the channel's message delivery before a download re-enters the loop.
            QPointer<TFrmPreview> self(this);
            QMetaObject::invokeMethod(
                this,
                [self, tag = ToUtf8(tagName), link = ToUtf8(address)] {
                    // Only the program's own page may ask for downloads.
                    if (self && IsProgramPage(self->view_->page()->url())) self->ResultPageClick(tag, link);
                },
                Qt::QueuedConnection);
        },
        this);
    // Its types come as soon as the bar asks, not only once every picture has loaded.
    object->FilterReadyHandler = [this] {
        QMetaObject::invokeMethod(this, [self = QPointer<TFrmPreview>(this)] {
            if (self) self->HandPictureTypes();
        }, Qt::QueuedConnection);
    };
    object->SimilarWantedHandler = [this] {
        QMetaObject::invokeMethod(this, [self = QPointer<TFrmPreview>(this)] {
            if (self) self->HandSimilarGroups();
        }, Qt::QueuedConnection);
    };
    return object;
}

void TFrmPreview::HandPictureTypes() {
    if (!ImageMode() || !IsProgramPage(view_->page()->url())) return;
    QJsonObject types;
    const auto& urls = s_.lists.ImageURLs;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const std::string declared = i < s_.lists.ImageNotes.size() ? s_.lists.ImageNotes[i].declaredType : "";
        types.insert(FromUtf8(urls[i]), FromUtf8(PictureTypeOf(urls[i], declared)));
    }
    view_->page()->runJavaScript(
        scripts::SetResultPictureTypes(QString::fromUtf8(QJsonDocument(types).toJson(QJsonDocument::Compact))),
        scripts::kWorld);
}

void TFrmPreview::HandSimilarGroups() {
    if (comparing_ || !ImageMode() || !IsProgramPage(view_->page()->url())) return;
    comparing_ = true;
    const QUrl page = view_->page()->url();
    const std::vector<std::string> urls = s_.lists.ImageURLs.Items();
    const auto gone = [&] { return !browser_ || browser_->Closed() || view_->page()->url() != page; };
    try {
        QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/nuv-similar-XXXXXX"));
        std::size_t done = 0;
        for (const std::string& url : urls) {
            ++done;
            if (looks_.count(url) != 0) continue;
            if (gone() || !folder.isValid()) break;
            const std::string file = ToUtf8(folder.path()) + "/picture";
            try {
                s_.downloader.DownloadToFile(url, file, [&](const DownloadProgress&) {
                    QCoreApplication::processEvents();
                    if (gone()) throw DownloadCancelled();
                });
                looks_[url] = PictureDifferenceHash(file);
            } catch (const DownloadCancelled&) {
                break;
            } catch (...) {
                NoteSwallowed();
                looks_[url] = std::nullopt;  // not fetched or no picture: alike with none
            }
            QFile::remove(FromUtf8(file));
            s_.progress.SetProgressMaximum(static_cast<int>(urls.size()));
            s_.progress.SetProgressPosition(static_cast<int>(done));
        }
        if (!gone()) {
            std::vector<std::optional<std::uint64_t>> hashes;
            for (const std::string& url : urls) hashes.push_back(looks_.count(url) ? looks_[url] : std::nullopt);
            const std::vector<int> groups = SimilarPictureGroups(hashes);
            QJsonObject map;
            for (std::size_t i = 0; i < urls.size(); ++i) map.insert(FromUtf8(urls[i]), groups[i]);
            view_->page()->runJavaScript(
                scripts::SetResultPictureGroups(QString::fromUtf8(QJsonDocument(map).toJson(QJsonDocument::Compact))),
                scripts::kWorld);
        }
    } catch (...) {
        NoteSwallowed();
    }
    comparing_ = false;
}

std::optional<std::vector<std::string>> TFrmPreview::FilteredPictures() {
    try {
        if (!IsProgramPage(view_->page()->url())) return std::nullopt;
        const std::string json = browser_->RunProgramScript(scripts::ResultFilterState());
        const QJsonObject state =
            QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size()))).object();
        if (!state.value(QStringLiteral("active")).toBool()) return std::nullopt;
        std::vector<std::string> visible;
        for (const QJsonValue& v : state.value(QStringLiteral("visible")).toArray()) visible.push_back(ToUtf8(v.toString()));
        return visible;
    } catch (...) {
        NoteSwallowed();
        // A page that does not answer has no filter: the batch takes the whole list.
        return std::nullopt;
    }
}

void TFrmPreview::OpenInDefaultBrowser(const QUrl& address) {
    try {
        const std::string text = ToUtf8(address.toString(QUrl::FullyEncoded));
        if (IsWebAddress(text)) OpenLocation(s_.shell, text);
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmPreview::ResultPageClick(const std::string& tagName, const std::string& address) {
    downloads_->ResultPageClick(tagName, address);
}

void TFrmPreview::DownloadResource(const std::string& address, bool announce) {
    downloads_->DownloadResource(address, announce);
}

void TFrmPreview::SaveAllResources() { downloads_->SaveAllResources(); }

void TFrmPreview::BtnSaveAllClick() { downloads_->BtnSaveAllClick(); }

void TFrmPreview::BtnSaveAllAsClick() { downloads_->BtnSaveAllAsClick(); }

}  // namespace nuv

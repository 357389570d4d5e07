#include "library/Preview.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "platform/QtText.h"
#include "platform/QtResources.h"
#include "platform/WebEngineBrowser.h"
#include "platform/PageScripts.h"

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
    return b;
}

}  // namespace

TEventObject::TEventObject(Handler handler, QObject* parent) : QObject(parent), EventHandler(std::move(handler)) {
    setObjectName(kEventObjectName);
}

void TEventObject::Click(const QString& tagName, const QString& address) {
    if (EventHandler) EventHandler(tagName, address);
}

TFrmPreview::TFrmPreview(PreviewServices services, QWidget* parent)
    : QWidget(parent), s_(std::move(services)) {
    downloads_ = std::make_unique<ResultDownloads>(ResultDownloadServices{
        s_.saveFolder, s_.savedList, s_.hints, s_.progress, s_.defaultSavePath,
        [] { QCoreApplication::processEvents(); }, s_.downloader, s_.dialogs, s_.shell, s_.lists, s_.homeFolder, {}});
    setObjectName(QStringLiteral("FrmPreview"));
    setWindowTitle(QStringLiteral("资源提取"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new QWebEngineView(this);
    view_->setObjectName(QStringLiteral("WebBrowser1"));
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

    // The hook has to be on the page before the browser wrapper starts loading into it.
    eventObject_ = new TEventObject(
        [this](const QString& tagName, const QString& address) {
            // Leave the channel's message delivery before a download re-enters the loop.
            QPointer<TFrmPreview> self(this);
            QMetaObject::invokeMethod(
                this,
                [self, tag = ToUtf8(tagName), link = ToUtf8(address)] {
                    if (self) self->ResultPageClick(tag, link);
                },
                Qt::QueuedConnection);
        },
        this);
    channel_ = new QWebChannel(this);
    channel_->registerObject(kEventObjectName, eventObject_);
    view_->page()->setWebChannel(channel_, scripts::kWorld);
    InstallClickHook();
    InstallResultPageLayout();
    connect(view_->page(), &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) { OpenInDefaultBrowser(request.requestedUrl()); });
    browser_ = std::make_unique<WebEngineBrowser>(view_);

    connect(btnSaveAll_, &QToolButton::clicked, this, [this] { BtnSaveAllClick(); });
    connect(btnSaveAllAs_, &QToolButton::clicked, this, [this] { BtnSaveAllAsClick(); });
}

TFrmPreview::~TFrmPreview() = default;

void TFrmPreview::InstallClickHook() {
    const QString channelJs = scripts::WebChannelBootstrap();
    if (channelJs.isEmpty()) return;  // without it clicks cannot reach the window
    scripts::Install(view_->page()->scripts(), QStringLiteral("nuv-result-click-hook"),
                     channelJs + QLatin1Char('\n') + scripts::ResultClickHook(kEventObjectName), false);
}

// Long addresses wrap in their cells, pictures show their pixel size, movies fit their
// cells: by a script in the shown page, the page's markup stays as the renderers made it.
void TFrmPreview::InstallResultPageLayout() {
    scripts::Install(view_->page()->scripts(), QStringLiteral("nuv-result-layout"), scripts::ResultPageLayout(), false);
}

void TFrmPreview::OpenInDefaultBrowser(const QUrl& address) {
    try {
        OpenLocation(s_.shell, ToUtf8(address.toString(QUrl::FullyEncoded)));
    } catch (...) {
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

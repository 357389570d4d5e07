#include "frame/UpdateWindow.h"

#include <chrono>
#include <system_error>

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "common/Progress.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/UiThread.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

const char* const kUpToDate = "已经是最新版本";
const char* const kUpdating = "软件正在更新中，请稍候...";
const char* const kUpdated = "更新完成，关闭后将自动重启软件";

}  // namespace

TFrmUpdate::TFrmUpdate(FrameServices services, QWidget* owner)
    : QWidget(owner, Qt::Window), s_(std::move(services)) {
    setObjectName(QStringLiteral("TFrmUpdate"));
    setWindowTitle(QStringLiteral("NUV软件在线升级"));
    setGeometry(106, 130, 651, 165);
    setFont(PixelFont("宋体", 15));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xF5, 0xFA, 0xFE));
    setPalette(p);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // PnlMain has no layout: the browser is placed by hand, the banner follows its size.
    PnlMain = new QWidget(this);
    PnlMain->setObjectName(QStringLiteral("PnlMain"));
    PnlMain->installEventFilter(this);
    Image1 = new QLabel(PnlMain);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    QPixmap banner;
    LoadJpegResource(banner, "updatebanner", "jpg");
    if (!banner.isNull()) Image1->setPixmap(banner);
    WebBrowser1 = new QWebEngineView(PnlMain);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(0, 0, 588, 64);
    column->addWidget(PnlMain, 1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedHeight(13);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);
    column->addWidget(ProgressBar1);
    LblHint = new QLabel(QStringLiteral("正在更新软件，请稍候..."), this);
    LblHint->setObjectName(QStringLiteral("LblHint"));
    LblHint->setAlignment(Qt::AlignCenter);
    LblHint->setFont(PixelFont("MS Sans Serif", 13));
    LblHint->setStyleSheet(QStringLiteral("QLabel#LblHint { color: #FF0000; }"));
    column->addWidget(LblHint);
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(37);
    SpeedButton3 = new QToolButton(Panel2);
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
    SpeedButton3->setGeometry(380, 5, 72, 24);
    QPixmap glyph;
    LoadBitmapResource(glyph, "btnrestart", "bmp");
    if (!glyph.isNull()) {
        SpeedButton3->setIcon(glyph);
        SpeedButton3->setIconSize(QSize(70, 22));
    }
    SpeedButton3->setToolTip(QStringLiteral("重新启动软件"));
    SpeedButton3->hide();
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    column->addWidget(Panel2);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    browser_ = std::make_unique<WebEngineBrowser>(WebBrowser1);
    connect(browser_.get(), &WebEngineBrowser::NavigateComplete, this, [this](bool) { Timer1->start(); });
    FormCreate();
}

TFrmUpdate::~TFrmUpdate() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    browser_->Close();
}

void TFrmUpdate::FormCreate() {
    WebBrowser1->move(WebBrowser1->x(), -2000);
    updaterPath_ = s_.programFolder + std::string(UpdaterFileName);
}

bool TFrmUpdate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PnlMain && event->type() == QEvent::Resize) Image1->setGeometry(PnlMain->rect());
    return QWidget::eventFilter(watched, event);
}

void TFrmUpdate::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFrmUpdate::FormShow() {
    // A running download keeps the window as it is: checking again would start another.
    if (downloading_) return;
    if (s_.updateAddress.empty()) s_.dialogs.ShowMessage("TesvarnCOMUpdate is null");
    browser_->Navigate(s_.updateAddress);
}

void TFrmUpdate::Timer1Timer() {
    Timer1->stop();
    if (ShowUpdatePage(*browser_, PnlMain->width(), PnlMain->height(), Image1)) {
        EvaluateUpdate();
    } else {
        s_.dialogs.ShowMessage(kUpToDate);
        close();
    }
}

bool TFrmUpdate::ShowUpdatePage(WebEngineBrowser& browser, int w, int h, QLabel* picture) {
    bool genuine = false;
    try {
        genuine = !browser.LocationURL().empty() && browser.HasDocument() && IsUpdatePage(browser.BodyOuterHtml());
    } catch (...) {
        genuine = false;
    }
    QWebEngineView* view = browser.View();
    if (genuine) {
        view->setGeometry(-2, -2, w + 4, h + 4);
        picture->hide();
    } else {
        view->move(-2000, view->y());
        picture->show();
        if (picture->parentWidget()) picture->parentWidget()->show();
    }
    return genuine;
}

bool TFrmUpdate::CheckUpdatePage(WebEngineBrowser& browser) {
    try {
        if (browser.LocationURL().empty() || !browser.HasDocument()) return false;
        return CheckUpdateText(info_, browser.BodyOuterHtml());
    } catch (...) {
        return false;
    }
}

void TFrmUpdate::EvaluateUpdate() {
    if (CheckUpdatePage(*browser_)) {
        StartUpdateDownload();
    } else {
        s_.dialogs.ShowMessage(kUpToDate);
        close();
    }
}

void TFrmUpdate::Refuse(const std::string& text) {
    LblHint->setText(FromUtf8(text));
    s_.dialogs.ShowMessage(text);
}

void TFrmUpdate::StartUpdateDownload() {
    if (downloading_) return;
    const std::string address = info_.UpdateDownloadAddress;
    // The updater is run once it is here: it must come over a verified connection.
    if (!IsSecureDownloadAddress(address)) {
        Refuse("升级程序的下载地址不是安全的 https 地址，已拒绝下载：" + address);
        return;
    }
    if (!FolderIsWritable(s_.programFolder)) {
        Refuse("程序所在的文件夹不能写入，无法下载升级程序：" + s_.programFolder);
        return;
    }
    LblHint->setText(FromUtf8(kUpdating));
    downloading_ = true;
    QTimer::singleShot(1000, this, [this, address] { StartDownloadThread(address); });
}

void TFrmUpdate::StartDownloadThread(const std::string& address) {
    if (worker_.joinable()) worker_.join();  // the thread of an earlier download, already done
    std::unique_ptr<IDownloader> downloader;
    try {
        if (s_.makeUpdateDownloader) downloader = s_.makeUpdateDownloader();
    } catch (...) {
    }
    if (!downloader) {
        DownloadFinished(false, "no downloader");
        return;
    }
    try {
        worker_ = std::thread(&TFrmUpdate::DownloadUpdateThread, this, address, std::move(downloader));
    } catch (const std::system_error&) {
        downloading_ = false;
        s_.dialogs.ShowMessage("Thread not created");
    }
}

void TFrmUpdate::DownloadUpdateThread(std::string address, std::unique_ptr<IDownloader> downloader) {
    using namespace std::chrono;
    std::this_thread::sleep_for(milliseconds(100));
    bool ok = false;
    std::string why;
    try {
        if (cancel_) throw DownloadError("cancelled");
        ProgressThrottle throttle;
        downloader->DownloadToFile(address, updaterPath_, [this, &throttle](const DownloadProgress& p) {
            if (cancel_) throw DownloadError("cancelled");
            if (!throttle.Due(p.progress, p.maximum, steady_clock::now())) return;
            const ProgressBarValues bar = ScaleProgress(p.progress, p.maximum);
            RunOnUiThread(this, [this, bar] {
                ProgressBar1->setMaximum(bar.maximum);
                ProgressBar1->setValue(bar.position);
            });
        });
        ok = MakeExecutable(updaterPath_);
        if (!ok) why = "cannot make " + updaterPath_ + " executable";
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "unknown failure";
    }
    downloader.reset();
    RunOnUiThread(this, [this, ok, why] { DownloadFinished(ok, why); });
}

void TFrmUpdate::DownloadFinished(bool ok, const std::string& why) {
    if (worker_.joinable()) worker_.join();
    downloading_ = false;
    if (ok) {
        ProgressBar1->setValue(ProgressBar1->maximum());
        LblHint->setText(FromUtf8(kUpdated));
        SpeedButton3->show();
        return;
    }
    // The older updater, if any, is still in place; there is nothing to restart with.
    LblHint->setText(FromUtf8("升级程序下载失败：" + why));
    s_.dialogs.ShowMessage("升级程序下载失败，请稍后再试。");
}

void TFrmUpdate::SpeedButton3Click() {
    bool started = false;
    try {
        started = s_.shell.StartProgram(updaterPath_);
    } catch (...) {
    }
    if (!started) {
        s_.dialogs.ShowMessage("无法启动升级程序：" + updaterPath_);
        return;
    }
    close();
    if (s_.closeProgram) s_.closeProgram();
}

}  // namespace nuv

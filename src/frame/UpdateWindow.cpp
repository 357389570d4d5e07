#include "frame/UpdateWindow.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QSslCertificate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "common/Guard.h"
#include "common/Progress.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/UiThread.h"
#include "platform/WebPage.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

const char* const kUpToDate = "已经是最新版本";
const char* const kUpdating = "软件正在更新中，请稍候...";
const char* const kUpdated = "更新完成，关闭后将自动重启软件";
const char* const kWaitingHint = "正在更新软件，请稍候...";

std::string VerdictText(UpdaterVerdict verdict, const std::string& folder) {
    switch (verdict) {
        case UpdaterVerdict::Installed: return kUpdated;
        case UpdaterVerdict::Empty: return "下载的升级程序是空文件，原有的升级程序保持不变。";
        case UpdaterVerdict::NoSignature: return "升级程序没有官方签名，已拒绝使用，原有的升级程序保持不变。";
        case UpdaterVerdict::BadSignature:
            return "升级程序的签名不符（文件不完整或被改动过），已拒绝使用，原有的升级程序保持不变。";
        case UpdaterVerdict::WrongVersion:
            return "升级程序的版本与升级页面公布的版本不符（可能是旧的升级程序），已拒绝使用，原有的升级程序保持不变。";
        case UpdaterVerdict::NotInstalled: break;
    }
    return "无法把升级程序放进程序所在的文件夹：" + folder;
}

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
    // What the update page names (an address, a version) reaches the labels as text, never
    // as markup.
    Image1->setTextFormat(Qt::PlainText);
    QPixmap banner;
    LoadJpegResource(banner, "updatebanner", "jpg");
    if (!banner.isNull()) Image1->setPixmap(banner);
    WebBrowser1 = new QWebEngineView(PnlMain);
    WebBrowser1->setPage(new WebPage(WebBrowser1));
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(0, 0, 588, 64);
    SetAccessibleText(WebBrowser1, QStringLiteral("升级信息"));
    column->addWidget(PnlMain, 1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedHeight(13);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);
    column->addWidget(ProgressBar1);
    LblHint = new QLabel(FromUtf8(kWaitingHint), this);
    LblHint->setObjectName(QStringLiteral("LblHint"));
    LblHint->setTextFormat(Qt::PlainText);
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
    SetAccessibleText(SpeedButton3, QStringLiteral("重新启动软件"));
    SpeedButton3->hide();
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    column->addWidget(Panel2);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    browser_ = std::make_unique<WebEngineBrowser>(WebBrowser1);
    connect(browser_.get(), &WebEngineBrowser::NavigateComplete, this, [this](bool) {
        if (checkPending_) Timer1->start();
    });
    // Whatever starts loading is out of view until its check has found it genuine.
    connect(WebBrowser1->page(), &QWebEnginePage::loadStarted, this, [this] { HidePage(); });
    connect(WebBrowser1->page(), &QWebEnginePage::certificateError, this,
            [this](const QWebEngineCertificateError& error) { AcceptTrustedCertificate(error); });
    FormCreate();
}

TFrmUpdate::~TFrmUpdate() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    browser_->Close();
}

void TFrmUpdate::FormCreate() {
    messagePoint_ = ScreenPoint{geometry().x() + 80, geometry().y() + 30};
    WebBrowser1->move(WebBrowser1->x(), -2000);
    updaterPath_ = s_.programFolder + std::string(UpdaterFileName);
}

void TFrmUpdate::HidePage() {
    WebBrowser1->move(-2000, -2000);
    Image1->show();
}

void TFrmUpdate::Message(const std::string& text) { s_.dialogs.ShowMessage(text, messagePoint_); }

void TFrmUpdate::AcceptTrustedCertificate(const QWebEngineCertificateError& error) {
    const QList<QSslCertificate> chain = error.certificateChain();
    if (chain.isEmpty() || s_.extraTrustedCertificates.empty()) return;  // rejected
    const QList<QSslCertificate> trusted = QSslCertificate::fromData(
        QByteArray::fromStdString(s_.extraTrustedCertificates), QSsl::Pem);
    if (!trusted.contains(chain.first())) return;
    QWebEngineCertificateError accepted = error;
    accepted.acceptCertificate();
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
    // What an earlier showing left in the browser stays out of view while the page loads.
    HidePage();
    if (!SpeedButton3->isVisible()) LblHint->setText(FromUtf8(kWaitingHint));
    if (s_.updateAddress.empty()) Message("TesvarnCOMUpdate is null");
    Timer1->stop();  // the check of an earlier showing's page
    checkPending_ = true;
    browser_->Navigate(s_.updateAddress);
}

void TFrmUpdate::Timer1Timer() {
    Timer1->stop();
    // Checked once per showing, and only once the page of this showing's navigation has
    // arrived: a load that ends while another one is on its way says nothing.
    if (!checkPending_ || downloading_ || WebBrowser1->page()->isLoading()) return;
    checkPending_ = false;
    if (ShowUpdatePage(*browser_, PnlMain->width(), PnlMain->height(), Image1)) {
        EvaluateUpdate();
    } else {
        Message(kUpToDate);
        close();
    }
}

bool TFrmUpdate::ShowUpdatePage(WebEngineBrowser& browser, int w, int h, QLabel* picture) {
    bool genuine = false;
    try {
        const std::string location = browser.LocationURL();
        genuine = !location.empty() && IsOnMakerHost(location, s_.makerHost) && browser.HasDocument() &&
                  IsUpdatePage(browser.BodyOuterHtml());
    } catch (...) {
        NoteSwallowed();
        genuine = false;
    }
    QWebEngineView* view = browser.View();
    if (genuine) {
        view->setGeometry(-2, -2, w + 4, h + 4);
        picture->hide();
    } else {
        view->move(-2000, -2000);
        picture->show();
        if (picture->parentWidget()) picture->parentWidget()->show();
    }
    return genuine;
}

bool TFrmUpdate::CheckUpdatePage(WebEngineBrowser& browser) {
    try {
        const std::string location = browser.LocationURL();
        if (location.empty() || !IsOnMakerHost(location, s_.makerHost) || !browser.HasDocument()) return false;
        return CheckUpdateText(info_, browser.BodyOuterHtml());
    } catch (...) {
        NoteSwallowed();
        return false;
    }
}

void TFrmUpdate::EvaluateUpdate() {
    if (CheckUpdatePage(*browser_)) {
        StartUpdateDownload();
    } else {
        Message(kUpToDate);
        close();
    }
}

void TFrmUpdate::Refuse(const std::string& text) {
    LblHint->setText(FromUtf8(text));
    Message(text);
}

void TFrmUpdate::StartUpdateDownload() {
    if (downloading_) return;
    const std::string address = info_.UpdateDownloadAddress;
    const float version = info_.UpdateVersion;  // this page's: CheckUpdatePage found it newer
    // The updater is run once it is here: it must come from the maker over a verified
    // connection (and carry his signature, checked once it has arrived).
    if (!IsOnMakerHost(address, s_.makerHost)) {
        Refuse("升级程序的下载地址不是官方网站的 https 地址，已拒绝下载：" + address);
        return;
    }
    if (!FolderIsWritable(s_.programFolder)) {
        Refuse("程序所在的文件夹不能写入，无法下载升级程序：" + s_.programFolder);
        return;
    }
    LblHint->setText(FromUtf8(kUpdating));
    downloading_ = true;
    QTimer::singleShot(1000, this, [this, address, version] { StartDownloadThread(address, version); });
}

void TFrmUpdate::StartDownloadThread(const std::string& address, float version) {
    if (worker_.joinable()) worker_.join();  // the thread of an earlier download, already done
    // Written and read by the worker thread only.
    auto offHost = std::make_shared<std::string>();
    auto onMakersHost = [offHost, host = s_.makerHost](const std::string& next) {
        if (IsOnMakerHost(next, host)) return true;
        *offHost = next;
        return false;
    };
    std::unique_ptr<IDownloader> downloader;
    try {
        if (s_.makeUpdateDownloader) downloader = s_.makeUpdateDownloader(onMakersHost);
    } catch (...) {
        NoteSwallowed();
    }
    if (!downloader) {
        DownloadFinished(DownloadOutcome{false, UpdaterVerdict::NotInstalled, "no downloader", {}});
        return;
    }
    try {
        worker_ = std::thread(&TFrmUpdate::DownloadUpdateThread, this, address, version, std::move(downloader),
                              std::move(offHost));
    } catch (const std::system_error&) {
        downloading_ = false;
        Message("Thread not created");
    }
}

void TFrmUpdate::DownloadUpdateThread(std::string address, float version, std::unique_ptr<IDownloader> downloader,
                                      std::shared_ptr<std::string> offHost) {
    using namespace std::chrono;
    std::this_thread::sleep_for(milliseconds(100));
    // Both files arrive under names the saved-files lists leave out, and only the checked
    // updater takes the updater's name.
    const std::string downloaded = s_.programFolder + std::string(kPartialDownloadPrefix) + std::string(UpdaterFileName);
    const std::string signature = downloaded + ".sig";
    DownloadOutcome outcome;
    try {
        if (cancel_) throw DownloadError("cancelled", DownloadFailure::Cancelled);
        ProgressThrottle throttle;
        downloader->DownloadToFile(address, downloaded, [this, &throttle](const DownloadProgress& p) {
            if (cancel_) throw DownloadError("cancelled", DownloadFailure::Cancelled);
            if (!throttle.Due(p.progress, p.maximum, steady_clock::now())) return;
            const ProgressBarValues bar = ScaleProgress(p.progress, p.maximum);
            RunOnUiThread(this, [this, bar] {
                ProgressBar1->setMaximum(bar.maximum);
                ProgressBar1->setValue(bar.position);
            });
        });
        try {
            // A signed manifest is four short lines: anything much larger is none.
            downloader->DownloadToFile(
                SignatureAddress(address), signature,
                [this](const DownloadProgress&) {
                    if (cancel_) throw DownloadError("cancelled", DownloadFailure::Cancelled);
                },
                DownloadBounds{4096, std::chrono::seconds(60)});
        } catch (const DownloadError&) {
            // No manifest to be had: the verdict below says so. One sent off the maker's
            // host is a failed update, as the updater itself would be.
            if (!offHost->empty()) throw;
        }
        if (cancel_) throw DownloadError("cancelled", DownloadFailure::Cancelled);
        outcome.arrived = true;
        outcome.verdict = InstallSignedUpdater(downloaded, signature, s_.updateKey, version, updaterPath_);
    } catch (const std::exception& e) {
        outcome.why = e.what();
        outcome.redirectedTo = *offHost;
    } catch (...) {
        NoteSwallowed();
        outcome.why = "unknown failure";
    }
    if (!outcome.arrived) {
        std::remove(downloaded.c_str());
        std::remove(signature.c_str());
    }
    downloader.reset();
    RunOnUiThread(this, [this, outcome] { DownloadFinished(outcome); });
}

void TFrmUpdate::DownloadFinished(const DownloadOutcome& outcome) {
    if (worker_.joinable()) worker_.join();
    downloading_ = false;
    if (!outcome.arrived && !outcome.redirectedTo.empty()) {
        Refuse("升级程序的下载被转到官方网站以外的地址，已拒绝下载：" + outcome.redirectedTo);
        return;
    }
    if (!outcome.arrived) {
        // The older updater, if any, is still in place; there is nothing to restart with.
        LblHint->setText(FromUtf8("升级程序下载失败：" + outcome.why));
        Message("升级程序下载失败，请稍后再试。");
        return;
    }
    if (outcome.verdict != UpdaterVerdict::Installed) {
        Refuse(VerdictText(outcome.verdict, s_.programFolder));
        return;
    }
    ProgressBar1->setValue(ProgressBar1->maximum());
    LblHint->setText(FromUtf8(kUpdated));
    SpeedButton3->show();
}

void TFrmUpdate::SpeedButton3Click() {
    bool started = false;
    try {
        started = s_.shell.StartProgram(updaterPath_);
    } catch (...) {
        NoteSwallowed();
    }
    if (!started) {
        Message("无法启动升级程序：" + updaterPath_);
        return;
    }
    close();
    if (s_.closeProgram) s_.closeProgram();
}

}  // namespace nuv

// The brand panel, the about window and the online update window, offscreen, against an
// update page and an updater served on 127.0.0.1 over TLS with a certificate the test
// makes and trusts, the updater's manifest signed with a key the test makes in the maker's
// place.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "frame/AboutWindow.h"
#include "frame/TesvarnPanel.h"
#include "frame/UpdateWindow.h"
#include "platform/QtPlatform.h"
#include "platform/QtText.h"
#include "support/Accessibility.h"
#include "support/Fakes.h"
#include "support/SigningKey.h"
#include "support/TestHttpServer.h"
#include "support/TlsTestServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;
namespace fs = std::filesystem;

namespace {

const std::string kMarker(UpdateMarker);
const std::string kUpdater = "#!/bin/sh\necho updated\n" + std::string(300000, '#') + "\n";
const ScreenPoint kMessagePoint{186, 160};  // the window's first place (106, 130) + (80, 30)

std::string UpdatePage(const std::string& content) {
    return "<html><head><title>NUV</title></head><body><p>" + content + "</p></body></html>";
}

}  // namespace

class FrameTest : public QObject {
    Q_OBJECT

private:
    RecordingDialogs dialogs_;
    RecordingShell shell_;
    std::unique_ptr<QtTempFolder> programDir_;
    std::string programFolder_;
    int closes_ = 0;
    LoopbackCertificate cert_;
    SigningKey maker_;
    QtTempFolder caDir_;
    std::string caFile_;  // what the updater's downloader trusts; "" the system's authorities only

    FrameServices Services(const std::string& updateAddress) {
        FrameServices services{dialogs_,
                               shell_,
                               programFolder_,
                               "/opt/nuv/nuv-webextract",
                               updateAddress,
                               [this](std::function<bool(const std::string&)> mayRedirectTo) {
                                   auto d = std::make_unique<CurlDownloader>();
                                   d->SetHttpsOnly(true);
                                   d->SetRedirectRule(std::move(mayRedirectTo));
                                   d->SetCaFile(caFile_);
                                   return d;
                               },
                               [this] { ++closes_; },
                               "127.0.0.1",
                               maker_.PublicKey(),
                               cert_.Pem()};
        return services;
    }

    // Shows the update window for the page `content`, served at /update/zelt/ of `site`.
    std::unique_ptr<TFrmUpdate> RunUpdate(TlsSite& site, const std::string& content) {
        site.Put("/update/zelt/", UpdatePage(content));
        auto window = std::make_unique<TFrmUpdate>(Services(site.Url("/update/zelt/")), nullptr);
        window->show();
        return window;
    }

    // The page's markers offering version 3 from `address`.
    static std::string Offer(const std::string& address) {
        return kMarker + " softversion_3_softversion softurl_" + address + "_softurl";
    }

    // Every message so far stood at the window's message point.
    bool AllAtMessagePoint() const {
        for (const std::optional<ScreenPoint>& at : dialogs_.positions)
            if (at != kMessagePoint) return false;
        return true;
    }

    fs::path Updater() const { return fs::path(programFolder_) / "update.exe"; }
    long FilesInProgramFolder() const {
        return static_cast<long>(std::distance(fs::directory_iterator(programFolder_), fs::directory_iterator()));
    }

private slots:
    void initTestCase() {
        LoadLanguage();
        AssignProductConstants();
    }

    void init() {
        dialogs_ = {};
        shell_ = {};
        closes_ = 0;
        programDir_ = std::make_unique<QtTempFolder>();
        programFolder_ = ToUtf8(programDir_->path()) + "/";
        caFile_ = ToUtf8(caDir_.path()) + "/ca.pem";
        std::ofstream(caFile_) << cert_.Pem();
    }

    void brandPanelInTheMainWindow() {
        CurlDownloader downloader;
        FakeFetcher http;
        std::ofstream(fs::path(programFolder_) / "update.txt") << "an older hand-over file\r\nwith two lines\r\n";
        const TempFolder home{"nuv-home"};
        TFrmWebpageAnalysis window(MainWindowServices{dialogs_, shell_, downloader, http, programFolder_, home.Path()});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* host = Child<QWidget>(&window, "PnlRight");
        auto* panel = window.findChild<TPnlTesvarn*>();
        QVERIFY(panel != nullptr);
        QCOMPARE(panel->parentWidget(), host);
        QCOMPARE(panel->geometry(), QRect(15, 88, 120, 62));
        int top = 1;
        for (QToolButton* b : {panel->BtnHelp, panel->BtnOnlineUpdate, panel->BtnExit}) {
            QCOMPARE(b->parentWidget(), host);
            QCOMPARE(b->geometry(), QRect(20, top, 122, 26));
            QVERIFY(!b->icon().isNull());
            QVERIFY(b->isVisible());
            top += 29;
        }
        QCOMPARE(panel->ImgBrand->toolTip(), QStringLiteral("点击可查看更多软件更新"));
        QCOMPARE(panel->ImgBrand->pixmap().size(), QSize(120, 55));

        const std::string program = ToUtf8(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(ReadFile(fs::path(programFolder_) / "update.txt"), program + "\r\n");

        // Exit goes through the main window's normal close.
        QTest::mouseClick(panel->BtnExit, Qt::LeftButton);
        QTRY_VERIFY(!window.isVisible());
    }

    void helpMenuBrandPictureAndUpdateButton() {
        QWidget host;
        host.resize(180, 160);
        TPnlTesvarn panel(Services("https://127.0.0.1:9/update/zelt/"), &host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(ReadFile(fs::path(programFolder_) / "update.txt"), "nuv-webextract\r\n");

        // The menu opens where the mouse is, not at the button.
        const QPoint mouse(260, 170);
        QCursor::setPos(mouse);
        panel.BtnHelp->click();
        QTRY_VERIFY(panel.PmBrand->isVisible());
        QCOMPARE(panel.PmBrand->pos(), mouse);
        panel.PmBrand->hide();

        const QList<QAction*> items = panel.PmBrand->actions();
        QCOMPARE(items.size(), 5);
        const struct {
            const char* caption;
            int tag;
            std::string opened;
        } entries[] = {{"实例说明(&D)", 1, DemoAddress},
                       {"官方主页(&H)", 2, HomeAddress},
                       {"", 0, ""},
                       {"软件捐助(&J)", 3, DonateAddress},
                       {"关于(&A)...", 4, ""}};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(items[i]->text(), QString::fromUtf8(entries[i].caption));
            QCOMPARE(items[i]->data().toInt(), entries[i].tag);
            QCOMPARE(items[i]->isSeparator(), entries[i].tag == 0);
            shell_.opened.clear();
            items[i]->trigger();
            panel.PmBrandClick(entries[i].tag);  // the separator's tag, 0, does nothing either
            const std::vector<std::string> expected =
                entries[i].opened.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{entries[i].opened, entries[i].opened};
            QCOMPARE(shell_.opened, expected);
        }
        TFrmVersion* about = ShowAboutWindow(&host, shell_);
        QVERIFY(about->isVisible());
        about->close();

        shell_.opened.clear();
        QTest::mousePress(panel.ImgBrand, Qt::RightButton);
        QCOMPARE(shell_.opened, std::vector<std::string>{HomeAddress});

        // The update window is made once and shown at every press; nothing listens on port 9.
        panel.BtnOnlineUpdate->click();
        TFrmUpdate* update = panel.UpdateWindowIfAny();
        QVERIFY(update != nullptr);
        QVERIFY(update->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
        QVERIFY(!update->isVisible());
        panel.BtnOnlineUpdate->click();
        QCOMPARE(panel.UpdateWindowIfAny(), update);
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(2), 30000);
    }

    void aboutWindowTextsHomePageAndHiding() {
        QWidget owner;
        TFrmVersion* about = ShowAboutWindow(&owner, shell_);
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->size(), QSize(394, 354));
        QCOMPARE(about->windowTitle(), QStringLiteral("关于 NUV网页提取助手"));
        const QStringList texts = {QStringLiteral("NUV网页提取助手"), QStringLiteral("版本号："), QStringLiteral("2.2"),
                                   about->Label3->text(), QStringLiteral("官方主页：www.nuvsoft.example/")};
        const QList<QLabel*> labels = {about->Label1, about->Label2, about->LblVersion, about->Label3, about->Label4};
        QVERIFY(!about->Label3->text().isEmpty());
        for (int i = 0; i < labels.size(); ++i) QCOMPARE(labels[i]->text(), texts[i]);
        QTRY_COMPARE(about->windowOpacity(), 1.0);
        QCOMPARE(UnnamedFocusableNodes(about), QStringList{});

        // Any button on any text, or on the background, opens the home page; the close
        // button does not.
        for (QWidget* target : {static_cast<QWidget*>(about->Label1), static_cast<QWidget*>(about->Label2),
                                static_cast<QWidget*>(about->LblVersion), static_cast<QWidget*>(about->Label3),
                                static_cast<QWidget*>(about->Label4), static_cast<QWidget*>(about)}) {
            for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
                shell_.opened.clear();
                QTest::mousePress(target, button, {}, target == about ? QPoint(300, 300) : QPoint(2, 2));
                QCOMPARE(shell_.opened, std::vector<std::string>{HomeAddress});
                QTest::mouseRelease(target, button, {}, target == about ? QPoint(300, 300) : QPoint(2, 2));
            }
        }
        shell_.opened.clear();
        QTest::mouseClick(about->BtnClose, Qt::LeftButton);
        QVERIFY(shell_.opened.empty());
        QVERIFY(!about->isVisible());

        QCOMPARE(ShowAboutWindow(&owner, shell_), about);
        QVERIFY(about->isVisible());
        for (int i = 0; i < labels.size(); ++i) QCOMPARE(labels[i]->text(), texts[i]);
    }

    // The real message box stands where it is asked to; without a place the toolkit centres it.
    void messageBoxAtAGivenPoint() {
        QWidget owner;
        owner.setGeometry(300, 300, 400, 300);
        owner.show();
        QtDialogs dialogs(&owner);
        for (const std::optional<ScreenPoint>& at : {std::optional<ScreenPoint>(kMessagePoint), std::optional<ScreenPoint>()}) {
            QPoint shown;
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
                shown = QApplication::activeModalWidget()->pos();
                QApplication::activeModalWidget()->close();
            });
            dialogs.ShowMessage("已经是最新版本", at);
            if (at) {
                QCOMPARE(shown, QPoint(at->x, at->y));
            } else {
                QVERIFY(shown != QPoint(kMessagePoint.x, kMessagePoint.y));
            }
        }
    }

    void noMarkerMeansUpToDate() {
        TlsSite site(cert_);
        auto window = RunUpdate(site, "softversion_9_softversion softurl_https://127.0.0.1:9/u.exe_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
        QVERIFY(!window->isVisible());
        QCOMPARE(window->WebBrowser1->x(), -2000);  // never shown
        QVERIFY(!window->Image1->isHidden());
        QCOMPARE(window->Info().UpdateVersion, 0.0f);

        // Showing it again loads the page again and repeats the check.
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(2), 30000);
        QCOMPARE(site.RequestCount("/update/zelt/"), 2);
        QVERIFY(AllAtMessagePoint());
        QVERIFY(!fs::exists(Updater()));
    }

    // A page that is not the maker's over https is no update page, whatever it says.
    void pagesOffTheMakersHttpsAreNeverShown() {
        TlsSite site(cert_);
        site.Put("/u.bin", kUpdater);
        site.Put("/u.bin.sig", maker_.SignedManifest(kUpdater, "3"));
        TestHttpServer plain;
        plain.Put(QStringLiteral("/update/zelt/"), QByteArray::fromStdString(UpdatePage(Offer(site.Url("/u.bin")))));
        site.Put("/update/zelt/", UpdatePage(Offer(site.Url("/u.bin"))));
        const std::string localhost = "https://localhost:" + std::to_string(site.Port()) + "/update/zelt/";
        for (const std::string& address : {ToUtf8(plain.Url(QStringLiteral("/update/zelt/"))), localhost}) {
            dialogs_ = {};
            TFrmUpdate window(Services(address), nullptr);
            window.show();
            QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
            QCOMPARE(window.WebBrowser1->x(), -2000);
            QVERIFY(AllAtMessagePoint());
        }
        QCOMPARE(site.RequestCount("/update/zelt/"), 1);  // through localhost
        QCOMPARE(site.RequestCount("/u.bin"), 0);
        QVERIFY(!fs::exists(Updater()));
    }

    void olderVersionShowsThePageAndTheNextShowingHidesIt() {
        TlsSite site(cert_);
        auto window = RunUpdate(site, kMarker + " softversion_2.1_softversion softurl_https://127.0.0.1:9/u.exe_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
        QVERIFY(!window->isVisible());
        const QSize area = window->PnlMain->size();
        QCOMPARE(window->WebBrowser1->geometry(), QRect(-2, -2, area.width() + 4, area.height() + 4));
        QVERIFY(window->Image1->isHidden());
        QCOMPARE(window->Info().UpdateVersion, 2.1f);
        QVERIFY(!window->SpeedButton3->isVisible());

        // The page is gone now (an error page, a portal's login): the genuine page of the
        // last showing is out of view from the start, and so is what arrives instead.
        site.Put("/update/zelt/", "<html><body>please log in to the hotel network</body></html>");
        window->show();
        QCOMPARE(window->WebBrowser1->x(), -2000);
        QVERIFY(!window->Image1->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(2), 30000);
        QCOMPARE(window->WebBrowser1->x(), -2000);
        QCOMPARE(window->Info().UpdateVersion, 2.1f);  // kept, but it offered nothing
        QVERIFY(AllAtMessagePoint());
    }

    // Closed and shown again just after the page arrived: the check of the earlier showing
    // is dropped, and the page of this showing is checked once it is there.
    void reopeningDropsTheCheckOfTheEarlierShowing() {
        TlsSite site(cert_);
        auto window = RunUpdate(site, kMarker + " softversion_2.1_softversion");
        QSignalSpy completions(&window->Browser(), &WebEngineBrowser::NavigateComplete);
        QVERIFY(completions.wait(30000));
        site.Hold("/update/zelt/");
        window->close();
        window->show();
        QTRY_VERIFY(!window->Timer1->isActive());
        QCOMPARE(dialogs_.messages, std::vector<std::string>{});
        QVERIFY(window->isVisible());
        site.Release();
        QTRY_VERIFY_WITH_TIMEOUT(window->Image1->isHidden(), 30000);  // this showing's page, genuine
        QCOMPARE(dialogs_.messages, std::vector<std::string>{"已经是最新版本"});
        QCOMPARE(site.RequestCount("/update/zelt/"), 2);
    }

    void newerVersionDownloadsTheSignedUpdater() {
        TlsSite site(cert_);
        site.Put("/updater.bin", kUpdater, "HTTP/1.1 200 OK", 20, std::chrono::milliseconds(20));
        site.Put("/updater.bin.sig", maker_.SignedManifest(kUpdater, "3.0"));
        std::ofstream(Updater()) << "older updater";
        const std::string address = "HTTPS://127.0.0.1:" + std::to_string(site.Port()) + "/UPDATER.BIN";
        // The page goes elsewhere while the updater arrives: that page is neither checked nor shown.
        site.Put("/gone.html", "<html><body>moved</body></html>");
        auto window = RunUpdate(site, kMarker + " SoftVersion_3.0_SoftVersion softurl_" + address +
                                          "_softurl<script>setTimeout(() => location.assign('/gone.html'), 700)</script>");
        QTRY_VERIFY_WITH_TIMEOUT(window->SpeedButton3->isVisible(), 30000);
        QCOMPARE(dialogs_.messages, std::vector<std::string>{});
        QCOMPARE(UnnamedFocusableNodes(window.get()), QStringList{});
        QCOMPARE(site.RequestCount("/gone.html"), 1);
        QVERIFY(window->isVisible());
        QCOMPARE(window->WebBrowser1->x(), -2000);
        QCOMPARE(window->Info().UpdateDownloadAddress, LowerAscii(address));
        QCOMPARE(window->LblHint->text(), QStringLiteral("更新完成，关闭后将自动重启软件"));
        QCOMPARE(window->ProgressBar1->value(), window->ProgressBar1->maximum());
        QCOMPARE(ReadFile(Updater()), kUpdater);
        QVERIFY((fs::status(Updater()).permissions() & fs::perms::owner_exec) != fs::perms::none);
        QCOMPARE(FilesInProgramFolder(), 1L);

        QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
        QCOMPARE(shell_.started, std::vector<std::string>{Updater().string()});
        QCOMPARE(closes_, 1);
        QVERIFY(!window->isVisible());
    }

    void updatersThatAreNotTheMakersKeepTheOlderOne_data() {
        QTest::addColumn<QByteArray>("updater");    // what the server sends for /u.bin; "404" for none,
                                                    // "moved" for a redirect to localhost
        QTest::addColumn<QByteArray>("signature");  // what it sends for /u.bin.sig; "404" for none
        QTest::addColumn<bool>("trusted");          // whether the downloader trusts the server
        QTest::addColumn<QString>("hint");          // how LblHint begins
        const QByteArray updater = QByteArray::fromStdString(kUpdater);
        const QByteArray good = QByteArray::fromStdString(maker_.SignedManifest(kUpdater, "3"));
        const SigningKey stranger;
        QTest::newRow("no signature") << updater << QByteArray("404") << true << QStringLiteral("升级程序没有官方签名");
        QTest::newRow("another key") << updater << QByteArray::fromStdString(stranger.SignedManifest(kUpdater, "3"))
                                     << true << QStringLiteral("升级程序的签名不符");
        QTest::newRow("an older signed updater") << updater
                                                 << QByteArray::fromStdString(maker_.SignedManifest(kUpdater, "2.5"))
                                                 << true << QStringLiteral("升级程序的版本与升级页面公布的版本不符");
        QTest::newRow("redirected off the maker's host") << QByteArray("moved") << good << true
                                                         << QStringLiteral("升级程序的下载被转到官方网站以外的地址");
        QTest::newRow("cut short") << updater.left(updater.size() / 2) << good << true
                                   << QStringLiteral("升级程序的签名不符");
        QTest::newRow("empty") << QByteArray() << QByteArray::fromStdString(maker_.SignedManifest("", "3")) << true
                               << QStringLiteral("下载的升级程序是空文件");
        QTest::newRow("not found") << QByteArray("404") << good << true << QStringLiteral("升级程序下载失败");
        QTest::newRow("untrusted certificate") << updater << good << false << QStringLiteral("升级程序下载失败");
    }

    void updatersThatAreNotTheMakersKeepTheOlderOne() {
        QFETCH(QByteArray, updater);
        QFETCH(QByteArray, signature);
        QFETCH(bool, trusted);
        QFETCH(QString, hint);
        if (!trusted) caFile_.clear();
        TlsSite site(cert_);
        for (const auto& [path, body] : {std::pair{"/u.bin", updater}, std::pair{"/u.bin.sig", signature}}) {
            if (body != "404" && body != "moved") site.Put(path, body.toStdString());
        }
        // The same site under another name, whose certificate is trusted as well: only the
        // maker's host name counts.
        const std::string moved = "https://localhost:" + std::to_string(site.Port()) + "/moved.bin";
        if (updater == "moved") {
            site.Put("/u.bin", "", "HTTP/1.1 302 Found\r\nLocation: " + moved);
            site.Put("/moved.bin", kUpdater);
        }
        std::ofstream(Updater()) << "older updater";
        auto window = RunUpdate(site, Offer(site.Url("/u.bin")));
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(1), 30000);
        QVERIFY2(window->LblHint->text().startsWith(hint), qPrintable(window->LblHint->text()));
        QVERIFY(AllAtMessagePoint());
        QVERIFY(site.RequestCount("/u.bin") == 1 || !trusted);
        QCOMPARE(site.RequestCount("/moved.bin"), 0);
        QVERIFY(!window->SpeedButton3->isVisible());
        QVERIFY(!window->Downloading());
        QVERIFY(window->isVisible());
        QCOMPARE(ReadFile(Updater()), std::string("older updater"));
        QCOMPARE(FilesInProgramFolder(), 1L);  // nothing downloaded is left
    }

    // The man in the middle's own download address, or one over plain http, is never fetched.
    void updaterOffTheMakersHttpsIsRefused() {
        TlsSite site(cert_);
        TestHttpServer plain;
        // Markup in the address stays text in the hint.
        const std::string elsewhere[] = {"https://localhost:" + std::to_string(site.Port()) + "/<b>u</b>.bin",
                                         ToUtf8(plain.Url(QStringLiteral("/u.bin")))};
        for (const std::string& address : elsewhere) {
            dialogs_ = {};
            auto window = RunUpdate(site, Offer(address));
            QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(1), 30000);
            QVERIFY2(FromUtf8(dialogs_.messages[0]).contains(QStringLiteral("官方网站")), dialogs_.messages[0].c_str());
            QCOMPARE(window->LblHint->text(), FromUtf8(dialogs_.messages[0]));
            QCOMPARE(window->LblHint->textFormat(), Qt::PlainText);
            QVERIFY(address.find("<b>") == std::string::npos || window->LblHint->text().contains(QStringLiteral("/<b>u</b>.bin")));
            QVERIFY(AllAtMessagePoint());
            QVERIFY(!window->Downloading());
        }
        QCOMPARE(site.RequestCount("/u.bin"), 0);
        QCOMPARE(plain.RequestCount(QStringLiteral("/u.bin")), 0);
        QVERIFY(!fs::exists(Updater()));
    }

    void programFolderThatCannotBeWrittenIsReported() {
        TlsSite site(cert_);
        site.Put("/u.bin", kUpdater);
        programFolder_ += "missing/";
        auto window = RunUpdate(site, Offer(site.Url("/u.bin")));
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(1), 30000);
        QVERIFY2(FromUtf8(dialogs_.messages[0]).contains(QStringLiteral("不能写入")), dialogs_.messages[0].c_str());
        QVERIFY(AllAtMessagePoint());
        QVERIFY(!window->Downloading());
        QCOMPARE(site.RequestCount("/u.bin"), 0);
    }
};

NUV_GUI_TEST_MAIN(FrameTest)
#include "frame_test.moc"

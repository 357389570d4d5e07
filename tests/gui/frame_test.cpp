// The brand panel, the about window and the online update window, offscreen, against
// update pages served on 127.0.0.1 by the test and an updater served over TLS with a
// certificate the test makes and trusts.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "frame/AboutWindow.h"
#include "frame/TesvarnPanel.h"
#include "frame/UpdateWindow.h"
#include "platform/QtText.h"
#include "support/Fakes.h"
#include "support/TestHttpServer.h"
#include "support/TlsTestServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;
namespace fs = std::filesystem;

namespace {

const QByteArray kMarker = QByteArray(UpdateMarker.data(), static_cast<qsizetype>(UpdateMarker.size()));
const std::string kUpdater = "#!/bin/sh\necho updated\n" + std::string(300000, '#') + "\n";

QByteArray UpdatePage(const QByteArray& content) {
    return "<html><head><title>NUV</title></head><body><p>" + content + "</p></body></html>";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

class FrameTest : public QObject {
    Q_OBJECT

private:
    RecordingDialogs dialogs_;
    RecordingShell shell_;
    std::unique_ptr<QTemporaryDir> programDir_;
    std::string programFolder_;
    int closes_ = 0;
    std::string caFile_;  // "" trusts the system's authorities only

    FrameServices Services(const QString& updateAddress) {
        return FrameServices{dialogs_,
                             shell_,
                             programFolder_,
                             "/opt/nuv/nuv-webextract",
                             ToUtf8(updateAddress),
                             [this] {
                                 auto d = std::make_unique<CurlDownloader>();
                                 d->SetHttpsOnly(true);
                                 d->SetCaFile(caFile_);
                                 return d;
                             },
                             [this] { ++closes_; }};
    }

    // Shows the update window for the page `content` and waits until the check has spoken:
    // a message, or the restart button.
    std::unique_ptr<TFrmUpdate> RunUpdate(TestHttpServer& site, const QByteArray& content) {
        site.Put(QStringLiteral("/update/zelt/"), UpdatePage(content));
        auto window = std::make_unique<TFrmUpdate>(Services(site.Url(QStringLiteral("/update/zelt/"))), nullptr);
        window->show();
        return window;
    }

    fs::path Updater() const { return fs::path(programFolder_) / "update.exe"; }

private slots:
    void initTestCase() {
        LoadLanguage();
        AssignProductConstants();
    }

    void init() {
        dialogs_ = {};
        shell_ = {};
        closes_ = 0;
        caFile_.clear();
        programDir_ = std::make_unique<QTemporaryDir>();
        programFolder_ = ToUtf8(programDir_->path()) + "/";
    }

    void brandPanelInTheMainWindow() {
        CurlDownloader downloader;
        NoFetcher http;
        std::ofstream(fs::path(programFolder_) / "update.txt") << "an older hand-over file\r\nwith two lines\r\n";
        TFrmWebpageAnalysis window(MainWindowServices{dialogs_, shell_, downloader, http, programFolder_, "/tmp/"});
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
        TPnlTesvarn panel(Services(QStringLiteral("http://127.0.0.1:9/update/zelt/")), &host);
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

    void noMarkerMeansUpToDate() {
        TestHttpServer site;
        auto window = RunUpdate(site, "softversion_9_softversion softurl_https://127.0.0.1:9/u.exe_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
        QVERIFY(!window->isVisible());
        QCOMPARE(window->WebBrowser1->x(), -2000);  // never shown
        QVERIFY(!window->Image1->isHidden());
        QCOMPARE(window->Info().UpdateVersion, 0.0f);

        // Showing it again loads the page again and repeats the check.
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(2), 30000);
        QCOMPARE(site.RequestCount(QStringLiteral("/update/zelt/")), 2);
        QVERIFY(!fs::exists(Updater()));
    }

    void olderVersionShowsThePageThenUpToDate() {
        TestHttpServer site;
        auto window = RunUpdate(site, kMarker + " softversion_2.1_softversion softurl_https://127.0.0.1:9/u.exe_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"已经是最新版本"}, 30000);
        QVERIFY(!window->isVisible());
        const QSize area = window->PnlMain->size();
        QCOMPARE(window->WebBrowser1->geometry(), QRect(-2, -2, area.width() + 4, area.height() + 4));
        QVERIFY(window->Image1->isHidden());
        QCOMPARE(window->Info().UpdateVersion, 2.1f);
        QVERIFY(!window->SpeedButton3->isVisible());
    }

    void newerVersionDownloadsTheUpdaterOverHttps() {
        LoopbackCertificate cert;
        const std::string caFile = programFolder_ + "ca.pem";
        std::ofstream(caFile) << cert.Pem();
        caFile_ = caFile;
        ScriptedServer tls(TlsReply(cert, "HTTP/1.1 200 OK", kUpdater));
        TestHttpServer site;
        const QByteArray address = "HTTPS://127.0.0.1:" + QByteArray::number(tls.Port()) + "/Updater.bin";
        auto window = RunUpdate(site, kMarker + " SoftVersion_3.0_SoftVersion softurl_" + address + "_softurl");
        QTRY_VERIFY_WITH_TIMEOUT(window->SpeedButton3->isVisible(), 30000);
        QCOMPARE(dialogs_.messages, std::vector<std::string>{});
        QCOMPARE(window->Info().UpdateDownloadAddress, std::string(address.toLower().constData()));
        QCOMPARE(window->LblHint->text(), QStringLiteral("更新完成，关闭后将自动重启软件"));
        QCOMPARE(window->ProgressBar1->value(), window->ProgressBar1->maximum());
        QCOMPARE(ReadFile(Updater()), kUpdater);
        QVERIFY((fs::status(Updater()).permissions() & fs::perms::owner_exec) != fs::perms::none);
        QVERIFY(window->isVisible());

        QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
        QCOMPARE(shell_.started, std::vector<std::string>{Updater().string()});
        QCOMPARE(closes_, 1);
        QVERIFY(!window->isVisible());
    }

    void updaterOverPlainHttpIsRefused() {
        TestHttpServer site;
        site.Put(QStringLiteral("/update.exe"), "#!/bin/sh\n", "application/octet-stream");
        auto window = RunUpdate(site, kMarker + " softversion_3_softversion softurl_" +
                                          site.Url(QStringLiteral("/update.exe")).toUtf8() + "_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(1), 30000);
        QVERIFY2(FromUtf8(dialogs_.messages[0]).contains(QStringLiteral("https")),
                 dialogs_.messages[0].c_str());
        QCOMPARE(window->LblHint->text(), FromUtf8(dialogs_.messages[0]));
        QVERIFY(!window->Downloading());  // refused before any download was planned
        QCOMPARE(site.RequestCount(QStringLiteral("/update.exe")), 0);
        QVERIFY(!fs::exists(Updater()));
        QVERIFY(!window->SpeedButton3->isVisible());
    }

    void failedDownloadKeepsTheOlderUpdater_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("not found") << QStringLiteral("HTTP/1.1 404 Not Found") << true;
        QTest::newRow("untrusted certificate") << QStringLiteral("HTTP/1.1 200 OK") << false;
    }

    void failedDownloadKeepsTheOlderUpdater() {
        QFETCH(QString, status);
        QFETCH(bool, trusted);
        LoopbackCertificate cert;
        if (trusted) {
            caFile_ = programFolder_ + "ca.pem";
            std::ofstream(caFile_) << cert.Pem();
        }
        std::ofstream(Updater()) << "older updater";
        ScriptedServer tls(TlsReply(cert, ToUtf8(status), kUpdater));
        TestHttpServer site;
        auto window = RunUpdate(site, kMarker + " softversion_3_softversion softurl_https://127.0.0.1:" +
                                          QByteArray::number(tls.Port()) + "/update.bin_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages, std::vector<std::string>{"升级程序下载失败，请稍后再试。"}, 30000);
        QVERIFY(tls.ConnectionCount() >= 1);
        QVERIFY(window->LblHint->text().startsWith(QStringLiteral("升级程序下载失败")));
        QVERIFY(!window->SpeedButton3->isVisible());
        QVERIFY(!window->Downloading());
        QCOMPARE(ReadFile(Updater()), std::string("older updater"));
        QCOMPARE(std::distance(fs::directory_iterator(programFolder_), fs::directory_iterator()), trusted ? 2 : 1);  // no partial file left
    }

    void programFolderThatCannotBeWrittenIsReported() {
        LoopbackCertificate cert;
        ScriptedServer tls(TlsReply(cert, "HTTP/1.1 200 OK", kUpdater));
        programFolder_ += "missing/";
        TestHttpServer site;
        auto window = RunUpdate(site, kMarker + " softversion_3_softversion softurl_https://127.0.0.1:" +
                                          QByteArray::number(tls.Port()) + "/update.bin_softurl");
        QTRY_COMPARE_WITH_TIMEOUT(dialogs_.messages.size(), size_t(1), 30000);
        QVERIFY2(FromUtf8(dialogs_.messages[0]).contains(QStringLiteral("不能写入")),
                 dialogs_.messages[0].c_str());
        QVERIFY(!window->Downloading());
        QCOMPARE(tls.ConnectionCount(), 0);
    }
};

NUV_GUI_TEST_MAIN(FrameTest)
#include "frame_test.moc"

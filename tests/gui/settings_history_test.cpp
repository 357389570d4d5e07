// The settings file across a run of the main window, and the address history drop-down
// read from browser databases that the test makes under a home folder of its own.
#include <memory>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QSignalSpy>

#include "app/MainWindow.h"
#include "app/logic/TypedAddresses.h"
#include "common/FileText.h"
#include "common/Ini.h"
#include "common/Text.h"
#include "platform/QtText.h"
#include "support/Accessibility.h"
#include "support/BrowserHistories.h"
#include "support/Fakes.h"
#include "support/TestHttpServer.h"
#include "support/WindowDriver.h"
#include "web/CurlDownloader.h"

using namespace nuv;
using namespace nuv::test;

class SettingsHistoryTest : public QObject, protected TestWindowServices {
    Q_OBJECT

private:
    std::string Ini() const { return Program() + "defualt.ini"; }

    QLineEdit* Edit() { return Child<QLineEdit>("EdtURL"); }
    QFrame* DropDown() { return Child<QFrame>("PnlBrowserPages"); }
    QListWidget* History() { return Child<QListWidget>("BrowserList"); }

    void Start() {
        window_ = std::make_unique<TFrmWebpageAnalysis>(Services());
        window_->resize(1024, 736);
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }

    // The address opened last from the address box.
    std::string LastOpened() const {
        return ParseRecentAddresses(ReadFileText(Program() + "typedurls.txt").value_or("")).front();
    }

    // Addresses on loopback only: opening one never leaves the machine.
    static HistoryRows Typed(std::initializer_list<const char*> addresses) {
        HistoryRows rows;
        for (const char* a : addresses) rows.emplace_back(a, 1);
        return rows;
    }

private slots:
    void init() {
        dialogs_ = {};
        FreshFolders();
    }

    void cleanup() {
        window_.reset();
        home_.reset();
        program_.reset();
    }

    void firstRunThenTheSevenKeysAtANormalEnd() {
        Start();
        QCOMPARE(Child<QLineEdit>("EdtPicPath")->text(), FromUtf8(Program() + "web/"));
        QVERIFY(QFileInfo(FromUtf8(Program() + "web")).isDir());
        QCOMPARE(Edit()->text(), QStringLiteral("http://www.nuvsoft.example/"));
        QCOMPARE(Child<QListWidget>("LBDocType")->currentRow(), 0);
        QCOMPARE(Child<QSplitter>("Splitter1")->sizes().value(0), 180);
        QVERIFY(!Child<QGroupBox>("PnlPath")->isVisible());
        QVERIFY(window_->MainBrowser().LocationURL().empty());
        QVERIFY(!QFileInfo::exists(FromUtf8(Ini())));

        window_.reset();
        const IniDocument ini(ReadFileText(Ini()).value_or(""));
        QCOMPARE(ini.Sections(), std::vector<std::string>{"default"});
        const struct {
            const char* key;
            std::string value;
        } keys[] = {
            {"PicPath", Program() + "web/"}, {"URLPath", "http://www.nuvsoft.example/"},
            {"DefaultSavePath", Program() + "web"}, {"CurPicName", ""}, {"DocType", "0"},
            {"LeftPanelWidth", "180"}, {"CbPath", "0"},
        };
        for (const auto& k : keys) QCOMPARE(ini.Get("default", k.key).value_or("<missing>"), k.value);
    }

    void storedValuesComeBackAndOtherKeysStay() {
        const std::string saved = Program() + "saved";
        WriteFile(Ini(), "; the user's notes\n[other]\nkeep=1\n[Default]\nPicPath=" + saved +
                                 "\nDocType=7\nLeftPanelWidth=250\nCbPath=1\nCurPicName=a.png\n"
                                 "URLPath=http://127.0.0.1:1/\nExtra=stays\n");
        Start();
        auto* types = Child<QListWidget>("LBDocType");
        QCOMPARE(types->currentRow(), -1);
        QVERIFY(types->selectedItems().isEmpty());
        QVERIFY(window_->MainBrowser().LocationURL().empty());  // nothing extracted, nothing opened
        QVERIFY(!Child<QTabWidget>("PageControl1")->isTabVisible(1));
        QVERIFY(!Child<QTabWidget>("PageControl1")->isTabVisible(2));
        QCOMPARE(Child<QSplitter>("Splitter1")->sizes().value(0), 250);
        QVERIFY(Child<QCheckBox>("CbPath")->isChecked());
        QVERIFY(Child<QGroupBox>("PnlPath")->isVisible());
        QCOMPARE(window_->State().CurPicName, std::string("a.png"));
        QCOMPARE(window_->State().SaveFolder, saved + "/");
        QCOMPARE(Edit()->text(), QStringLiteral("http://127.0.0.1:1/"));
        QVERIFY(DropDown()->isVisible());  // the stored address changed the box's text
        // Focus makes a row current without selecting it: still nothing selected.
        types->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(types->currentRow(), 0);
        QVERIFY(types->selectedItems().isEmpty());

        window_.reset();
        const IniDocument ini(ReadFileText(Ini()).value_or(""));
        QCOMPARE(ini.Get("default", "PicPath").value_or(""), saved + "/");
        QCOMPARE(ini.Get("default", "DocType").value_or(""), std::string("-1"));
        QCOMPARE(ini.Get("default", "Extra").value_or(""), std::string("stays"));
        QCOMPARE(ini.Get("other", "keep").value_or(""), std::string("1"));
        QVERIFY(StartsWith(ReadFileText(Ini()).value_or(""), "; the user's notes\n"));

        // The address the box starts with is no change: the drop-down stays closed.
        WriteFile(Ini(), "[default]\nURLPath=http://www.nuvsoft.example\n");
        Start();
        QVERIFY(!DropDown()->isVisible());
        // Down with no history at all: the typing stays in the box.
        Edit()->setFocus();
        QTRY_VERIFY(Edit()->hasFocus());
        QTest::keyClick(Edit(), Qt::Key_Down);
        QCOMPARE(DropDown()->height(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
        QCOMPARE(Edit()->text(), QStringLiteral("http://www.nuvsoft.examplex"));
    }

    void dropDownListsTheTypedWebAddressesOfEveryBrowser() {
        const std::string h = home_->Path();
        MakeFirefoxProfile(h, "x.default", Typed({"http://127.0.0.1:1/a", "ftp://host/", "about:blank",
                                                  "HTTP://HOST/", "http://127.0.0.1:1/b"}));
        MakeChromiumHistory(h + ".config/chromium/Default/History", Typed({"http://127.0.0.1:1/b"}));
        Start();
        QTest::mouseClick(Edit(), Qt::LeftButton);
        QVERIFY(DropDown()->isVisible());
        QStringList shown;
        for (int i = 0; i < History()->count(); ++i) shown << History()->item(i)->text();
        QCOMPARE(shown, (QStringList{QStringLiteral("http://127.0.0.1:1/a"), QStringLiteral("http://127.0.0.1:1/b"),
                                     QStringLiteral("HTTP://HOST/")}));
        const QRect box = Edit()->geometry();
        QCOMPARE(DropDown()->geometry(), QRect(box.left() + 8, box.bottom() + 1 + 17, box.width(), 51));
        QVERIFY(DropDown()->mapTo(window_.get(), QPoint(0, 0)).y() > Edit()->mapTo(window_.get(), QPoint(0, 19)).y());

        // Twelve entries reach the greatest height; every showing reads the sources again.
        HistoryRows more;
        for (int i = 0; i < 9; ++i) more.emplace_back("http://127.0.0.1:1/more" + std::to_string(i), 2);
        MakeChromiumHistory(h + ".config/google-chrome/Profile 1/History", more);
        QTest::keyClick(Edit(), Qt::Key_Escape);
        QVERIFY(DropDown()->isHidden());
        QTest::mouseClick(Edit(), Qt::LeftButton);
        QCOMPARE(History()->count(), 12);
        QCOMPARE(DropDown()->height(), 165);
    }

    void keysAndClicksOfTheAddressBoxAndTheList() {
        MakeFirefoxProfile(home_->Path(), "p", Typed({"http://127.0.0.1:1/one", "http://127.0.0.1:1/two"}));
        Start();
        QTest::keyClick(Edit(), Qt::Key_Escape);

        // Down opens the list with its first entry selected; Up there goes back.
        QTest::keyClick(Edit(), Qt::Key_Down);
        QVERIFY(DropDown()->isVisible());
        QTRY_VERIFY(History()->hasFocus());
        QCOMPARE(History()->currentRow(), 0);
        QTest::keyClick(History(), Qt::Key_Down);
        QCOMPARE(History()->currentRow(), 1);
        QTest::keyClick(History(), Qt::Key_Up);
        QVERIFY(DropDown()->isVisible());
        QTest::keyClick(History(), Qt::Key_Up);
        QVERIFY(DropDown()->isHidden());
        QTRY_VERIFY(Edit()->hasFocus());

        // A letter key opens the selected entry.
        QTest::keyClick(Edit(), Qt::Key_Down);
        QTest::keyClick(History(), Qt::Key_Down);
        QTest::keyClick(History(), Qt::Key_A);
        QCOMPARE(Edit()->text(), QStringLiteral("http://127.0.0.1:1/two"));
        QVERIFY(DropDown()->isHidden());
        QCOMPARE(LastOpened(), std::string("http://127.0.0.1:1/two"));

        // A press on an entry opens that entry.
        QTest::mouseClick(Edit(), Qt::LeftButton);
        QVERIFY(DropDown()->isVisible());
        QTest::mouseClick(History()->viewport(), Qt::LeftButton, {},
                          History()->visualItemRect(History()->item(0)).center());
        QCOMPARE(Edit()->text(), QStringLiteral("http://127.0.0.1:1/one"));
        QVERIFY(DropDown()->isHidden());
        QCOMPARE(LastOpened(), std::string("http://127.0.0.1:1/one"));

        // The addresses opened are offered next time, with no browser history at all.
        window_.reset();
        home_ = std::make_unique<TempFolder>();
        Start();
        QTest::mouseClick(Edit(), Qt::LeftButton);
        QCOMPARE(History()->count(), 2);
    }

    void enterClosesTheDropDownTheButtonLeavesItOpen() {
        TestHttpServer site;
        site.Put(QStringLiteral("/p.html"), QByteArrayLiteral("<html><body>p</body></html>"));
        Start();
        auto* tabs = Child<QTabWidget>("PageControl1");
        const QString bare = site.Url(QStringLiteral("/p.html")).mid(7);  // without "http://"
        const struct {
            bool enter;
            bool dropDownOpen;
        } cases[] = {{false, true}, {true, false}};
        for (const auto& c : cases) {
            window_->Pages().SetTabVisible(MainPage::TSOutput, true);
            window_->Pages().SetTabVisible(MainPage::TbSource, true);
            window_->Pages().SetActivePage(MainPage::TbSource);
            QTest::keyClick(Edit(), Qt::Key_Escape);
            Edit()->setText(bare);
            QTest::keyClick(Edit(), Qt::Key_Escape);
            QSignalSpy done(&window_->MainBrowser(), &WebEngineBrowser::NavigateComplete);
            if (c.enter) {
                QTest::keyClick(Edit(), Qt::Key_Return);
            } else {
                QTest::mouseClick(Child<QToolButton>("BtnOpenWebpage"), Qt::LeftButton);
            }
            QCOMPARE(Edit()->text(), QStringLiteral("http://") + bare);
            QCOMPARE(DropDown()->isVisible(), c.dropDownOpen);
            QCOMPARE(tabs->currentIndex(), 0);
            QVERIFY(!tabs->isTabVisible(1));
            QVERIFY(!tabs->isTabVisible(2));
            QVERIFY(done.wait(30000));
            auto* bar = Child<QProgressBar>("ProgressBar1");
            QCOMPARE(bar->value(), bar->maximum());
        }
        QVERIFY(dialogs_.messages.empty());
    }

    void everyControlHasAnAccessibleName() {
        Start();
        const struct {
            const char* object;
            const char* name;
            const char* description;
        } controls[] = {
            {"EdtURL", "地址", ""},
            {"BtnOpenWebpage", "打开网页", "打开网页"},
            {"CbPath", "显示文件夹", ""},
            {"BtnOpenDir", "打开文件夹", ""},
            {"BtnSelectPath", "选择路径", ""},
            {"EdtPicPath", "保存到文件夹", "图片列表为此路径下的图片"},
            {"LBDocType", "资源类型", ""},
            {"CbShown", "含网页显示的图片", "图片提取时，加上网页实际显示的图片（srcset、懒加载、CSS 背景、图标等）"},
            {"BitmapListBox", "已保存资源列表", "鼠标右键有更多功能"},
            {"ImgPreview", "图片预览", "鼠标点击可打开本图片"},
            {"BrowserList", "地址历史", ""},
            {"ProgressBar1", "进度", ""},
            {"WebBrowser1", "当前网页", ""},
            {"MmMessage", "文本源码", ""},
            {"BtnHelp", "帮助", ""},
            {"BtnOnlineUpdate", "在线升级", ""},
            {"BtnExit", "退出", ""},
        };
        for (const auto& c : controls) {
            auto* w = Child<QWidget>(c.object);
            QVERIFY2(w != nullptr, c.object);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(a != nullptr, c.object);
            QCOMPARE(a->text(QAccessible::Name), QString::fromUtf8(c.name));
            QCOMPARE(a->text(QAccessible::Description), QString::fromUtf8(c.description));
        }
        // Nothing focusable in the accessible tree is left without a name; Tab goes from
        // the address box down the left column, its brand buttons last, then to the page.
        const QStringList unnamed = UnnamedFocusableNodes(window_.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QTest::mouseClick(Child<QCheckBox>("CbPath"), Qt::LeftButton);
        QCOMPARE(TabOrder(Edit()).join(QLatin1Char(' ')),
                 QStringLiteral("EdtURL BtnOpenWebpage CbPath BtnOpenDir BtnSelectPath EdtPicPath LBDocType CbShown CbScroll "
                                "BitmapListBox BtnHelp BtnOnlineUpdate BtnExit PageControl1 WebBrowser1"));
    }
};

NUV_GUI_TEST_MAIN(SettingsHistoryTest)
#include "settings_history_test.moc"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QWebEngineProfile>

#include "app/MainWindow.h"
#include "common/EngineSandbox.h"
#include "common/FileText.h"
#include "common/Paths.h"
#include "net/HttpPageFetcher.h"
#include "platform/BrowserCookies.h"
#include "platform/QtPlatform.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "library/logic/ResultDownloads.h"
#include "web/Address.h"
#include "web/CurlDownloader.h"

namespace {

// Qt WebEngine's view gives the window a new native surface when it is first shown, and
// the window manager maps that one at the normal size. When the first change of state
// after showing loses the maximised state, it is asked for once more; a change made
// later, by the user, is left alone.
class MaximisedAtStart : public QObject {
public:
    explicit MaximisedAtStart(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
        QTimer::singleShot(3000, this, [this] { window_->removeEventFilter(this); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::WindowStateChange) {
            window_->removeEventFilter(this);
            if (!(window_->windowState() & Qt::WindowMaximized)) {
                QTimer::singleShot(0, window_, [w = window_] { w->setWindowState(w->windowState() | Qt::WindowMaximized); });
            }
        }
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace

int main(int argc, char** argv) {
    // Chromium refuses its sandbox when run as root, and the pages would stay empty.
    if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    const std::string warning = nuv::RootSandboxWarning(geteuid(), std::getenv("QTWEBENGINE_DISABLE_SANDBOX"),
                                                        std::getenv("QTWEBENGINE_CHROMIUM_FLAGS"));
    if (!warning.empty()) std::fprintf(stderr, "nuv-webextract: %s\n", warning.c_str());
    nuv::RegisterBrowserSchemes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NUV网页提取助手"));
    QApplication::setDesktopFileName(QStringLiteral("nuv-webextract"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QStringLiteral(":/icons/%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    nuv::InitResources();

    nuv::QtDialogs dialogs;
    nuv::QtShell shell;
    nuv::CurlDownloader downloader;
    nuv::HttpPageFetcher http;
    const std::string programFolder = nuv::ToUtf8(QCoreApplication::applicationDirPath()) + "/";
    const std::string home = nuv::UserHomeFolder();
    const char* xdgConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string config = nuv::UserConfigFolder(home, xdgConfig ? xdgConfig : "");
    const std::string downloads =
        nuv::UserDownloadFolder(home, nuv::ReadFileText(config + "user-dirs.dirs").value_or(std::string()));
    nuv::TFrmWebpageAnalysis window({.dialogs = dialogs, .shell = shell, .downloader = downloader, .http = http,
                                     .programFolder = programFolder, .homeFolder = home, .configFolder = config,
                                     .downloadFolder = downloads});
    dialogs.SetOwner(&window);
    // Downloads carry the page's context, as the browser's own requests do.
    nuv::BrowserCookies cookies(QWebEngineProfile::defaultProfile());
    downloader.SetCookieSource(&cookies);
    downloader.SetPageAddress([&window] { return window.Extractor().PageAddress(); });
    http.IdHTTP1.SetPageAddress([&window] { return window.Extractor().PageAddress(); });
    // Every fetch lets the window repaint and take input; once it closes, the fetch ends.
    const auto whileWaiting = [&window] {
        QCoreApplication::processEvents();
        if (window.MainBrowser().Closed()) throw nuv::DownloadCancelled();
    };
    downloader.SetWaitHook(whileWaiting);
    http.IdHTTP1.SetWaitHook(whileWaiting);
    window.setWindowState(Qt::WindowMaximized);
    new MaximisedAtStart(&window);
    nuv::ShowFormAnimated(&window);
    // An address given on the command line (the desktop's "open with") opens as one
    // typed into the address box and entered; words beginning with "-" are the engine's
    // switches.
    for (QString arg : QApplication::arguments().mid(1)) {
        if (arg.startsWith(QLatin1Char('-'))) continue;
        // A page given by a path relative to the current folder ("./page.html").
        arg = nuv::FromUtf8(nuv::CommandLineAddress(nuv::ToUtf8(arg), nuv::ToUtf8(QDir::currentPath())));
        window.findChild<QLineEdit*>(QStringLiteral("EdtURL"))->setText(arg);
        window.Address().OpenTypedAddress();
        window.Address().HideAddressDropDown();
        break;
    }
    return QApplication::exec();
}

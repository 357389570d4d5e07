#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QWebEngineProfile>

#include "app/MainWindow.h"
#include "common/Paths.h"
#include "net/HttpPageFetcher.h"
#include "platform/BrowserCookies.h"
#include "platform/QtPlatform.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "web/CurlDownloader.h"

int main(int argc, char** argv) {
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
    nuv::TFrmWebpageAnalysis window(
        {dialogs, shell, downloader, http, programFolder, nuv::UserHomeFolder()});
    dialogs.SetOwner(&window);
    // Downloads carry the page's context, as the browser's own requests do.
    nuv::BrowserCookies cookies(QWebEngineProfile::defaultProfile());
    downloader.SetCookieSource(&cookies);
    downloader.SetReferer([&window] { return window.Extractor().PageURL; });
    window.setWindowState(Qt::WindowMaximized);
    nuv::ShowFormAnimated(&window);
    // An address given on the command line (the desktop's "open with") opens as one
    // typed into the address box; words beginning with "-" are the engine's switches.
    for (const QString& arg : QApplication::arguments().mid(1)) {
        if (arg.startsWith(QLatin1Char('-'))) continue;
        window.findChild<QLineEdit*>(QStringLiteral("EdtURL"))->setText(arg);
        window.OpenTypedAddress();
        break;
    }
    return QApplication::exec();
}

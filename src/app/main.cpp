#include <QApplication>
#include <QDir>
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
    return QApplication::exec();
}

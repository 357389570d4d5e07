#include <QApplication>
#include <QDir>

#include "app/MainWindow.h"
#include "platform/QtPlatform.h"
#include "platform/QtResources.h"
#include "platform/WebEngineBrowser.h"
#include "common/Paths.h"
#include "net/HttpPageFetcher.h"
#include "web/CurlDownloader.h"
#include "platform/QtText.h"

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
    window.setWindowState(Qt::WindowMaximized);
    nuv::ShowFormAnimated(&window);
    return QApplication::exec();
}

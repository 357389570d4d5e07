#include <QApplication>
#include <QDir>

#include "app/MainWindow.h"
#include "app/QtPlatform.h"
#include "app/Resources.h"
#include "app/WebEngineBrowser.h"
#include "common/Paths.h"
#include "net/HttpPageFetcher.h"
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
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
    nuv::TFrmWebpageAnalysis window(
        {dialogs, shell, downloader, http, programFolder, nuv::UserHomeFolder()});
    dialogs.SetOwner(&window);
    window.setWindowState(Qt::WindowMaximized);
    nuv::ShowFormAnimated(&window);
    return QApplication::exec();
}

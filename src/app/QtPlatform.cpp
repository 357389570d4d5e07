#include "app/QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace nuv {

bool QtShell::Open(const std::string& target) {
    const QString t = QString::fromStdString(target);
    const QUrl url = t.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(t) : QUrl(t);
    return QDesktopServices::openUrl(url);
}

bool QtShell::StartProgram(const std::string& program) {
    return QProcess::startDetached(QString::fromStdString(program), {});
}

std::string QtDialogs::BrowseForFolder(const std::string& title, const std::string& preselection) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner_, QString::fromStdString(title), QString::fromStdString(preselection),
        QFileDialog::ShowDirsOnly);
    return chosen.toStdString();
}

void QtDialogs::ShowMessage(const std::string& text) {
    QMessageBox::information(owner_, QApplication::applicationName(), QString::fromStdString(text));
}

}  // namespace nuv

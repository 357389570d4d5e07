#include "platform/QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include "platform/QtText.h"

namespace nuv {

bool QtShell::Open(const std::string& target) {
    const QString t = FromUtf8(target);
    const QUrl url = t.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(t) : QUrl(t);
    return QDesktopServices::openUrl(url);
}

bool QtShell::StartProgram(const std::string& program) {
    return QProcess::startDetached(FromUtf8(program), {});
}

std::string QtDialogs::BrowseForFolder(const std::string& title, const std::string& preselection) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner_, FromUtf8(title), FromUtf8(preselection),
        QFileDialog::ShowDirsOnly);
    return ToUtf8(chosen);
}

void QtDialogs::ShowMessage(const std::string& text, std::optional<ScreenPoint> at) {
    if (!at) {
        QMessageBox::information(owner_, QApplication::applicationName(), FromUtf8(text));
        return;
    }
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), FromUtf8(text), QMessageBox::Ok,
                    owner_);
    // A dialog that has been moved keeps its place instead of being centred over its owner.
    box.move(at->x, at->y);
    box.exec();
}

}  // namespace nuv

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
    // The desktop gets local files and web addresses only, whatever a caller passes on.
    const QString scheme = url.scheme().toLower();
    if (!url.isLocalFile() && scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
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
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), FromUtf8(text), QMessageBox::Ok,
                    owner_);
    // Plain text: a file name such as "a.gif?<b>x" is shown as it is, never as markup.
    box.setTextFormat(Qt::PlainText);
    // A dialog that has been moved keeps its place instead of being centred over its owner.
    if (at) box.move(at->x, at->y);
    box.exec();
}

}  // namespace nuv

#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include "app/MainWindow.h"
#include "platform/WebEngineBrowser.h"

// Drives the main window as a user would: typing into its boxes and clicking its lists.
namespace nuv::test {

// The component of `window` with the object name `name`.
template <typename T>
T* Child(QWidget* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
}

// A real mouse click on entry `row` of LBDocType.
inline void ClickDocType(TFrmWebpageAnalysis& window, int row) {
    auto* list = Child<QListWidget>(&window, "LBDocType");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// Types `address` into EdtURL, presses Enter and waits until the page has loaded.
inline bool OpenAndWait(TFrmWebpageAnalysis& window, const QString& address, int timeoutMs = 30000) {
    QSignalSpy done(&window.MainBrowser(), &WebEngineBrowser::NavigateComplete);
    auto* edit = Child<QLineEdit>(&window, "EdtURL");
    edit->setText(address);
    QTest::keyClick(edit, Qt::Key_Return);
    return done.wait(timeoutMs);
}

}  // namespace nuv::test

#pragma once

#include <memory>
#include <string>
#include <utility>

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "support/Fakes.h"
#include "web/CurlDownloader.h"

// Drives the main window as a user would: typing into its boxes and clicking its lists.
namespace nuv::test {

// What a test's main windows are built with: recording dialogs and shell, a real
// downloader, no HTTP fetcher. Every window gets a program folder of its own, so the
// settings one window writes at its end are not read by the next.
class TestWindowServices {
protected:
    MainWindowServices FreshServices(std::string homeFolder = "/tmp/") {
        program_ = std::make_unique<QTemporaryDir>();
        return MainWindowServices{dialogs_, shell_, downloader_, http_, ToUtf8(program_->path()) + "/",
                                  std::move(homeFolder)};
    }

    RecordingDialogs dialogs_;
    RecordingShell shell_;
    CurlDownloader downloader_;
    FakeFetcher http_;
    std::unique_ptr<QTemporaryDir> program_;
};

// Runs a script in the page's application world and waits for its value (invalid when
// the page did not answer within 10 s).
inline QVariant RunScript(QWebEngineView* view, const QString& script) {
    auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [state](const QVariant& v) {
        state->first = true;
        state->second = v;
    });
    if (!QTest::qWaitFor([&] { return state->first; }, 10000)) return {};
    return state->second;
}

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

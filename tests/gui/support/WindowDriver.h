#pragma once

#include <memory>
#include <string>
#include <utility>

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "app/MainWindow.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "web/CurlDownloader.h"

// Drives the main window as a user would: typing into its boxes and clicking its lists.
namespace nuv::test {

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

// What a test's main windows are built with: recording dialogs and shell, a real
// downloader, no page fetches. Every window gets a program folder and a home folder of
// its own, so the settings one window writes at its end are not read by the next, and no
// browser history that another user of the machine planted is read.
class TestWindowServices {
protected:
    // New, empty program and home folders for the next window.
    void FreshFolders() {
        window_.reset();
        program_ = std::make_unique<TempFolder>("nuv-program");
        home_ = std::make_unique<TempFolder>("nuv-home");
    }
    // Services over the folders there are now; frames are fetched by `http`, else not at all.
    MainWindowServices Services(IPageFetcher* http = nullptr) {
        return MainWindowServices{dialogs_, shell_, downloader_, http ? *http : http_, program_->Path(), home_->Path()};
    }
    MainWindowServices FreshServices() {
        FreshFolders();
        return Services();
    }
    // A GUI test's init(): a new main window of `size` over fresh folders, shown, with the
    // dialogs and shell recorded from here on.
    bool ShowFreshWindow(QSize size, IPageFetcher* http = nullptr) {
        dialogs_ = {};
        shell_ = {};
        FreshFolders();
        window_ = std::make_unique<TFrmWebpageAnalysis>(Services(http));
        window_->resize(size);
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
    // The component of the window with the object name `name`.
    template <typename T>
    T* Child(const char* name) {
        return test::Child<T>(window_.get(), name);
    }
    std::string Program() const { return program_->Path(); }
    std::string Home() const { return home_->Path(); }

    RecordingDialogs dialogs_;
    RecordingShell shell_;
    CurlDownloader downloader_;
    FakeFetcher http_;
    std::unique_ptr<TempFolder> program_;
    std::unique_ptr<TempFolder> home_;
    std::unique_ptr<TFrmWebpageAnalysis> window_;  // goes first, before its folders
};

}  // namespace nuv::test

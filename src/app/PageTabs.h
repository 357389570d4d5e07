#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QTabBar>
#include <QTabWidget>

#include "app/logic/MainPages.h"

class QListWidget;
class QPlainTextEdit;
class QWebEngineView;

namespace nuv {

class TFrmPreview;
class WebEngineBrowser;

// Tab headers drawn by the main window: the tab at visible position i shows the caption
// of page i counted over all pages, hidden ones included.
class PageCaptionTabBar : public QTabBar {
    Q_OBJECT
public:
    using QTabBar::QTabBar;

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
};

// The page control `PageControl1` with its three pages: `TabSheet1` ("当前网页") with the
// browser `WebBrowser1` and the hidden frame list `lbFrames`, `TSOutput` ("图片动画"),
// which takes the result window on first use, and `TbSource` ("文本源码") with the memo
// `MmMessage`. The two result tabs start hidden. Owns the program's browser over
// WebBrowser1 and the result window.
class PageTabs : public QTabWidget, public IMainTabs, public IResultSurface {
    Q_OBJECT
public:
    // Builds the result window inside the page it is handed; called once, on first use.
    using ResultWindowFactory = std::function<TFrmPreview*(QWidget* page)>;

    PageTabs(QWidget* parent, ResultWindowFactory makeResultWindow);
    ~PageTabs() override;

    // The browser of WebBrowser1.
    WebEngineBrowser& Browser() { return *browser_; }
    TFrmPreview* ResultWindowIfAny() const { return preview_; }
    // Takes WebBrowser1 to `address` and shows its page only.
    void OpenPage(const std::string& address);
    // Shows the first page and hides both result tabs, as opening a new address does.
    void ShowPageOnly();
    // lbFrames lists `frames`.
    void ShowFrames(const std::vector<std::string>& frames);
    // Ends every wait on the browsers: the window is closing.
    void CloseBrowsers();
    // The controls Tab visits, in order: the tabs, the page, the memo.
    std::vector<QWidget*> TabStops();

    // IMainTabs
    void SetMemoText(const std::string& text) override;
    bool IsTabVisible(MainPage page) override;
    void SetTabVisible(MainPage page, bool visible) override;
    void SetPageCaption(MainPage page, const std::string& caption) override;
    void SetActivePage(MainPage page) override;
    // IResultSurface
    IBrowser& ResultWindow(bool imageMode) override;

private:
    ResultWindowFactory makeResultWindow_;
    std::unique_ptr<WebEngineBrowser> browser_;
    TFrmPreview* preview_ = nullptr;

    QWidget* TabSheet1{};
    QWidget* PnlMain{};
    QWebEngineView* WebBrowser1{};
    QListWidget* lbFrames{};
    QWidget* TSOutput{};
    QWidget* TbSource{};
    QPlainTextEdit* MmMessage{};
};

}  // namespace nuv

#pragma once

#include <string>

#include <QTabBar>
#include <QTabWidget>

class QListWidget;
class QPlainTextEdit;
class QWebEngineView;

namespace nuv {

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
// which takes the result window, and `TbSource` ("文本源码") with the memo `MmMessage`.
// The two result tabs start hidden.
class PageTabs : public QTabWidget {
    Q_OBJECT
public:
    explicit PageTabs(QWidget* parent);

    QWidget* TabSheet1{};
    QWidget* PnlMain{};
    QWebEngineView* WebBrowser1{};
    QListWidget* lbFrames{};
    QWidget* TSOutput{};
    QWidget* TbSource{};
    QPlainTextEdit* MmMessage{};

    // Shows the first page and hides both result tabs, as opening a new address does.
    void ShowPageOnly();
};

}  // namespace nuv

#pragma once

#include <memory>

#include <QWidget>

class QWebEngineView;
class QToolButton;

namespace nuv {

class WebEngineBrowser;

// The result window: a browser that shows the result pages, and a bottom bar with the
// two batch-download buttons. Lives inside the main window's TSOutput tab.
class TFrmPreview : public QWidget {
    Q_OBJECT
public:
    explicit TFrmPreview(QWidget* parent);
    ~TFrmPreview() override;

    WebEngineBrowser& Browser() { return *browser_; }
    QWebEngineView* WebBrowser1() const { return view_; }

    // Whether the batch download takes the images (set) or the Flash movies (clear).
    bool ImageMode = true;

private:
    QWebEngineView* view_;
    std::unique_ptr<WebEngineBrowser> browser_;
    QToolButton* btnSaveAll_;
    QToolButton* btnSaveAllAs_;
};

}  // namespace nuv

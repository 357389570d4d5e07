#pragma once

#include <QWidget>

#include "common/Shell.h"

class QLabel;
class QToolButton;

namespace nuv {

// The about window: the product title, its version and the maker's home page, which
// any mouse press on a text or the background opens. Closing only hides it.
class TFrmVersion : public QWidget {
    Q_OBJECT
public:
    // `shell` outlives the window.
    TFrmVersion(IShell& shell, QWidget* owner);

    void BtnCloseClick();

    QLabel* Label1{};
    QLabel* Label2{};
    QLabel* LblVersion{};
    QLabel* Label3{};
    QLabel* Label4{};
    QToolButton* BtnClose{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void FormCreate();
    void OpenHomePage();

    IShell& shell_;
};

// Creates the about window on first use, owned by `owner` (the main window), and shows
// it with the fade-in; later calls show the same window again. Returns it.
TFrmVersion* ShowAboutWindow(QWidget* owner, IShell& shell);

}  // namespace nuv

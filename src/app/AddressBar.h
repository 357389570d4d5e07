#pragma once

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace nuv {

// The address bar `SbPicName`: the address box `EdtURL` on its rounded background, the
// open button and the folder-bar check box on `Panel2` at the right end, and the
// address-history drop-down `PnlBrowserPages`, which floats over `overlayParent`.
class AddressBar : public QWidget {
    Q_OBJECT
public:
    AddressBar(QWidget* parent, QWidget* overlayParent);

    QLabel* Label1{};
    QLabel* ImgURL{};
    QLineEdit* EdtURL{};
    QWidget* Panel2{};
    QToolButton* BtnOpenWebpage{};
    QCheckBox* CbPath{};
    QFrame* PnlBrowserPages{};
    QListWidget* BrowserList{};

    // The address box and its background get the widths of a window `windowWidth` wide.
    void ApplyWindowWidth(int editWidth, int backgroundWidth);
    // Red while the pointer is over an edit box of the window, white otherwise.
    void SetHot(bool hot);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace nuv

#pragma once

#include <QFrame>

#include "frame/FrameServices.h"

class QLabel;
class QMenu;
class QToolButton;

namespace nuv {

class TFrmUpdate;

// The brand panel in the main window's lower left corner: the brand picture, and beside
// it, as children of the host panel, the help, online-update and exit buttons. The main
// window places them. Everything runs on the user-interface thread.
class TPnlTesvarn : public QFrame {
    Q_OBJECT
public:
    // Menu entries of PmBrand, by tag.
    enum MenuTag { TagDemo = 1, TagHome = 2, TagDonate = 3, TagAbout = 4 };

    // Builds the panel and the buttons inside `host` (which owns them all), at (0, 0),
    // then writes "update.txt" into the program's folder.
    TPnlTesvarn(FrameServices services, QWidget* host);
    ~TPnlTesvarn() override;

    void BtnHelpClick();
    void BtnOnlineUpdateClick();
    void BtnExitClick();
    // The click of a PmBrand entry with the tag `tag`; other tags do nothing.
    void PmBrandClick(int tag);

    // The update window, once the online-update button has made it.
    TFrmUpdate* UpdateWindowIfAny() const { return update_; }

    QLabel* ImgBrand{};
    QMenu* PmBrand{};
    QToolButton* BtnHelp{};
    QToolButton* BtnOnlineUpdate{};
    QToolButton* BtnExit{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FrameServices s_;
    TFrmUpdate* update_ = nullptr;
};

}  // namespace nuv

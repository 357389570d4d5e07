#include "app/AddressBar.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/Product.h"
#include "platform/QtText.h"
#include "platform/Widgets.h"

namespace nuv {

AddressBar::AddressBar(QWidget* parent, QWidget* overlayParent) : QWidget(parent) {
    Named(this, "SbPicName");
    setFixedHeight(40);
    Label1 = Named(new QLabel(QStringLiteral("地址"), this), "Label1");
    Label1->setFont(PixelFont("新宋体", 13));
    Label1->move(4, 12);
    ImgURL = BoxBackground(this, "ImgURL");
    ImgURL->setGeometry(35, 7, 744, 28);
    EdtURL = Named(new QLineEdit(this), "EdtURL");
    EdtURL->setFrame(false);
    EdtURL->setFont(PixelFont("宋体", 16));
    EdtURL->setGeometry(47, 11, 695, 19);
    EdtURL->setText(FromUtf8(MakerSite()));
    SetAccessibleText(EdtURL, QStringLiteral("地址"));
    Panel2 = Named(new QWidget(this), "Panel2");
    Panel2->setGeometry(0, 0, 213, 40);
    BtnOpenWebpage = FlatButton(Panel2, "BtnOpenWebpage", 2, 10, 101, 26);
    BtnOpenWebpage->setToolTip(QStringLiteral("打开网页"));
    SetAccessibleText(BtnOpenWebpage, QStringLiteral("打开网页"));
    CbPath = Named(new QCheckBox(QStringLiteral("显示文件夹"), Panel2), "CbPath");
    CbPath->setFont(PixelFont("新宋体", 13));
    CbPath->move(114, 17);

    PnlBrowserPages = Named(new QFrame(overlayParent), "PnlBrowserPages");
    PnlBrowserPages->setFrameShape(QFrame::Box);
    PnlBrowserPages->setGeometry(0, 0, 409, 201);
    auto* bp = new QVBoxLayout(PnlBrowserPages);
    bp->setContentsMargins(0, 0, 0, 0);
    BrowserList = Named(new QListWidget(PnlBrowserPages), "BrowserList");
    // The entries come sorted from the history reader (alphabetically, whatever the case);
    // the list's own sorting would order them by character codes.
    BrowserList->setFont(PixelFont("宋体", 16));
    // Entries 16 pixels high, so that the drop-down's 17 pixels an entry show them all
    // up to its greatest height; a long address is cut short rather than scrolled.
    BrowserList->setFrameShape(QFrame::NoFrame);
    BrowserList->setUniformItemSizes(true);
    BrowserList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    BrowserList->setStyleSheet(QStringLiteral("QListWidget#BrowserList::item { height: 16px; padding: 0px; }"));
    SetAccessibleText(BrowserList, QStringLiteral("地址历史"));
    // Reached with Down from the address box, as a drop-down is; Tab passes it by.
    BrowserList->setFocusPolicy(Qt::ClickFocus);
    bp->addWidget(BrowserList);
    PnlBrowserPages->hide();
    Paint(this, kPanelColour);
}

void AddressBar::ApplyWindowWidth(int editWidth, int backgroundWidth) {
    EdtURL->resize(editWidth, EdtURL->height());
    ImgURL->resize(backgroundWidth, ImgURL->height());
}

void AddressBar::SetHot(bool hot) { SetEditColour(EdtURL, hot ? QColor(0xFF, 0x00, 0x00) : QColor(Qt::white)); }

void AddressBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Panel2 keeps to the right end of the bar.
    Panel2->setGeometry(width() - 213, 0, 213, height());
}

}  // namespace nuv

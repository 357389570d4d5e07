#include "app/AddressBar.h"

#include <stdexcept>

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/logic/Navigation.h"
#include "common/Guard.h"
#include "common/Product.h"
#include "platform/QtText.h"
#include "platform/Widgets.h"
#include "web/Address.h"

namespace nuv {

AddressBar::AddressBar(AddressBarServices services, QWidget* parent, QWidget* overlayParent)
    : QWidget(parent), s_(std::move(services)) {
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

    EdtURL->installEventFilter(this);
    BrowserList->installEventFilter(this);
    BrowserList->viewport()->installEventFilter(this);
    // Any change of the address box's text, the program's own included, opens the history.
    connect(EdtURL, &QLineEdit::textChanged, this, [this] {
        if (PnlBrowserPages->isHidden()) ShowAddressHistory();
    });
    connect(BtnOpenWebpage, &QToolButton::clicked, this, [this] { OpenTypedAddress(); });
    connect(CbPath, &QCheckBox::clicked, this, &AddressBar::PathBarClicked);
}

void AddressBar::ApplyWindowWidth(int editWidth, int backgroundWidth) {
    EdtURL->resize(editWidth, EdtURL->height());
    ImgURL->resize(backgroundWidth, ImgURL->height());
}

void AddressBar::SetHot(bool hot) { SetEditColour(EdtURL, hot ? QColor(0xFF, 0x00, 0x00) : QColor(Qt::white)); }

void AddressBar::LoadGlyph() { SetGlyph(BtnOpenWebpage, "btnopenwebpage"); }

std::vector<QWidget*> AddressBar::TabStops() const { return {EdtURL, BtnOpenWebpage, CbPath}; }

bool AddressBar::PathBarChecked() const { return CbPath->isChecked(); }

void AddressBar::SetPathBarChecked(bool checked) { CbPath->setChecked(checked); }

void AddressBar::RestoreText(const std::string& text) {
    restored_ = text;
    EdtURL->setText(FromUtf8(text));
}

std::string AddressBar::StoredText() const { return nuv::StoredText(EdtURL->text(), restored_); }

std::string AddressBar::AddressBoxText() { return ToUtf8(EdtURL->text()); }

void AddressBar::HideAddressDropDown() { PnlBrowserPages->hide(); }

void AddressBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Panel2 keeps to the right end of the bar.
    Panel2->setGeometry(width() - 213, 0, 213, height());
}

bool AddressBar::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == EdtURL) {
        if (type == QEvent::Enter) SetHot(true);
        if (type == QEvent::Leave) SetHot(false);
        if (type == QEvent::KeyPress && EdtURLKeyDown(static_cast<QKeyEvent*>(event)->key())) return true;
        if (type == QEvent::MouseButtonPress) ShowAddressHistory();
    } else if (watched == BrowserList) {
        if (type == QEvent::KeyPress && BrowserListKeyDown(static_cast<QKeyEvent*>(event)->key())) return true;
    } else if (watched == BrowserList->viewport() && type == QEvent::MouseButtonPress) {
        BrowserListMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool AddressBar::EdtURLKeyDown(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OpenTypedAddress();
            HideAddressDropDown();
            return true;
        case Qt::Key_Escape: HideAddressDropDown(); return true;
        case Qt::Key_Down:
            ShowAddressHistory();
            // An empty history shows a drop-down of height 0; the typing stays in the box.
            if (BrowserList->count() == 0) return true;
            BrowserList->setFocus();
            BrowserList->setCurrentRow(0);
            return true;
        default: return false;
    }
}

bool AddressBar::BrowserListKeyDown(int key) {
    switch (key) {
        case Qt::Key_Up:
            if (BrowserList->currentRow() != 0 || !BrowserList->currentItem()->isSelected()) return false;
            HideAddressDropDown();
            EdtURL->setFocus();
            return true;
        case Qt::Key_Down:
        // Tab moves the focus and never reaches a list box as a key of its own.
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return false;
        default: OpenSelectedHistoryEntry(); return true;
    }
}

void AddressBar::BrowserListMouseDown(const QPoint& pos) {
    // The press selects the entry under the pointer before the entry is opened.
    if (QListWidgetItem* item = BrowserList->itemAt(pos)) BrowserList->setCurrentItem(item);
    OpenSelectedHistoryEntry();
}

void AddressBar::ShowAddressHistory() {
    try {
        BrowserList->clear();
        std::vector<std::string> addresses;
        ReadTypedAddresses(addresses, true, s_.history());
        QStringList items;
        items.reserve(static_cast<qsizetype>(addresses.size()));
        for (const std::string& a : addresses) items << FromUtf8(a);
        // In the reader's order: alphabetical without regard to case.
        BrowserList->addItems(items);
        const DropDownGeometry g =
            ComputeDropDownGeometry(EdtURL->x(), EdtURL->y(), EdtURL->width(), EdtURL->height(), BrowserList->count());
        PnlBrowserPages->setGeometry(g.left, g.top, g.width, g.height);
        PnlBrowserPages->show();
        PnlBrowserPages->raise();
    } catch (...) {
        NoteSwallowed();
    }
}

void AddressBar::OpenSelectedHistoryEntry() {
    try {
        if (BrowserList->count() == 0) return;
        if (PnlBrowserPages->isHidden()) PnlBrowserPages->show();
        QList<QListWidgetItem*> selected = BrowserList->selectedItems();
        if (selected.isEmpty()) {
            BrowserList->setCurrentRow(0);
            selected = {BrowserList->item(0)};
        }
        EdtURL->setText(selected.first()->text());
        PnlBrowserPages->hide();
        OpenTypedAddress();
        PnlBrowserPages->hide();
    } catch (...) {
        NoteSwallowed();
    }
}

void AddressBar::OpenTypedAddress() {
    try {
        HideAddressDropDown();
        const TypedAddress a = CompleteTypedAddress(ToUtf8(EdtURL->text()));
        if (a.writeBack) EdtURL->setText(FromUtf8(a.boxText));
        // A text that cannot be a web address is not handed to the browser, which would
        // make some other address of it; the page stays as it was.
        if (!a.openable) throw std::invalid_argument("not a web address");
        s_.open(a.localFile ? ToUtf8(QUrl::fromLocalFile(FromUtf8(a.navigateTo)).toString()) : a.navigateTo);
        // Remembered for the history under the address box; a failure here is no failure to open.
        try {
            RecordRecentAddress(s_.history().recentFile, a.navigateTo);
        } catch (...) {
            NoteSwallowed();
        }
    } catch (...) {
        NoteSwallowed();
        s_.dialogs.ShowMessage("此网页格式错误：" + ToUtf8(EdtURL->text()));
    }
}

}  // namespace nuv

#include "frame/TesvarnPanel.h"

#include <string_view>

#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include "common/Guard.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "frame/AboutWindow.h"
#include "frame/UpdateWindow.h"
#include "frame/logic/UpdateRules.h"
#include "platform/QtResources.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

QToolButton* BrandButton(QWidget* host, const char* name, const char* glyph) {
    auto* b = FlatButton(host, name, 0, 0, 122, ButtonHeight);
    SetGlyph(b, glyph);
    return b;
}

}  // namespace

TPnlTesvarn::TPnlTesvarn(FrameServices services, QWidget* host) : QFrame(host), s_(std::move(services)) {
    try {
        setObjectName(QStringLiteral("PnlTesvarn"));
        setFrameShape(QFrame::NoFrame);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(249, 255, 255));
        setPalette(p);
        setGeometry(0, 0, 120, 62);

        ImgBrand = new QLabel(this);
        ImgBrand->setObjectName(QStringLiteral("ImgBrand"));
        ImgBrand->setGeometry(0, 0, 120, 62);
        ImgBrand->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        ImgBrand->setToolTip(QStringLiteral("点击可查看更多软件更新"));
        ImgBrand->setCursor(Qt::PointingHandCursor);
        QPixmap brand;
        LoadJpegResource(brand, "Tesvarn", "jpg");
        if (!brand.isNull()) ImgBrand->setPixmap(brand);
        ImgBrand->installEventFilter(this);

        BtnHelp = BrandButton(host, "BtnHelp", "BtnHelp");
        BtnOnlineUpdate = BrandButton(host, "BtnOnlineUpdate", "BtnOnlineUpdate");
        BtnExit = BrandButton(host, "BtnExit", "BtnExit");
        // The glyphs' captions, for assistive technology.
        BtnHelp->setAccessibleName(QStringLiteral("帮助"));
        BtnOnlineUpdate->setAccessibleName(QStringLiteral("在线升级"));
        BtnExit->setAccessibleName(QStringLiteral("退出"));
        ImgBrand->setAccessibleName(QStringLiteral("NUV网页提取助手"));
        ImgBrand->setAccessibleDescription(ImgBrand->toolTip());
        connect(BtnHelp, &QToolButton::clicked, this, [this] { BtnHelpClick(); });
        connect(BtnOnlineUpdate, &QToolButton::clicked, this, [this] { BtnOnlineUpdateClick(); });
        connect(BtnExit, &QToolButton::clicked, this, [this] { BtnExitClick(); });

        PmBrand = new QMenu(this);
        PmBrand->setObjectName(QStringLiteral("PmBrand"));
        const struct {
            const char* caption;
            int tag;
        } entries[] = {{"实例说明(&D)", TagDemo}, {"官方主页(&H)", TagHome}, {"-", 0},
                       {"软件捐助(&J)", TagDonate}, {"关于(&A)...", TagAbout}};
        for (const auto& e : entries) {
            QAction* a = std::string_view(e.caption) == "-" ? PmBrand->addSeparator()
                                                             : PmBrand->addAction(QString::fromUtf8(e.caption));
            a->setData(e.tag);
        }
        connect(PmBrand, &QMenu::triggered, this, [this](QAction* a) { PmBrandClick(a->data().toInt()); });

        // The hand-over file for the updater, written at every start; a folder that
        // cannot be written is no reason to stop.
        if (FolderIsWritable(s_.programFolder)) WriteHandOverFile(s_.programFolder, s_.programPath);
    } catch (...) {
        NoteSwallowed();
    }
}

TPnlTesvarn::~TPnlTesvarn() = default;

bool TPnlTesvarn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ImgBrand && event->type() == QEvent::MouseButtonPress) {
        OpenLocation(s_.shell, HomeAddress);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void TPnlTesvarn::BtnHelpClick() { PmBrand->popup(QCursor::pos()); }

void TPnlTesvarn::BtnOnlineUpdateClick() {
    if (!update_) update_ = new TFrmUpdate(s_, this);
    update_->show();
    update_->raise();
    update_->activateWindow();
}

void TPnlTesvarn::BtnExitClick() {
    if (s_.closeProgram) s_.closeProgram();
}

void TPnlTesvarn::PmBrandClick(int tag) {
    switch (tag) {
    case TagDemo:
        OpenLocation(s_.shell, DemoAddress);
        break;
    case TagHome:
        OpenLocation(s_.shell, HomeAddress);
        break;
    case TagDonate:
        OpenLocation(s_.shell, DonateAddress);
        break;
    case TagAbout:
        ShowAboutWindow(window(), s_.shell);
        break;
    default:
        break;
    }
}

}  // namespace nuv

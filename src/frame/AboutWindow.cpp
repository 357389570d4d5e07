#include "frame/AboutWindow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/Guard.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

// The credit line under the version.
constexpr const char* kCreditLine = "NUV软件工作室 设计制作";

QFont Arial(int pixels, bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A piece of the window's border artwork. It takes mouse presses itself, so that they
// do not count as presses on the background.
class BorderPicture : public QLabel {
public:
    BorderPicture(QWidget* parent, const char* name, const char* resource, int width, int height)
        : QLabel(parent) {
        setObjectName(QString::fromLatin1(name));
        setScaledContents(true);
        if (width > 0) setFixedWidth(width);
        if (height > 0) setFixedHeight(height);
        QPixmap pm;
        LoadBitmapResource(pm, resource, "bmp");
        if (!pm.isNull()) setPixmap(pm);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
};

QWidget* BorderStrip(QWidget* parent, const char* name, int height, const char* left, int leftWidth,
                     const char* centre, const char* right, const char* leftRes, const char* centreRes,
                     const char* rightRes) {
    auto* strip = new QWidget(parent);
    strip->setObjectName(QString::fromLatin1(name));
    strip->setFixedHeight(height);
    strip->setAutoFillBackground(true);
    QPalette p = strip->palette();
    p.setColor(QPalette::Window, QColor(245, 254, 250));
    strip->setPalette(p);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(new BorderPicture(strip, left, leftRes, leftWidth, height));
    row->addWidget(new BorderPicture(strip, centre, centreRes, 0, height), 1);
    row->addWidget(new BorderPicture(strip, right, rightRes, 14, height));
    return strip;
}

QLabel* TextLabel(QWidget* parent, const char* name, int x, int y) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    return l;
}

void SetText(QLabel* label, const std::string& text) {
    label->setText(FromUtf8(text));
    label->adjustSize();
}

}  // namespace

TFrmVersion::TFrmVersion(IShell& shell, QWidget* owner) : QWidget(owner, Qt::Dialog), shell_(shell) {
    setObjectName(QStringLiteral("TFrmVersion"));
    setFixedSize(394, 354);
    setFont(Arial(21));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(245, 250, 254));
    setPalette(p);

    // The border artwork around the window: strips at the top and bottom, columns at
    // the sides.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->addWidget(BorderStrip(this, "PnlTop", 12, "ImgLeftTop", 11, "ImgCenter", "ImgTopRight", "aboutlefttop",
                                 "abouttop", "aboutrighttop"));
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(new BorderPicture(this, "ImgLeft", "aboutleft", 10, 0));
    middle->addStretch(1);
    middle->addWidget(new BorderPicture(this, "ImgRight", "aboutright", 14, 0));
    frame->addLayout(middle, 1);
    frame->addWidget(BorderStrip(this, "PnlBottom", 11, "ImgLeftBottom", 14, "ImgBottom", "ImgBottomRight",
                                 "aboutleftbottom", "aboutbottom", "aboutrightbottom"));

    Label1 = TextLabel(this, "Label1", 56, 42);
    Label1->setFont(Arial(28, true));
    Label2 = TextLabel(this, "Label2", 108, 87);
    LblVersion = TextLabel(this, "LblVersion", 206, 88);
    LblVersion->setAttribute(Qt::WA_TranslucentBackground);
    LblVersion->setStyleSheet(QStringLiteral("QLabel#LblVersion { color: #222222; background: transparent; }"));
    Label3 = TextLabel(this, "Label3", 40, 130);
    Label4 = TextLabel(this, "Label4", 40, 176);
    for (QLabel* l : {Label1, Label2, LblVersion, Label3, Label4}) {
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }

    BtnClose = new QToolButton(this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setAutoRaise(true);
    BtnClose->setFont(Arial(16, true));
    BtnClose->setGeometry(185, 230, 57, 26);
    SetAccessibleText(BtnClose, QStringLiteral("关闭"));  // the glyph shows the word; a screen reader needs it too
    connect(BtnClose, &QToolButton::clicked, this, [this] { BtnCloseClick(); });

    FormCreate();
}

void TFrmVersion::FormCreate() {
    try {
        QPixmap glyph;
        LoadBitmapResource(glyph, "BtnClose", "bmp");
        if (!glyph.isNull()) {
            BtnClose->setIcon(glyph);
            BtnClose->setIconSize(glyph.size());
        }
        setWindowTitle(FromUtf8(FormatS("%s %s", {strAbout, ProductTitle})));
        SetText(LblVersion, FormatVersion(ProductVersion));
        SetText(Label1, ProductTitle);
        SetText(Label2, strVersionLabel);
        SetText(Label3, kCreditLine);
        SetText(Label4, strHomePageLabel);
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmVersion::BtnCloseClick() { close(); }

void TFrmVersion::OpenHomePage() { OpenWebAddress(shell_, HomeAddress); }

bool TFrmVersion::eventFilter(QObject* watched, QEvent* event) {
    const bool text = watched == Label1 || watched == Label2 || watched == LblVersion || watched == Label3 ||
                      watched == Label4;
    if (text && event->type() == QEvent::MouseButtonPress) {
        OpenHomePage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmVersion::mousePressEvent(QMouseEvent* event) {
    OpenHomePage();
    event->accept();
}

TFrmVersion* ShowAboutWindow(QWidget* owner, IShell& shell) {
    static QPointer<TFrmVersion> instance;
    if (!instance) {
        instance = new TFrmVersion(shell, owner);
        if (owner) instance->move(owner->geometry().center() - instance->rect().center());
    }
    ShowFormAnimated(instance);
    return instance;
}

}  // namespace nuv

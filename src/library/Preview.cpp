#include "library/Preview.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/Resources.h"
#include "app/WebEngineBrowser.h"

namespace nuv {
namespace {

QToolButton* GlyphButton(QWidget* parent, const char* name, const char* glyph, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    QPixmap pm;
    LoadBitmapResource(pm, glyph, "bmp");
    if (!pm.isNull()) {
        b->setIcon(pm);
        b->setIconSize(pm.size());
    } else {
        b->setText(tip);
    }
    b->setToolTip(tip);
    return b;
}

}  // namespace

TFrmPreview::TFrmPreview(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FrmPreview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new QWebEngineView(this);
    view_->setObjectName(QStringLiteral("WebBrowser1"));
    layout->addWidget(view_, 1);
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("PnlBottom"));
    bar->setFixedHeight(32);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 2, 6, 2);
    btnSaveAll_ = GlyphButton(bar, "BtnSaveAll", "btnsaveall", QStringLiteral("全部保存"));
    btnSaveAllAs_ = GlyphButton(bar, "BtnSaveAllAs", "btnsaveallas", QStringLiteral("全部另存为"));
    barLayout->addWidget(btnSaveAll_);
    barLayout->addWidget(btnSaveAllAs_);
    barLayout->addStretch(1);
    layout->addWidget(bar);
    browser_ = std::make_unique<WebEngineBrowser>(view_);
}

TFrmPreview::~TFrmPreview() = default;

}  // namespace nuv

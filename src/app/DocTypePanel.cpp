#include "app/DocTypePanel.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "platform/QtText.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

class DocTypeList : public QListWidget {
public:
    DocTypeList(QWidget* parent, std::function<void()> onUserMove)
        : QListWidget(parent), onUserMove_(std::move(onUserMove)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int before = SelectedRow(this);
        QListWidget::keyPressEvent(event);
        if (SelectedRow(this) != before && onUserMove_) onUserMove_();
    }

private:
    std::function<void()> onUserMove_;
};

// A check box of the panel under the list, with its tip for the mouse and the screen reader.
QCheckBox* OptionBox(QWidget* panel, QVBoxLayout* layout, const char* text, const char* name, const char* tip) {
    auto* box = Named(new QCheckBox(QString::fromUtf8(text), panel), name);
    box->setFont(PixelFont("新宋体", 13));
    box->setToolTip(QString::fromUtf8(tip));
    SetAccessibleText(box, box->text(), box->toolTip());
    layout->addWidget(box);
    return box;
}

}  // namespace

DocTypePanel::DocTypePanel(QWidget* parent, std::function<void()> onSelect, std::function<bool()> busy)
    : QWidget(parent), busy_(std::move(busy)) {
    Named(this, "Panel1");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Image28 = Named(new QLabel(this), "Image28");
    Image28->setFixedHeight(20);
    LBDocType = Named(new DocTypeList(this, onSelect), "LBDocType");
    SetAccessibleText(LBDocType, QStringLiteral("资源类型"));
    layout->addWidget(Image28);
    layout->addWidget(LBDocType, 1);
    CbShown = OptionBox(this, layout, "含网页显示的图片", "CbShown",
                        "图片提取时，加上网页实际显示的图片（srcset、懒加载、CSS 背景、图标等）");
    CbScroll = OptionBox(this, layout, "滚动加载全部", "CbScroll",
                         "图片提取前，把网页一屏一屏滚动到底，加载滚动时才出现的图片（按 Esc 或点击网页停止）");
    // The list keeps the height that shows its six entries; the boxes come under it.
    setFixedHeight(120 + CbShown->sizeHint().height() + CbScroll->sizeHint().height());
    connect(LBDocType, &QListWidget::itemClicked, this, [onSelect] { onSelect(); });
    connect(CbShown, &QCheckBox::toggled, this, &DocTypePanel::ShownPicturesToggled);
    LBDocType->installEventFilter(this);
    LBDocType->viewport()->installEventFilter(this);
}

void DocTypePanel::LoadTitlePicture() { SetTitlePicture(Image28, "restypetitle"); }

void DocTypePanel::SetTypes(const std::vector<std::string>& names) {
    LBDocType->clear();
    for (const std::string& name : names) LBDocType->addItem(FromUtf8(name));
}

int DocTypePanel::SelectedType() const { return SelectedRow(LBDocType); }

void DocTypePanel::SelectType(int row) {
    LBDocType->setCurrentRow(row);
    if (LBDocType->currentRow() < 0) LBDocType->clearSelection();
}

bool DocTypePanel::ShownPictures() const { return CbShown->isChecked(); }

void DocTypePanel::SetShownPictures(bool on) { CbShown->setChecked(on); }

bool DocTypePanel::ScrollToLoad() const { return CbScroll->isChecked(); }

void DocTypePanel::SetScrollToLoad(bool on) { CbScroll->setChecked(on); }

std::vector<QWidget*> DocTypePanel::TabStops() const { return {LBDocType, CbShown, CbScroll}; }

bool DocTypePanel::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            if (busy_ && busy_()) return true;
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace nuv

#include "app/BrandPanelHost.h"

#include <QToolButton>

#include "frame/TesvarnPanel.h"
#include "platform/Widgets.h"

namespace nuv {

BrandPanelHost::BrandPanelHost(QWidget* parent) : QWidget(parent) {
    Named(this, "PnlRight");
    setFixedHeight(145);
}

void BrandPanelHost::CreateBrandPanel(FrameServices services) {
    brand_ = new TPnlTesvarn(std::move(services), this);
    brand_->show();
    int top = 1;
    for (QToolButton* b : {brand_->BtnHelp, brand_->BtnOnlineUpdate, brand_->BtnExit}) {
        b->move(20, top);
        top += b->height() + 3;
    }
    brand_->move(15, top);
}

std::vector<QWidget*> BrandPanelHost::TabStops() const {
    if (!brand_) return {};
    return {brand_->BtnHelp, brand_->BtnOnlineUpdate, brand_->BtnExit};
}

}  // namespace nuv

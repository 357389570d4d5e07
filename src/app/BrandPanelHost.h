#pragma once

#include <vector>

#include <QWidget>

#include "frame/FrameServices.h"

namespace nuv {

class TPnlTesvarn;

// `PnlRight`, the lower part of the left column, which holds the brand panel: its help,
// online-update and exit buttons stacked from the top, 3 pixels apart, and the panel's
// picture under them.
class BrandPanelHost : public QWidget {
    Q_OBJECT
public:
    explicit BrandPanelHost(QWidget* parent);

    // Builds the brand panel, which writes "update.txt", and places its parts.
    void CreateBrandPanel(FrameServices services);
    // The controls Tab visits, in order: the three buttons; none before the panel exists.
    std::vector<QWidget*> TabStops() const;

private:
    TPnlTesvarn* brand_ = nullptr;
};

}  // namespace nuv

#pragma once

#include <string>

#include <QWidget>

#include "common/WindowPorts.h"

class QLabel;
class QProgressBar;

namespace nuv {

class WebEngineBrowser;

// The hint bar `PnlHint` under the left column and the centre: the red hint text
// `LblHint` and, at its left, the progress bar `ProgressBar1` (minimum 0, step 10).
class HintBar : public QWidget, public IHintBar, public IProgressBar {
    Q_OBJECT
public:
    explicit HintBar(QWidget* parent);

    // IHintBar
    void ShowHint(const std::string& text) override;
    // IProgressBar
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    // The bar follows the loads of `browser`, and is full at the end of each.
    void FollowLoads(WebEngineBrowser& browser);

private:
    QLabel* LblHint{};
    QProgressBar* ProgressBar1{};
};

}  // namespace nuv

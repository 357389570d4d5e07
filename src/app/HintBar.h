#pragma once

#include <string>

#include <QWidget>

class QLabel;
class QProgressBar;

namespace nuv {

// The hint bar `PnlHint` under the left column and the centre: the red hint text
// `LblHint` and, at its left, the progress bar `ProgressBar1` (minimum 0, step 10).
class HintBar : public QWidget {
    Q_OBJECT
public:
    explicit HintBar(QWidget* parent);

    QLabel* LblHint{};
    QProgressBar* ProgressBar1{};

    void ShowHint(const std::string& text);
    void SetProgressMaximum(int maximum);
    void SetProgressPosition(int position);
    // Advances the bar by its step; past the maximum it starts over from its minimum.
    void StepProgress();
};

}  // namespace nuv

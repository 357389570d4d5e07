#include "app/HintBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include "common/Progress.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Widgets.h"

namespace nuv {

HintBar::HintBar(QWidget* parent) : QWidget(parent) {
    Named(this, "PnlHint");
    setFixedHeight(25);
    auto* hint = new QHBoxLayout(this);
    hint->setContentsMargins(0, 0, 0, 0);
    LblHint = Named(new QLabel(this), "LblHint");
    LblHint->setFont(PixelFont("宋体", 13));
    LblHint->setStyleSheet(QStringLiteral("QLabel#LblHint { color: #FF0000; }"));
    LblHint->setTextFormat(Qt::PlainText);  // names from pages are text, never markup
    LblHint->setIndent(170);
    SetAccessibleText(LblHint, QStringLiteral("提示"));
    hint->addWidget(LblHint);
    ProgressBar1 = Named(new QProgressBar(LblHint), "ProgressBar1");
    ProgressBar1->setGeometry(2, 3, 161, 19);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    SetAccessibleText(ProgressBar1, QStringLiteral("进度"));
    Paint(this, kPanelColour);
    Paint(LblHint, kPanelColour);
}

void HintBar::ShowHint(const std::string& text) { LblHint->setText(FromUtf8(text)); }

void HintBar::SetProgressMaximum(int maximum) { ProgressBar1->setMaximum(maximum); }

void HintBar::SetProgressPosition(int position) { ProgressBar1->setValue(position); }

void HintBar::FollowLoads(WebEngineBrowser& browser) {
    connect(&browser, &WebEngineBrowser::ProgressChange, this, [this](int progress, int maximum) {
        SetProgressMaximum(maximum);
        SetProgressPosition(progress);
    });
    connect(&browser, &WebEngineBrowser::NavigateComplete, this,
            [this] { ProgressBar1->setValue(ProgressBar1->maximum()); });
}

void HintBar::StepProgress() {
    ProgressBar1->setValue(StepPosition(ProgressBar1->value(), ProgressBar1->minimum(), ProgressBar1->maximum()));
}

}  // namespace nuv

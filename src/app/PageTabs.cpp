#include "app/PageTabs.h"

#include <algorithm>
#include <vector>

#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/logic/Navigation.h"
#include "library/Preview.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebPage.h"
#include "platform/Widgets.h"

namespace nuv {

void PageCaptionTabBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    std::vector<std::string> captions;
    for (int i = 0; i < count(); ++i) captions.push_back(ToUtf8(tabText(i)));
    int currentVisible = -1;
    for (int t = 0, vis = 0; t < count(); ++t) {
        if (!isTabVisible(t)) continue;
        if (t == currentIndex()) currentVisible = vis;
        ++vis;
    }
    for (int t = 0, vis = 0; t < count(); ++t) {
        if (!isTabVisible(t)) continue;
        QStyleOptionTab opt;
        initStyleOption(&opt, t);
        opt.text.clear();
        painter.drawControl(QStyle::CE_TabBarTabShape, opt);
        QFont f = font();
        f.setPointSize(11);
        f.setBold(vis == currentVisible);
        painter.setFont(f);
        painter.setPen(Qt::black);
        painter.drawText(tabRect(t), Qt::AlignCenter | Qt::TextSingleLine,
                         FromUtf8(TabCaptionAt(vis, captions.data(), static_cast<int>(captions.size()))));
        ++vis;
    }
}

QSize PageCaptionTabBar::tabSizeHint(int index) const {
    QSize s = QTabBar::tabSizeHint(index);
    QFont f = font();
    f.setPointSize(11);
    f.setBold(true);
    const QFontMetrics fm(f);
    int widest = 0;
    for (int i = 0; i < count(); ++i) widest = std::max(widest, fm.horizontalAdvance(tabText(i)));
    s.setWidth(widest + 32);
    s.setHeight(std::max(s.height(), fm.height() + 10));
    return s;
}

PageTabs::PageTabs(QWidget* parent, ResultWindowFactory makeResultWindow)
    : QTabWidget(parent), makeResultWindow_(std::move(makeResultWindow)) {
    Named(this, "PageControl1");
    SetAccessibleText(this, QStringLiteral("页面"));
    setTabBar(new PageCaptionTabBar(this));
    tabBar()->setFont(PixelFont("宋体", 15));
    TabSheet1 = Named(new QWidget(), "TabSheet1");
    auto* ts1 = new QVBoxLayout(TabSheet1);
    ts1->setContentsMargins(0, 0, 0, 0);
    PnlMain = Named(new QWidget(TabSheet1), "PnlMain");
    auto* pm = new QHBoxLayout(PnlMain);
    pm->setContentsMargins(0, 0, 0, 0);
    WebBrowser1 = Named(new QWebEngineView(PnlMain), "WebBrowser1");
    WebBrowser1->setPage(new WebPage(WebBrowser1));
    SetAccessibleText(WebBrowser1, QStringLiteral("当前网页"));
    lbFrames = Named(new QListWidget(PnlMain), "lbFrames");
    lbFrames->setFixedWidth(100);
    SetAccessibleText(lbFrames, QStringLiteral("框架"));
    lbFrames->hide();
    pm->addWidget(WebBrowser1, 1);
    pm->addWidget(lbFrames);
    ts1->addWidget(PnlMain);
    TSOutput = Named(new QWidget(), "TSOutput");
    auto* tso = new QVBoxLayout(TSOutput);
    tso->setContentsMargins(0, 0, 0, 0);
    TbSource = Named(new QWidget(), "TbSource");
    auto* tbs = new QVBoxLayout(TbSource);
    tbs->setContentsMargins(0, 0, 0, 0);
    MmMessage = Named(new QPlainTextEdit(TbSource), "MmMessage");
    MmMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetAccessibleText(MmMessage, QStringLiteral("文本源码"));
    tbs->addWidget(MmMessage);
    addTab(TabSheet1, QStringLiteral("当前网页"));
    addTab(TSOutput, QStringLiteral("图片动画"));
    addTab(TbSource, QStringLiteral("文本源码"));
    setTabVisible(1, false);
    setTabVisible(2, false);
    browser_ = std::make_unique<WebEngineBrowser>(WebBrowser1);
}

PageTabs::~PageTabs() = default;

void PageTabs::OpenPage(const std::string& address) {
    browser_->Navigate(address);
    ShowPageOnly();
}

void PageTabs::ShowPageOnly() {
    setCurrentIndex(0);
    setTabVisible(1, false);
    setTabVisible(2, false);
}

void PageTabs::ShowFrames(const std::vector<std::string>& frames) {
    lbFrames->clear();
    for (const std::string& f : frames) lbFrames->addItem(FromUtf8(f));
}

void PageTabs::CloseBrowsers() {
    browser_->Close();
    if (preview_) preview_->Browser().Close();
}

std::vector<QWidget*> PageTabs::TabStops() { return {this, WebBrowser1, MmMessage}; }

void PageTabs::SetMemoText(const std::string& text) { MmMessage->setPlainText(FromUtf8(text)); }

bool PageTabs::IsTabVisible(MainPage page) { return isTabVisible(static_cast<int>(page)); }

void PageTabs::SetTabVisible(MainPage page, bool visible) { setTabVisible(static_cast<int>(page), visible); }

void PageTabs::SetPageCaption(MainPage page, const std::string& caption) {
    setTabText(static_cast<int>(page), FromUtf8(caption));
}

void PageTabs::SetActivePage(MainPage page) { setCurrentIndex(static_cast<int>(page)); }

IBrowser& PageTabs::ResultWindow(bool imageMode) {
    if (!preview_) {
        preview_ = makeResultWindow_(TSOutput);
        TSOutput->layout()->addWidget(preview_);
        preview_->show();
    }
    preview_->SetImageMode(imageMode);
    return preview_->Browser();
}

}  // namespace nuv

#include "app/MainWindow.h"

#include <cfenv>
#include <filesystem>
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "platform/QtResources.h"
#include "platform/WebEngineBrowser.h"
#include "app/logic/Navigation.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "frame/TesvarnPanel.h"
#include "library/Preview.h"
#include "platform/QtText.h"
#include "web/CurlDownloader.h"

namespace nuv {
namespace {


QFont PixelFont(const char* family, int pixels) {
    QFont f(QString::fromUtf8(family));
    f.setPixelSize(pixels);
    return f;
}

const QColor kPanelColour(0xF5, 0xFA, 0xFE);
const QColor kFrameColour(0xF5, 0xFF, 0xFA);

void Paint(QWidget* w, const QColor& colour) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
}

template <typename T>
T* Named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QToolButton* FlatButton(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* b = Named(new QToolButton(parent), name);
    b->setAutoRaise(true);
    b->setGeometry(x, y, w, h);
    return b;
}

// A rounded white box drawn behind an edit box.
QLabel* BoxBackground(QWidget* parent, const char* name) {
    auto* l = Named(new QLabel(parent), name);
    l->setScaledContents(true);
    l->setStyleSheet(QStringLiteral("background:#FFFFFF; border:1px solid #9DB9D5; border-radius:4px;"));
    return l;
}

void SetGlyph(QToolButton* b, const char* resource) {
    QPixmap pm;
    LoadBitmapResource(pm, resource, "bmp");
    if (pm.isNull()) return;
    b->setIcon(pm);
    b->setIconSize(pm.size());
}

void SetTitlePicture(QLabel* l, const char* resource) {
    QPixmap pm;
    LoadJpegResource(pm, resource, "jpg");
    if (!pm.isNull()) l->setPixmap(pm);
}

void SetEditColour(QLineEdit* e, const QColor& c) {
    QPalette p = e->palette();
    p.setColor(QPalette::Base, c);
    e->setPalette(p);
}

// The document-type list: a key that moves the selection is the user's selection.
class DocTypeList : public QListWidget {
public:
    DocTypeList(QWidget* parent, std::function<void()> onUserMove)
        : QListWidget(parent), onUserMove_(std::move(onUserMove)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int before = currentRow();
        QListWidget::keyPressEvent(event);
        if (currentRow() != before && onUserMove_) onUserMove_();
    }

private:
    std::function<void()> onUserMove_;
};

// The page control with the owner-drawn tab headers.
class PageControl : public QTabWidget {
public:
    explicit PageControl(QWidget* parent) : QTabWidget(parent) { setTabBar(new PageCaptionTabBar(this)); }
};

}  // namespace

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

TFrmWebpageAnalysis::TFrmWebpageAnalysis(MainWindowServices services, QWidget* parent)
    : QWidget(parent), s_(std::move(services)) {
    BuildComponents();
    FormCreate();
}

TFrmWebpageAnalysis::~TFrmWebpageAnalysis() = default;

void TFrmWebpageAnalysis::BuildComponents() {
    setObjectName(QStringLiteral("TFrmWebpageAnalysis"));
    setGeometry(0, 32, 1024, 736);
    setFont(PixelFont("MS Sans Serif", 11));
    Paint(this, kPanelColour);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    PnlTop = Named(new QFrame(this), "PnlTop");
    PnlTop->setFixedHeight(15);
    Paint(PnlTop, kFrameColour);
    SbMain = Named(new QWidget(this), "SbMain");
    PnlBottom = Named(new QFrame(this), "PnlBottom");
    PnlBottom->setFixedHeight(11);
    Paint(PnlBottom, kFrameColour);
    root->addWidget(PnlTop);
    root->addWidget(SbMain, 1);
    root->addWidget(PnlBottom);

    auto* mainLayout = new QVBoxLayout(SbMain);
    mainLayout->setContentsMargins(4, 0, 4, 0);
    mainLayout->setSpacing(0);

    // Address bar.
    SbPicName = Named(new QWidget(SbMain), "SbPicName");
    SbPicName->setFixedHeight(40);
    SbPicName->installEventFilter(this);
    Label1 = Named(new QLabel(QStringLiteral("地址"), SbPicName), "Label1");
    Label1->setFont(PixelFont("新宋体", 13));
    Label1->move(4, 12);
    ImgURL = BoxBackground(SbPicName, "ImgURL");
    ImgURL->setGeometry(35, 7, 744, 28);
    EdtURL = Named(new QLineEdit(SbPicName), "EdtURL");
    EdtURL->setFrame(false);
    EdtURL->setFont(PixelFont("宋体", 16));
    EdtURL->setGeometry(47, 11, 695, 19);
    EdtURL->setText(FromUtf8(MakerSite()));
    EdtURL->installEventFilter(this);
    Panel2 = Named(new QWidget(SbPicName), "Panel2");
    Panel2->setGeometry(0, 0, 213, 40);
    BtnOpenWebpage = FlatButton(Panel2, "BtnOpenWebpage", 2, 10, 101, 26);
    BtnOpenWebpage->setToolTip(QStringLiteral("打开网页"));
    CbPath = Named(new QCheckBox(QStringLiteral("显示文件夹"), Panel2), "CbPath");
    CbPath->setFont(PixelFont("新宋体", 13));
    CbPath->move(114, 17);
    mainLayout->addWidget(SbPicName);

    // Save-folder bar.
    PnlPath = Named(new QGroupBox(QStringLiteral("保存到文件夹"), SbMain), "PnlPath");
    PnlPath->setFixedHeight(48);
    BtnOpenDir = FlatButton(PnlPath, "BtnOpenDir", 9, 17, 122, 25);
    BtnSelectPath = FlatButton(PnlPath, "BtnSelectPath", 138, 15, 89, 26);
    ImgTopBG = BoxBackground(PnlPath, "ImgTopBG");
    ImgTopBG->setGeometry(231, 14, 568, 28);
    EdtPicPath = Named(new QLineEdit(PnlPath), "EdtPicPath");
    EdtPicPath->setFrame(false);
    EdtPicPath->setFont(PixelFont("宋体", 16));
    EdtPicPath->setGeometry(240, 19, 553, 19);
    EdtPicPath->setToolTip(QStringLiteral("图片列表为此路径下的图片"));
    EdtPicPath->installEventFilter(this);

    auto* top = new QWidget(SbMain);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    topLayout->addWidget(PnlPath);

    // Left column and centre, split; the hint bar under both.
    auto* body = new QWidget(SbMain);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    Splitter1 = Named(new QSplitter(Qt::Horizontal, body), "Splitter1");
    Splitter1->setChildrenCollapsible(false);
    bodyLayout->addWidget(Splitter1, 1);

    SplitterTop = Named(new QSplitter(Qt::Vertical, SbMain), "SplitterTop");
    SplitterTop->setHandleWidth(6);
    SplitterTop->setChildrenCollapsible(false);
    SplitterTop->addWidget(top);
    SplitterTop->addWidget(body);
    SplitterTop->setStretchFactor(1, 1);
    mainLayout->addWidget(SplitterTop, 1);

    SbLeft = Named(new QWidget(Splitter1), "SbLeft");
    auto* left = new QVBoxLayout(SbLeft);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    auto* panel1 = Named(new QWidget(SbLeft), "Panel1");
    panel1->setFixedHeight(120);
    auto* p1 = new QVBoxLayout(panel1);
    p1->setContentsMargins(0, 0, 0, 0);
    p1->setSpacing(0);
    Image28 = Named(new QLabel(panel1), "Image28");
    Image28->setFixedHeight(20);
    LBDocType = Named(new DocTypeList(panel1, [this] { LBDocTypeClick(); }), "LBDocType");
    p1->addWidget(Image28);
    p1->addWidget(LBDocType, 1);
    left->addWidget(panel1);
    auto* scrollBox1 = Named(new QWidget(SbLeft), "ScrollBox1");
    auto* sb1 = new QVBoxLayout(scrollBox1);
    sb1->setContentsMargins(0, 0, 0, 0);
    sb1->setSpacing(0);
    Image37 = Named(new QLabel(scrollBox1), "Image37");
    Image37->setFixedHeight(20);
    BitmapListBox = Named(new QListWidget(scrollBox1), "BitmapListBox");
    BitmapListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    BitmapListBox->setToolTip(QStringLiteral("鼠标右键有更多功能"));
    BitmapListBox->setStyleSheet(QStringLiteral("QListWidget { background: #FFFFFF; }"));
    sb1->addWidget(Image37);
    sb1->addWidget(BitmapListBox, 1);
    left->addWidget(scrollBox1, 1);
    PnlImgPreview = Named(new QWidget(SbLeft), "PnlImgPreview");
    PnlImgPreview->setFixedHeight(136);
    auto* pv = new QVBoxLayout(PnlImgPreview);
    pv->setContentsMargins(0, 0, 0, 0);
    pv->setSpacing(0);
    Image32 = Named(new QLabel(PnlImgPreview), "Image32");
    Image32->setFixedHeight(18);
    auto* scrollBox2 = Named(new QWidget(PnlImgPreview), "ScrollBox2");
    auto* sb2 = new QVBoxLayout(scrollBox2);
    sb2->setContentsMargins(0, 0, 0, 0);
    ImgPreview = Named(new QLabel(scrollBox2), "ImgPreview");
    ImgPreview->setToolTip(QStringLiteral("鼠标点击可打开本图片"));
    ImgPreview->hide();
    sb2->addWidget(ImgPreview);
    pv->addWidget(Image32);
    pv->addWidget(scrollBox2, 1);
    PnlImgPreview->hide();
    left->addWidget(PnlImgPreview);
    PnlRight = Named(new QWidget(SbLeft), "PnlRight");
    PnlRight->setFixedHeight(145);
    left->addWidget(PnlRight);
    SbLeft->setMinimumWidth(120);

    // Thin rules beside the splitter handle, as the window's frame artwork.
    for (const char* name : {"Splitter3", "Splitter4"}) {
        auto* rule = Named(new QFrame(SbLeft), name);
        rule->setFrameShape(QFrame::NoFrame);
        rule->setFixedWidth(0);
    }

    SbCenter = Named(new QWidget(Splitter1), "SbCenter");
    auto* centre = new QVBoxLayout(SbCenter);
    centre->setContentsMargins(0, 0, 0, 0);
    auto* pnlCenter = Named(new QWidget(SbCenter), "PnlCenter");
    auto* pc = new QVBoxLayout(pnlCenter);
    pc->setContentsMargins(0, 0, 0, 0);
    auto* panel8 = Named(new QWidget(pnlCenter), "Panel8");
    auto* p8 = new QVBoxLayout(panel8);
    p8->setContentsMargins(0, 0, 0, 0);
    PageControl1 = Named(new PageControl(panel8), "PageControl1");
    PageControl1->tabBar()->setFont(PixelFont("宋体", 15));
    TabSheet1 = Named(new QWidget(), "TabSheet1");
    auto* ts1 = new QVBoxLayout(TabSheet1);
    ts1->setContentsMargins(0, 0, 0, 0);
    PnlMain = Named(new QWidget(TabSheet1), "PnlMain");
    auto* pm = new QHBoxLayout(PnlMain);
    pm->setContentsMargins(0, 0, 0, 0);
    WebBrowser1 = Named(new QWebEngineView(PnlMain), "WebBrowser1");
    lbFrames = Named(new QListWidget(PnlMain), "lbFrames");
    lbFrames->setFixedWidth(100);
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
    tbs->addWidget(MmMessage);
    PageControl1->addTab(TabSheet1, QStringLiteral("当前网页"));
    PageControl1->addTab(TSOutput, QStringLiteral("图片动画"));
    PageControl1->addTab(TbSource, QStringLiteral("文本源码"));
    PageControl1->setTabVisible(1, false);
    PageControl1->setTabVisible(2, false);
    p8->addWidget(PageControl1);
    pc->addWidget(panel8);
    centre->addWidget(pnlCenter);

    Splitter1->addWidget(SbLeft);
    Splitter1->addWidget(SbCenter);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({180, 844});

    PnlHint = Named(new QWidget(body), "PnlHint");
    PnlHint->setFixedHeight(25);
    auto* hint = new QHBoxLayout(PnlHint);
    hint->setContentsMargins(0, 0, 0, 0);
    LblHint = Named(new QLabel(PnlHint), "LblHint");
    LblHint->setFont(PixelFont("宋体", 13));
    LblHint->setStyleSheet(QStringLiteral("QLabel#LblHint { color: #FF0000; }"));
    LblHint->setIndent(170);
    hint->addWidget(LblHint);
    ProgressBar1 = Named(new QProgressBar(LblHint), "ProgressBar1");
    ProgressBar1->setGeometry(2, 3, 161, 19);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    bodyLayout->addWidget(PnlHint);

    // Address-history drop-down, floating over the window.
    PnlBrowserPages = Named(new QFrame(this), "PnlBrowserPages");
    PnlBrowserPages->setFrameShape(QFrame::Box);
    PnlBrowserPages->setGeometry(0, 0, 409, 201);
    auto* bp = new QVBoxLayout(PnlBrowserPages);
    bp->setContentsMargins(1, 1, 1, 1);
    BrowserList = Named(new QListWidget(PnlBrowserPages), "BrowserList");
    BrowserList->setSortingEnabled(true);
    BrowserList->setFont(PixelFont("宋体", 16));
    bp->addWidget(BrowserList);
    PnlBrowserPages->hide();

    PmSavedRES = Named(new QMenu(this), "PmSavedRES");
    Named(PmSavedRES->addAction(QStringLiteral("打开文件")), "N1");
    Named(PmSavedRES->addAction(QStringLiteral("打开所在的文件夹")), "N2");
    Named(PmSavedRES->addAction(QStringLiteral("删除文件")), "N3");

    for (QWidget* w : {SbMain, SbPicName, static_cast<QWidget*>(PnlPath), SbLeft, SbCenter, PnlHint,
                       static_cast<QWidget*>(LblHint)})
        Paint(w, kPanelColour);

    browser_ = std::make_unique<WebEngineBrowser>(WebBrowser1);
    connect(browser_.get(), &WebEngineBrowser::ProgressChange, this, [this](int progress, int maximum) {
        ProgressBar1->setMaximum(maximum);
        ProgressBar1->setValue(progress);
    });
    connect(browser_.get(), &WebEngineBrowser::NavigateComplete, this,
            [this](bool) { ProgressBar1->setValue(ProgressBar1->maximum()); });
    connect(EdtURL, &QLineEdit::returnPressed, this, [this] {
        OpenTypedAddress();
        HideAddressDropDown();
    });
    connect(BtnOpenWebpage, &QToolButton::clicked, this, [this] { OpenTypedAddress(); });
    connect(CbPath, &QCheckBox::clicked, this, [this] { CbPathClick(); });
    // Only the user's selection extracts: a click, even on the selected entry, or a key
    // that moves the selection. A selection the program sets extracts nothing.
    connect(LBDocType, &QListWidget::itemClicked, this, [this] { LBDocTypeClick(); });
    LBDocType->installEventFilter(this);
    LBDocType->viewport()->installEventFilter(this);
}

void TFrmWebpageAnalysis::FormCreate() {
    try {
        LoadLanguage();
        AssignProductConstants();
        SetupCaptionsAndImages();
        // The brand panel in the lower left corner, which writes "update.txt". Its three
        // buttons stack from the top, 3 pixels apart, and the panel comes under them.
        auto* brand = new TPnlTesvarn(
            FrameServices{s_.dialogs, s_.shell, s_.programFolder, ToUtf8(QCoreApplication::applicationFilePath()),
                          UpdateAddress,
                          [] {
                              auto updates = std::make_unique<CurlDownloader>();
                              updates->SetHttpsOnly(true);
                              return updates;
                          },
                          [this] { close(); }},
            PnlRight);
        brand->show();
        int top = 1;
        for (QToolButton* b : {brand->BtnHelp, brand->BtnOnlineUpdate, brand->BtnExit}) {
            b->move(20, top);
            top += b->height() + 3;
        }
        brand->move(15, top);
        ApplyStartValues();
        // Floating-point exceptions stay masked for the whole run.
        std::fenv_t env;
        std::feholdexcept(&env);
        RefreshSavedList();
    } catch (...) {
    }
    // The extraction lists exist whatever failed before.
    extraction_ = std::make_unique<Extraction>(
        ExtractionServices{*this, *browser_, *this, s_.downloader, s_.http, s_.homeFolder});
}

void TFrmWebpageAnalysis::SetupCaptionsAndImages() {
    try {
        setWindowTitle(FromUtf8(MainWindowCaption()));
        QApplication::setApplicationName(FromUtf8(ProductTitle));
        SetGlyph(BtnOpenDir, "opendir");
        SetGlyph(BtnSelectPath, "selectpath");
        SetGlyph(BtnOpenWebpage, "btnopenwebpage");
        SetTitlePicture(Image28, "restypetitle");
        SetTitlePicture(Image37, "ressavetitle");
        SetTitlePicture(Image32, "imgpreviewtitle");
        LBDocType->clear();
        for (const std::string& name : DocTypeNames()) LBDocType->addItem(FromUtf8(name));
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::ApplyStartValues() {
    // The values a first run starts with.
    EdtPicPath->setText(FromUtf8(s_.programFolder + "web"));
    EdtURL->setText(FromUtf8(HomeAddress));
    state_.DefaultSavePath = s_.programFolder + "web";
    {
        QSignalBlocker block(LBDocType);
        LBDocType->setCurrentRow(0);
    }
    state_.SaveFolder = Trim(ToUtf8(EdtPicPath->text()));
    CbPath->setChecked(false);
    CbPathClick();
}

void TFrmWebpageAnalysis::CbPathClick() { PnlPath->setVisible(CbPath->isChecked()); }

void TFrmWebpageAnalysis::FormResize() {
    try {
        const ResizeWidths w = ComputeResizeWidths(width());
        EdtURL->resize(w.edtURL, EdtURL->height());
        EdtPicPath->resize(w.edtPicPath, EdtPicPath->height());
        ImgURL->resize(w.imgURL, ImgURL->height());
        ImgTopBG->resize(w.imgTopBG, ImgTopBG->height());
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

bool TFrmWebpageAnalysis::eventFilter(QObject* watched, QEvent* event) {
    if (LBDocType && (watched == LBDocType || watched == LBDocType->viewport()) && LBDocTypeEvent(event)) return true;
    if (watched == SbPicName && event->type() == QEvent::Resize) {
        Panel2->setGeometry(SbPicName->width() - 213, 0, 213, SbPicName->height());
    } else if (watched == EdtURL || watched == EdtPicPath) {
        if (event->type() == QEvent::Enter) SetEditColour(EdtURL, QColor(0xFF, 0x00, 0x00));
        if (event->type() == QEvent::Leave) SetEditColour(EdtURL, Qt::white);
    }
    return QWidget::eventFilter(watched, event);
}

bool TFrmWebpageAnalysis::LBDocTypeEvent(QEvent* event) {
    const QEvent::Type t = event->type();
    const bool key = t == QEvent::KeyPress;
    const bool mouse = t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
                       t == QEvent::MouseButtonDblClick || t == QEvent::MouseMove;
    if (!key && !mouse) return false;
    // While an extraction runs the list keeps its selection: no silent move, nothing queued.
    if (extraction_ && extraction_->Running()) return true;
    return false;
}

void TFrmWebpageAnalysis::closeEvent(QCloseEvent* event) {
    // Waits on the browsers end once the window goes, so the process ends with it.
    browser_->Close();
    if (preview_) preview_->Browser().Close();
    QWidget::closeEvent(event);
}

void TFrmWebpageAnalysis::OpenTypedAddress() {
    try {
        HideAddressDropDown();
        const TypedAddress a = CompleteTypedAddress(ToUtf8(EdtURL->text()));
        if (a.writeBack) EdtURL->setText(FromUtf8(a.boxText));
        browser_->Navigate(a.localFile ? ToUtf8(QUrl::fromLocalFile(FromUtf8(a.navigateTo)).toString())
                                       : a.navigateTo);
        PageControl1->setCurrentIndex(0);
        PageControl1->setTabVisible(1, false);
        PageControl1->setTabVisible(2, false);
    } catch (...) {
        ShowMessage("此网页格式错误：" + ToUtf8(EdtURL->text()));
    }
}

void TFrmWebpageAnalysis::LBDocTypeClick() {
    if (!extraction_) return;
    extraction_->LBDocTypeClick();
    lbFrames->clear();
    for (const std::string& f : extraction_->lbFrames) lbFrames->addItem(FromUtf8(f));
}

std::string TFrmWebpageAnalysis::AddressBoxText() { return ToUtf8(EdtURL->text()); }

void TFrmWebpageAnalysis::HideAddressDropDown() { PnlBrowserPages->hide(); }

int TFrmWebpageAnalysis::SelectedDocType() { return LBDocType->currentRow(); }

void TFrmWebpageAnalysis::ShowMessage(const std::string& text) { s_.dialogs.ShowMessage(text); }

void TFrmWebpageAnalysis::SetMemoText(const std::string& text) { MmMessage->setPlainText(FromUtf8(text)); }

void TFrmWebpageAnalysis::SetProgressMaximum(int maximum) { ProgressBar1->setMaximum(maximum); }

void TFrmWebpageAnalysis::SetProgressPosition(int position) { ProgressBar1->setValue(position); }

void TFrmWebpageAnalysis::StepProgress() {
    // Past the maximum the bar starts over from its minimum.
    int next = ProgressBar1->value() + 10;
    if (next > ProgressBar1->maximum()) next = ProgressBar1->minimum() + (next - ProgressBar1->maximum());
    ProgressBar1->setValue(next);
}

bool TFrmWebpageAnalysis::IsTabVisible(MainPage page) {
    return PageControl1->isTabVisible(static_cast<int>(page));
}

void TFrmWebpageAnalysis::SetTabVisible(MainPage page, bool visible) {
    PageControl1->setTabVisible(static_cast<int>(page), visible);
}

void TFrmWebpageAnalysis::SetPageCaption(MainPage page, const std::string& caption) {
    PageControl1->setTabText(static_cast<int>(page), FromUtf8(caption));
}

void TFrmWebpageAnalysis::SetActivePage(MainPage page) {
    PageControl1->setCurrentIndex(static_cast<int>(page));
}

IBrowser& TFrmWebpageAnalysis::ResultWindow(bool imageMode) {
    if (!preview_) {
        preview_ = new TFrmPreview(PreviewServices{*this, *this, s_.downloader, s_.dialogs, s_.shell,
                                                   extraction_->lists, state_.DefaultSavePath, s_.homeFolder},
                                   TSOutput);
        TSOutput->layout()->addWidget(preview_);
        preview_->show();
    }
    preview_->SetImageMode(imageMode);
    return preview_->Browser();
}

std::vector<std::string> TFrmWebpageAnalysis::TextResource(const std::string& name) {
    return LoadTextResource(name);
}

void TFrmWebpageAnalysis::RefreshSavedList() {
    // The folder the saved-files list shows becomes the save folder, created when missing
    // so that the first download of a new folder has somewhere to go.
    std::string folder = ToUtf8(EdtPicPath->text());
    NormalizeFolderPath(folder);
    EdtPicPath->setText(FromUtf8(folder));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    state_.SaveFolder = folder;
}

void TFrmWebpageAnalysis::ShowHint(const std::string& text) { LblHint->setText(FromUtf8(text)); }

void TFrmWebpageAnalysis::SetSaveFolderBoxText(const std::string& text) { EdtPicPath->setText(FromUtf8(text)); }

}  // namespace nuv

#include "app/MainWindow.h"

#include <cfenv>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/BrandPanelHost.h"
#include "app/DocTypePanel.h"
#include "app/HintBar.h"
#include "app/logic/Navigation.h"
#include "common/Guard.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "extract/DocType.h"
#include "library/Preview.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Widgets.h"
#include "web/CurlDownloader.h"
#include "web/DocumentBridge.h"

namespace nuv {
namespace {

QVBoxLayout* Column(QWidget* w, int side = 0) {
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(side, 0, side, 0);
    layout->setSpacing(0);
    return layout;
}

}  // namespace

TFrmWebpageAnalysis::TFrmWebpageAnalysis(MainWindowServices services, QWidget* parent)
    : QWidget(parent), s_(std::move(services)) {
    BuildComponents();
    FormCreate();
}

TFrmWebpageAnalysis::~TFrmWebpageAnalysis() { FormDestroy(); }

void TFrmWebpageAnalysis::BuildComponents() {
    setObjectName(QStringLiteral("TFrmWebpageAnalysis"));
    setGeometry(0, 32, 1024, 736);
    setFont(PixelFont("MS Sans Serif", 11));
    Paint(this, kPanelColour);

    QVBoxLayout* root = Column(this);
    auto* pnlTop = Named(new QFrame(this), "PnlTop");
    pnlTop->setFixedHeight(15);
    Paint(pnlTop, kFrameColour);
    SbMain = Named(new QWidget(this), "SbMain");
    auto* pnlBottom = Named(new QFrame(this), "PnlBottom");
    pnlBottom->setFixedHeight(11);
    Paint(pnlBottom, kFrameColour);
    root->addWidget(pnlTop);
    root->addWidget(SbMain, 1);
    root->addWidget(pnlBottom);

    QVBoxLayout* mainLayout = Column(SbMain, 4);
    addressBar_ = new AddressBar(
        AddressBarServices{
            .dialogs = s_.dialogs,
            .open = [this](const std::string& address) { pages_->OpenPage(address); },
            .history = [this] { return TypedAddressSources{s_.homeFolder, s_.configFolder, settings_.recentFile}; }},
        SbMain, this);
    mainLayout->addWidget(addressBar_);

    // The left column and the centre, split, with the hint bar under both.
    auto* body = new QWidget(SbMain);
    QVBoxLayout* bodyLayout = Column(body);
    hintBar_ = new HintBar(body);

    // The saved-files panel builds the save-folder bar, the list and the preview; they
    // are placed below.
    savedFiles_ = new SavedFilesPanel(SavedFilesServices{.hints = *hintBar_, .addressBox = *addressBar_,
                                                         .state = state_, .dialogs = s_.dialogs, .shell = s_.shell,
                                                         .homeFolder = s_.homeFolder},
                                      this);
    auto* top = new QWidget(SbMain);
    Column(top)->addWidget(savedFiles_->PathBar());

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
    QVBoxLayout* left = Column(SbLeft);
    docTypes_ = new DocTypePanel(
        SbLeft, [this] { LBDocTypeClick(); }, [this] { return extraction_ && extraction_->Running(); });
    left->addWidget(docTypes_);
    left->addWidget(savedFiles_->ListPart(), 1);
    left->addWidget(savedFiles_->PreviewPanel());
    brand_ = new BrandPanelHost(SbLeft);
    left->addWidget(brand_);
    SbLeft->setMinimumWidth(120);

    // Thin rules beside the splitter handle, as the window's frame artwork.
    for (const char* name : {"Splitter3", "Splitter4"}) {
        auto* rule = Named(new QFrame(SbLeft), name);
        rule->setFrameShape(QFrame::NoFrame);
        rule->setFixedWidth(0);
    }

    SbCenter = Named(new QWidget(Splitter1), "SbCenter");
    auto* pnlCenter = Named(new QWidget(SbCenter), "PnlCenter");
    auto* panel8 = Named(new QWidget(pnlCenter), "Panel8");
    pages_ = new PageTabs(panel8, [this](QWidget* page) { return MakeResultWindow(page); });
    Column(panel8)->addWidget(pages_);
    Column(pnlCenter)->addWidget(panel8);
    Column(SbCenter)->addWidget(pnlCenter);

    Splitter1->addWidget(SbLeft);
    Splitter1->addWidget(SbCenter);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({180, 844});
    bodyLayout->addWidget(hintBar_);

    for (QWidget* w : {SbMain, SbLeft, SbCenter}) Paint(w, kPanelColour);

    hintBar_->FollowLoads(pages_->Browser());
    connect(addressBar_, &AddressBar::PathBarClicked, savedFiles_, &SavedFilesPanel::ShowPathBar);
    connect(savedFiles_, &SavedFilesPanel::FolderBoxHovered, addressBar_, &AddressBar::SetHot);
}

void TFrmWebpageAnalysis::FormCreate() {
    try {
        LoadLanguage();
        AssignProductConstants();
        SetupCaptionsAndImages();
        // The brand panel in the lower left corner, which writes "update.txt".
        brand_->CreateBrandPanel(FrameServices{
            .dialogs = s_.dialogs, .shell = s_.shell, .programFolder = s_.programFolder,
            .programPath = ToUtf8(QCoreApplication::applicationFilePath()), .updateAddress = UpdateAddress,
            .makeUpdateDownloader =
                [](std::function<bool(const std::string&)> mayRedirectTo) {
                    auto updates = std::make_unique<CurlDownloader>();
                    updates->SetHttpsOnly(true);
                    updates->SetRedirectRule(std::move(mayRedirectTo));
                    return updates;
                },
            .closeProgram = [this] { close(); }, .makerHost = std::string(MakerHost), .updateKey = MakerUpdateKey,
            .extraTrustedCertificates = std::string()});
        // Tab goes as the eye reads: the address bar, the path bar, the left column from top
        // to bottom (the brand buttons last), then the page.
        std::vector<QWidget*> order;
        for (const std::vector<QWidget*>& stops :
             {addressBar_->TabStops(), savedFiles_->PathBarControls(), docTypes_->TabStops(),
              std::vector<QWidget*>{savedFiles_->SavedList()}, brand_->TabStops(), pages_->TabStops()})
            order.insert(order.end(), stops.begin(), stops.end());
        for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
        LoadSettings();
        // Floating-point exceptions stay masked for the whole run.
        std::fenv_t env;
        std::feholdexcept(&env);
        savedFiles_->RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
    // The extraction lists exist whatever failed before.
    auto resultPageHead = [] { return LoadTextResource("page1"); };
    presenter_ = std::make_unique<ExtractionPresenter>(*pages_, *pages_, resultPageHead);
    extraction_ = std::make_unique<Extraction>(ExtractionServices{
        .mainBrowser = pages_->Browser(), .downloader = s_.downloader, .http = s_.http, .saveFolder = *savedFiles_,
        .progress = *hintBar_, .resultPageHead = resultPageHead,
        .window = ExtractionWindow{
            .addressBox = *addressBar_, .presenter = *presenter_, .savedList = *savedFiles_, .dialogs = s_.dialogs}});
    extraction_->SetIncludeShownPictures(docTypes_->ShownPictures());
    // With the pictures the page shows, those the user scrolled past count too.
    pages_->Browser().RecordShownPictures(docTypes_->ShownPictures());
    connect(docTypes_, &DocTypePanel::ShownPicturesToggled, this, [this](bool on) {
        extraction_->SetIncludeShownPictures(on);
        pages_->Browser().RecordShownPictures(on);
    });
}

void TFrmWebpageAnalysis::SetupCaptionsAndImages() {
    try {
        setWindowTitle(FromUtf8(MainWindowCaption()));
        QApplication::setApplicationName(FromUtf8(ProductTitle));
        addressBar_->LoadGlyph();
        docTypes_->LoadTitlePicture();
        docTypes_->SetTypes(DocTypeNames());
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmWebpageAnalysis::FormDestroy() {
    try {
        SaveSettings();
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmWebpageAnalysis::LoadSettings() {
    try {
        const std::string config = s_.configFolder.empty() ? s_.homeFolder + ".config/" : s_.configFolder;
        const std::string downloads = s_.downloadFolder.empty() ? s_.homeFolder + "Downloads/" : s_.downloadFolder;
        settings_ = FindSettingsLocation(s_.programFolder, config, downloads);
        const Settings loaded =
            LoadSettingsFiles(settings_, DefaultSettings(settings_.defaultSaveFolder, HomeAddress));
        savedFiles_->RestoreFolderBox(loaded.PicPath);
        addressBar_->RestoreText(loaded.URLPath);
        state_.DefaultSavePath = loaded.DefaultSavePath;
        docTypes_->SelectType(DocTypeRow(loaded.DocType));
        Splitter1->setSizes({loaded.LeftPanelWidth, std::max(0, width() - loaded.LeftPanelWidth)});
        addressBar_->SetPathBarChecked(loaded.CbPath);
        savedFiles_->ShowPathBar(loaded.CbPath);
        state_.CurPicName = loaded.CurPicName;
        docTypes_->SetShownPictures(loaded.ShownPictures);
        docTypes_->SetScrollToLoad(loaded.ScrollToLoad);
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmWebpageAnalysis::SaveSettings() {
    try {
        Settings s;
        s.PicPath = savedFiles_->StoredFolderBoxText();
        s.URLPath = addressBar_->StoredText();
        s.DefaultSavePath = state_.DefaultSavePath;
        s.CurPicName = state_.CurPicName;
        s.DocType = docTypes_->SelectedType();
        s.LeftPanelWidth = Splitter1->sizes().value(0, SbLeft->width());
        s.CbPath = addressBar_->PathBarChecked();
        s.ShownPictures = docTypes_->ShownPictures();
        s.ScrollToLoad = docTypes_->ScrollToLoad();
        SaveSettingsFile(settings_, s);
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmWebpageAnalysis::FormResize() {
    try {
        const ResizeWidths w = ComputeResizeWidths(width());
        addressBar_->ApplyWindowWidth(w.edtURL, w.imgURL);
        savedFiles_->ApplyWindowWidth(w.edtPicPath, w.imgTopBG);
    } catch (...) {
        NoteSwallowed();
    }
}

void TFrmWebpageAnalysis::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TFrmWebpageAnalysis::closeEvent(QCloseEvent* event) {
    // Waits on the browsers end once the window goes, so the process ends with it.
    pages_->CloseBrowsers();
    QWidget::closeEvent(event);
}

void TFrmWebpageAnalysis::LBDocTypeClick() {
    if (!extraction_ || scroller_) return;
    const int selected = docTypes_->SelectedType();
    if (selected == static_cast<int>(DocType::Images) && docTypes_->ScrollToLoad() &&
        !GetPageAddress(pages_->Browser()).empty()) {
        ScrollThenExtract(selected);
        return;
    }
    extraction_->LBDocTypeClick(selected);
    pages_->ShowFrames(extraction_->LastResult().frames);
}

void TFrmWebpageAnalysis::ScrollThenExtract(int selected) {
    QWebEngineView* view = pages_->Browser().View();
    if (!view) return;
    scroller_ = new PageScroller(
        view->page(), ScrollTimes{},
        [this, selected](const ScrollOutcome&) {
            qApp->removeEventFilter(this);
            scroller_->deleteLater();
            scroller_ = nullptr;
            hintBar_->SetProgressPosition(0);
            extraction_->LBDocTypeClick(selected);
            pages_->ShowFrames(extraction_->LastResult().frames);
        },
        [this](long long ms, long long limit) {
            hintBar_->SetProgressMaximum(static_cast<int>(limit / 100));
            hintBar_->SetProgressPosition(static_cast<int>(ms / 100));
        },
        this);
    // Esc, or a click on the page, ends the scrolling; the extraction then takes what came.
    qApp->installEventFilter(this);
    scroller_->Start();
}

bool TFrmWebpageAnalysis::eventFilter(QObject* watched, QEvent* event) {
    if (scroller_ && scroller_->Running()) {
        const bool esc = event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        QWidget* view = pages_->Browser().View();
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool click = event->type() == QEvent::MouseButtonPress && view && widget &&
                           (widget == view || view->isAncestorOf(widget));
        if (esc || click) {
            scroller_->Stop();
            return esc;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TFrmPreview* TFrmWebpageAnalysis::MakeResultWindow(QWidget* page) {
    return new TFrmPreview(
        PreviewServices{.saveFolder = *savedFiles_, .savedList = *savedFiles_, .hints = *hintBar_,
                        .progress = *hintBar_, .downloader = s_.downloader, .dialogs = s_.dialogs, .shell = s_.shell,
                        .lists = extraction_->Lists(), .defaultSavePath = state_.DefaultSavePath,
                        .homeFolder = s_.homeFolder,
                        // Downloads never replace the program's own files, wherever the save folder is.
                        .protectedFiles = ProgramOwnFiles(settings_, s_.programFolder,
                                                          ToUtf8(QCoreApplication::applicationFilePath())),
                        .pageAddress = [this] { return extraction_->PageAddress(); }},
        page);
}

}  // namespace nuv

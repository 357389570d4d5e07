#include "app/MainWindow.h"

#include <cfenv>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/AddressBar.h"
#include "app/DocTypePanel.h"
#include "app/HintBar.h"
#include "app/PageTabs.h"
#include "app/logic/Navigation.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "frame/TesvarnPanel.h"
#include "frame/logic/UpdateRules.h"
#include "library/Preview.h"
#include "library/SavedFilesPanel.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Widgets.h"
#include "web/CurlDownloader.h"

namespace nuv {

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
    addressBar_ = new AddressBar(SbMain, this);
    mainLayout->addWidget(addressBar_);

    // The saved-files panel builds the save-folder bar, the list and the preview; they
    // are placed below.
    savedFiles_ =
        new SavedFilesPanel(SavedFilesServices{*this, *this, state_, s_.dialogs, s_.shell, s_.homeFolder}, this);
    PnlPath = savedFiles_->PathBar();
    ImgTopBG = savedFiles_->FolderBoxBackground();
    EdtPicPath = savedFiles_->FolderBox();
    EdtPicPath->installEventFilter(this);
    addressBar_->EdtURL->installEventFilter(this);

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
    docTypes_ = new DocTypePanel(
        SbLeft, [this] { LBDocTypeClick(); }, [this] { return extraction_ && extraction_->Running(); });
    left->addWidget(docTypes_);
    left->addWidget(savedFiles_->ListPart(), 1);
    left->addWidget(savedFiles_->PreviewPanel());
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
    pages_ = new PageTabs(panel8);
    p8->addWidget(pages_);
    pc->addWidget(panel8);
    centre->addWidget(pnlCenter);

    Splitter1->addWidget(SbLeft);
    Splitter1->addWidget(SbCenter);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({180, 844});

    hintBar_ = new HintBar(body);
    bodyLayout->addWidget(hintBar_);

    for (QWidget* w : {SbMain, static_cast<QWidget*>(PnlPath), SbLeft, SbCenter}) Paint(w, kPanelColour);

    browser_ = std::make_unique<WebEngineBrowser>(pages_->WebBrowser1);
    connect(browser_.get(), &WebEngineBrowser::ProgressChange, this, [this](int progress, int maximum) {
        hintBar_->SetProgressMaximum(maximum);
        hintBar_->SetProgressPosition(progress);
    });
    connect(browser_.get(), &WebEngineBrowser::NavigateComplete, this,
            [this](bool) { hintBar_->ProgressBar1->setValue(hintBar_->ProgressBar1->maximum()); });
    // Any change of the address box's text, the program's own included, opens the history.
    connect(addressBar_->EdtURL, &QLineEdit::textChanged, this, [this] {
        if (addressBar_->PnlBrowserPages->isHidden()) ShowAddressHistory();
    });
    addressBar_->BrowserList->installEventFilter(this);
    addressBar_->BrowserList->viewport()->installEventFilter(this);
    connect(addressBar_->BtnOpenWebpage, &QToolButton::clicked, this, [this] { OpenTypedAddress(); });
    connect(addressBar_->CbPath, &QCheckBox::clicked, this, [this] { CbPathClick(); });
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
                          [this] { close(); },
                          std::string(MakerHost),
                          MakerUpdateKey,
                          std::string()},
            PnlRight);
        brand->show();
        int top = 1;
        for (QToolButton* b : {brand->BtnHelp, brand->BtnOnlineUpdate, brand->BtnExit}) {
            b->move(20, top);
            top += b->height() + 3;
        }
        brand->move(15, top);
        // Tab goes as the eye reads: the address bar, the path bar, the left column from top
        // to bottom (the brand buttons last), then the page.
        const std::vector<QWidget*> pathBar = savedFiles_->PathBarControls();
        std::vector<QWidget*> order{addressBar_->EdtURL, addressBar_->BtnOpenWebpage, addressBar_->CbPath};
        order.insert(order.end(), pathBar.begin(), pathBar.end());
        order.insert(order.end(), {docTypes_->LBDocType, docTypes_->CbShown, savedFiles_->SavedList(), brand->BtnHelp,
                                   brand->BtnOnlineUpdate, brand->BtnExit, pages_, pages_->WebBrowser1,
                                   pages_->MmMessage});
        for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
        LoadSettings();
        // Floating-point exceptions stay masked for the whole run.
        std::fenv_t env;
        std::feholdexcept(&env);
        RefreshSavedList();
    } catch (...) {
    }
    // The extraction lists exist whatever failed before.
    auto resultPageHead = [] { return LoadTextResource("page1"); };
    presenter_ = std::make_unique<ExtractionPresenter>(*this, *this, resultPageHead);
    extraction_ = std::make_unique<Extraction>(ExtractionServices{*browser_, s_.downloader, s_.http, *this, *this,
                                                                  resultPageHead,
                                                                  ExtractionWindow{*this, *presenter_, *this, s_.dialogs}});
    extraction_->IncludeShownPictures = docTypes_->CbShown->isChecked();
    connect(docTypes_->CbShown, &QCheckBox::toggled, this,
            [this](bool on) { extraction_->IncludeShownPictures = on; });
}

void TFrmWebpageAnalysis::SetupCaptionsAndImages() {
    try {
        setWindowTitle(FromUtf8(MainWindowCaption()));
        QApplication::setApplicationName(FromUtf8(ProductTitle));
        SetGlyph(addressBar_->BtnOpenWebpage, "btnopenwebpage");
        SetTitlePicture(docTypes_->Image28, "restypetitle");
        docTypes_->LBDocType->clear();
        for (const std::string& name : DocTypeNames()) docTypes_->LBDocType->addItem(FromUtf8(name));
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::FormDestroy() {
    try {
        SaveSettings();
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::LoadSettings() {
    try {
        const std::string config = s_.configFolder.empty() ? s_.homeFolder + ".config/" : s_.configFolder;
        const std::string downloads = s_.downloadFolder.empty() ? s_.homeFolder + "Downloads/" : s_.downloadFolder;
        settings_ = FindSettingsLocation(s_.programFolder, config, downloads);
        const Settings loaded =
            LoadSettingsFiles(settings_, DefaultSettings(settings_.defaultSaveFolder, HomeAddress));
        EdtPicPath->setText(FromUtf8(loaded.PicPath));
        addressBar_->EdtURL->setText(FromUtf8(loaded.URLPath));
        loadedPicPath_ = loaded.PicPath;
        loadedURLPath_ = loaded.URLPath;
        state_.DefaultSavePath = loaded.DefaultSavePath;
        QListWidget* types = docTypes_->LBDocType;
        types->setCurrentRow(DocTypeRow(loaded.DocType));
        if (types->currentRow() < 0) types->clearSelection();
        Splitter1->setSizes({loaded.LeftPanelWidth, std::max(0, width() - loaded.LeftPanelWidth)});
        state_.SaveFolder = Trim(ToUtf8(EdtPicPath->text()));
        addressBar_->CbPath->setChecked(loaded.CbPath);
        CbPathClick();
        state_.CurPicName = loaded.CurPicName;
        docTypes_->CbShown->setChecked(loaded.ShownPictures);
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::SaveSettings() {
    try {
        Settings s;
        // A box whose text is still the one read keeps the bytes read, those that are
        // no UTF-8 included.
        const auto unlessUnchanged = [](const QString& text, const std::string& loaded) {
            return text == FromUtf8(loaded) ? loaded : ToUtf8(text);
        };
        s.PicPath = unlessUnchanged(EdtPicPath->text(), loadedPicPath_);
        s.URLPath = unlessUnchanged(addressBar_->EdtURL->text(), loadedURLPath_);
        s.DefaultSavePath = state_.DefaultSavePath;
        s.CurPicName = state_.CurPicName;
        s.DocType = SelectedRow(docTypes_->LBDocType);
        s.LeftPanelWidth = Splitter1->sizes().value(0, SbLeft->width());
        s.CbPath = addressBar_->CbPath->isChecked();
        s.ShownPictures = docTypes_->CbShown->isChecked();
        SaveSettingsFile(settings_, s);
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::CbPathClick() { PnlPath->setVisible(addressBar_->CbPath->isChecked()); }

void TFrmWebpageAnalysis::FormResize() {
    try {
        const ResizeWidths w = ComputeResizeWidths(width());
        addressBar_->ApplyWindowWidth(w.edtURL, w.imgURL);
        EdtPicPath->resize(w.edtPicPath, EdtPicPath->height());
        ImgTopBG->resize(w.imgTopBG, ImgTopBG->height());
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

bool TFrmWebpageAnalysis::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == addressBar_->EdtURL || watched == EdtPicPath) {
        if (type == QEvent::Enter) addressBar_->SetHot(true);
        if (type == QEvent::Leave) addressBar_->SetHot(false);
    }
    if (watched == addressBar_->EdtURL) {
        if (type == QEvent::KeyPress && EdtURLKeyDown(static_cast<QKeyEvent*>(event)->key())) return true;
        if (type == QEvent::MouseButtonPress) ShowAddressHistory();
    } else if (watched == addressBar_->BrowserList) {
        if (type == QEvent::KeyPress && BrowserListKeyDown(static_cast<QKeyEvent*>(event)->key())) return true;
    } else if (watched == addressBar_->BrowserList->viewport() && type == QEvent::MouseButtonPress) {
        BrowserListMouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TFrmWebpageAnalysis::EdtURLKeyDown(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OpenTypedAddress();
            HideAddressDropDown();
            return true;
        case Qt::Key_Escape: HideAddressDropDown(); return true;
        case Qt::Key_Down: {
            ShowAddressHistory();
            QListWidget* list = addressBar_->BrowserList;
            // An empty history shows a drop-down of height 0; the typing stays in the box.
            if (list->count() == 0) return true;
            list->setFocus();
            list->setCurrentRow(0);
            return true;
        }
        default: return false;
    }
}

bool TFrmWebpageAnalysis::BrowserListKeyDown(int key) {
    QListWidget* list = addressBar_->BrowserList;
    switch (key) {
        case Qt::Key_Up:
            if (list->currentRow() != 0 || !list->currentItem()->isSelected()) return false;
            HideAddressDropDown();
            addressBar_->EdtURL->setFocus();
            return true;
        case Qt::Key_Down:
        // Tab moves the focus and never reaches a list box as a key of its own.
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return false;
        default: OpenSelectedHistoryEntry(); return true;
    }
}

void TFrmWebpageAnalysis::BrowserListMouseDown(const QPoint& pos) {
    // The press selects the entry under the pointer before the entry is opened.
    QListWidget* list = addressBar_->BrowserList;
    if (QListWidgetItem* item = list->itemAt(pos)) list->setCurrentItem(item);
    OpenSelectedHistoryEntry();
}

TypedAddressSources TFrmWebpageAnalysis::HistorySources() const {
    return {s_.homeFolder, s_.configFolder, settings_.recentFile};
}

void TFrmWebpageAnalysis::ShowAddressHistory() {
    try {
        QListWidget* list = addressBar_->BrowserList;
        QFrame* panel = addressBar_->PnlBrowserPages;
        list->clear();
        std::vector<std::string> addresses;
        ReadTypedAddresses(addresses, true, HistorySources());
        QStringList items;
        items.reserve(static_cast<qsizetype>(addresses.size()));
        for (const std::string& a : addresses) items << FromUtf8(a);
        // In the reader's order: alphabetical without regard to case.
        list->addItems(items);
        const QLineEdit* edit = addressBar_->EdtURL;
        const DropDownGeometry g =
            ComputeDropDownGeometry(edit->x(), edit->y(), edit->width(), edit->height(), list->count());
        panel->setGeometry(g.left, g.top, g.width, g.height);
        panel->show();
        panel->raise();
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::OpenSelectedHistoryEntry() {
    try {
        QListWidget* list = addressBar_->BrowserList;
        QFrame* panel = addressBar_->PnlBrowserPages;
        if (list->count() == 0) return;
        if (panel->isHidden()) panel->show();
        QList<QListWidgetItem*> selected = list->selectedItems();
        if (selected.isEmpty()) {
            list->setCurrentRow(0);
            selected = {list->item(0)};
        }
        addressBar_->EdtURL->setText(selected.first()->text());
        panel->hide();
        OpenTypedAddress();
        panel->hide();
    } catch (...) {
    }
}

void TFrmWebpageAnalysis::closeEvent(QCloseEvent* event) {
    // Waits on the browsers end once the window goes, so the process ends with it.
    browser_->Close();
    if (preview_) preview_->Browser().Close();
    QWidget::closeEvent(event);
}

void TFrmWebpageAnalysis::OpenTypedAddress() {
    QLineEdit* edit = addressBar_->EdtURL;
    try {
        HideAddressDropDown();
        const TypedAddress a = CompleteTypedAddress(ToUtf8(edit->text()));
        if (a.writeBack) edit->setText(FromUtf8(a.boxText));
        // A text that cannot be a web address is not handed to the browser, which would
        // make some other address of it; the page stays as it was.
        if (!a.openable) throw std::invalid_argument("not a web address");
        browser_->Navigate(a.localFile ? ToUtf8(QUrl::fromLocalFile(FromUtf8(a.navigateTo)).toString())
                                       : a.navigateTo);
        pages_->ShowPageOnly();
        // Remembered for the history under the address box; a failure here is no failure to open.
        try {
            RecordRecentAddress(settings_.recentFile, a.navigateTo);
        } catch (...) {
        }
    } catch (...) {
        s_.dialogs.ShowMessage("此网页格式错误：" + ToUtf8(edit->text()));
    }
}

void TFrmWebpageAnalysis::LBDocTypeClick() {
    if (!extraction_) return;
    extraction_->LBDocTypeClick(SelectedRow(docTypes_->LBDocType));
    pages_->lbFrames->clear();
    for (const std::string& f : extraction_->LastResult().frames) pages_->lbFrames->addItem(FromUtf8(f));
}

std::string TFrmWebpageAnalysis::AddressBoxText() { return ToUtf8(addressBar_->EdtURL->text()); }

void TFrmWebpageAnalysis::HideAddressDropDown() { addressBar_->PnlBrowserPages->hide(); }

void TFrmWebpageAnalysis::SetMemoText(const std::string& text) { pages_->MmMessage->setPlainText(FromUtf8(text)); }

void TFrmWebpageAnalysis::SetProgressMaximum(int maximum) { hintBar_->SetProgressMaximum(maximum); }

void TFrmWebpageAnalysis::SetProgressPosition(int position) { hintBar_->SetProgressPosition(position); }

void TFrmWebpageAnalysis::StepProgress() { hintBar_->StepProgress(); }

bool TFrmWebpageAnalysis::IsTabVisible(MainPage page) { return pages_->isTabVisible(static_cast<int>(page)); }

void TFrmWebpageAnalysis::SetTabVisible(MainPage page, bool visible) {
    pages_->setTabVisible(static_cast<int>(page), visible);
}

void TFrmWebpageAnalysis::SetPageCaption(MainPage page, const std::string& caption) {
    pages_->setTabText(static_cast<int>(page), FromUtf8(caption));
}

void TFrmWebpageAnalysis::SetActivePage(MainPage page) { pages_->setCurrentIndex(static_cast<int>(page)); }

IBrowser& TFrmWebpageAnalysis::ResultWindow(bool imageMode) {
    if (!preview_) {
        // Downloads never replace the program's own files, wherever the save folder is.
        std::vector<std::string> own{settings_.writeFile, settings_.recentFile,
                                     ToUtf8(QCoreApplication::applicationFilePath())};
        for (std::string_view name : {SettingsFileName, RecentAddressesFileName, UpdaterFileName, HandOverFileName,
                                      std::string_view("nuv-webextract"), std::string_view("nuv-extract")})
            own.push_back(s_.programFolder + std::string(name));
        preview_ = new TFrmPreview(PreviewServices{*this, *this, *this, *this, s_.downloader, s_.dialogs, s_.shell,
                                                   extraction_->lists, state_.DefaultSavePath, s_.homeFolder,
                                                   std::move(own)},
                                   pages_->TSOutput);
        pages_->TSOutput->layout()->addWidget(preview_);
        preview_->show();
    }
    preview_->SetImageMode(imageMode);
    return preview_->Browser();
}

void TFrmWebpageAnalysis::RefreshSavedList() { savedFiles_->RefreshSavedList(); }

void TFrmWebpageAnalysis::ShowHint(const std::string& text) { hintBar_->ShowHint(text); }

void TFrmWebpageAnalysis::SaveFolderUnusable() {
    hintBar_->ShowHint("非法的路径");
    savedFiles_->SetFolderBoxText(s_.homeFolder.ends_with('/') ? s_.homeFolder : s_.homeFolder + "/");
}

}  // namespace nuv

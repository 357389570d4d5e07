#include "library/SavedFilesPanel.h"

#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QStandardPaths>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>

#include "codecs/Pictures.h"
#include "common/Guard.h"
#include "common/Strings.h"
#include "common/Text.h"
#include "library/logic/SavedFiles.h"
#include "platform/QtResources.h"
#include "platform/QtText.h"
#include "platform/Widgets.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

QToolButton* GlyphButton(QWidget* parent, const char* name, const char* glyph, QRect geometry) {
    auto* b = FlatButton(parent, name, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    SetGlyph(b, glyph);
    return b;
}

QLabel* TitlePicture(QWidget* parent, const char* name, const char* resource, int height) {
    auto* l = Named(new QLabel(parent), name);
    l->setFixedHeight(height);
    SetTitlePicture(l, resource);
    return l;
}

QVBoxLayout* Column(QWidget* w) {
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// Moves a file into the desktop's trash (the freedesktop.org one), false when there is none
// for it. Qt 6.4 finds the home trash only when its data folder exists, which the rules
// let us create; and where it finds no trash at all it moves the file into the current
// folder and reports success. Such a file is put back and counts as not trashed.
bool MoveToTrash(const std::string& path) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) QDir().mkpath(data);
    const QString source = FromUtf8(path);
    QString inTrash;
    if (!QFile::moveToTrash(source, &inTrash)) return false;
    const QFileInfo trashed(inTrash);
    if (trashed.isAbsolute()) return true;
    QFile::rename(inTrash, source);
    const QDir top(trashed.dir().filePath(QStringLiteral("..")));
    QFile::remove(
        top.filePath(QStringLiteral("info/") + trashed.fileName() + QStringLiteral(".trashinfo")));
    top.rmdir(QStringLiteral("info"));
    top.rmdir(QStringLiteral("files"));
    return false;
}

bool RemoveForGood(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) return false;
    return fs::remove(path, ec);
}

}  // namespace

SavedFilesPanel::SavedFilesPanel(SavedFilesServices services, QWidget* window)
    : QObject(window), s_(std::move(services)), window_(window) {
    setObjectName(QStringLiteral("SavedFilesPanel"));
    Build();
}

void SavedFilesPanel::Build() {
    // Save-folder bar.
    PnlPath = Named(new QGroupBox(QStringLiteral("保存到文件夹"), window_), "PnlPath");
    PnlPath->setFixedHeight(48);
    PnlPath->setAutoFillBackground(true);
    QPalette panel = PnlPath->palette();
    panel.setColor(QPalette::Window, QColor(0xF5, 0xFA, 0xFE));
    PnlPath->setPalette(panel);
    BtnOpenDir = GlyphButton(PnlPath, "BtnOpenDir", "opendir", QRect(9, 17, 122, 25));
    BtnSelectPath = GlyphButton(PnlPath, "BtnSelectPath", "selectpath", QRect(138, 15, 89, 26));
    ImgTopBG = Named(new QLabel(PnlPath), "ImgTopBG");
    ImgTopBG->setScaledContents(true);
    ImgTopBG->setStyleSheet(
        QStringLiteral("background:#FFFFFF; border:1px solid #9DB9D5; border-radius:4px;"));
    ImgTopBG->setGeometry(231, 14, 568, 28);
    EdtPicPath = Named(new QLineEdit(PnlPath), "EdtPicPath");
    EdtPicPath->setFrame(false);
    EdtPicPath->setFont(PixelFont("宋体", 16));
    EdtPicPath->setGeometry(240, 19, 553, 19);
    EdtPicPath->setToolTip(QStringLiteral("图片列表为此路径下的图片"));

    // The list of saved files under its title picture.
    ScrollBox1 = Named(new QWidget(window_), "ScrollBox1");
    QVBoxLayout* listColumn = Column(ScrollBox1);
    Image37 = TitlePicture(ScrollBox1, "Image37", "ressavetitle", 20);
    BitmapListBox = Named(new QListWidget(ScrollBox1), "BitmapListBox");
    BitmapListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    BitmapListBox->setSortingEnabled(false);
    BitmapListBox->setUniformItemSizes(true);  // keeps a refresh of thousands of files fast
    BitmapListBox->setToolTip(QStringLiteral("鼠标右键有更多功能"));
    BitmapListBox->setStyleSheet(QStringLiteral("QListWidget { background: #FFFFFF; }"));
    BitmapListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    listColumn->addWidget(Image37);
    listColumn->addWidget(BitmapListBox, 1);

    PmSavedRES = Named(new QMenu(BitmapListBox), "PmSavedRES");
    QAction* n1 = Named(PmSavedRES->addAction(QStringLiteral("打开文件")), "N1");
    QAction* n2 = Named(PmSavedRES->addAction(QStringLiteral("打开所在的文件夹")), "N2");
    QAction* n3 = Named(PmSavedRES->addAction(QStringLiteral("删除文件")), "N3");

    // The preview: a scroll box around the picture, which takes the picture's size.
    PnlImgPreview = Named(new QWidget(window_), "PnlImgPreview");
    PnlImgPreview->setFixedHeight(136);
    QVBoxLayout* previewColumn = Column(PnlImgPreview);
    Image32 = TitlePicture(PnlImgPreview, "Image32", "imgpreviewtitle", 18);
    ScrollBox2 = Named(new QScrollArea(PnlImgPreview), "ScrollBox2");
    ScrollBox2->setFrameShape(QFrame::NoFrame);
    ScrollBox2->setWidgetResizable(false);
    ImgPreview = Named(new QLabel, "ImgPreview");
    ImgPreview->setToolTip(QStringLiteral("鼠标点击可打开本图片"));
    ImgPreview->setCursor(Qt::PointingHandCursor);
    ScrollBox2->setWidget(ImgPreview);
    ImgPreview->hide();
    previewColumn->addWidget(Image32);
    previewColumn->addWidget(ScrollBox2, 1);
    PnlImgPreview->hide();

    // Names and descriptions for assistive technology: the caption or title that labels
    // each control, and its hint.
    const struct {
        QWidget* w;
        const char* name;
    } names[] = {{BtnOpenDir, "打开文件夹"}, {BtnSelectPath, "选择路径"}, {EdtPicPath, "保存到文件夹"},
                 {Image37, "已保存资源列表"}, {BitmapListBox, "已保存资源列表"}, {Image32, "图片预览"},
                 {ImgPreview, "图片预览"}};
    for (const auto& n : names) {
        n.w->setAccessibleName(QString::fromUtf8(n.name));
        n.w->setAccessibleDescription(n.w->toolTip());
    }

    connect(BtnOpenDir, &QToolButton::clicked, this, [this] { BtnOpenDirClick(); });
    connect(BtnSelectPath, &QToolButton::clicked, this, [this] { BtnSelectPathClick(); });
    connect(EdtPicPath, &QLineEdit::returnPressed, this, [this] { EdtPicPathKeyDown(); });
    connect(BitmapListBox, &QListWidget::itemClicked, this, [this] { BitmapListBoxClick(); });
    connect(BitmapListBox, &QListWidget::itemDoubleClicked, this,
            [this] { BitmapListBoxDblClick(); });
    connect(BitmapListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PmSavedRES->popup(BitmapListBox->viewport()->mapToGlobal(at));
    });
    connect(n1, &QAction::triggered, this, [this] { BitmapListBoxDblClick(); });
    connect(n2, &QAction::triggered, this, [this] { BtnOpenDirClick(); });
    connect(n3, &QAction::triggered, this, [this] { N3Click(); });
    EdtPicPath->installEventFilter(this);
    BitmapListBox->installEventFilter(this);
    ImgPreview->installEventFilter(this);
}

bool SavedFilesPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EdtPicPath && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        emit FolderBoxHovered(event->type() == QEvent::Enter);
    } else if (watched == EdtPicPath && event->type() == QEvent::FocusOut) {
        // Leaving the field means focus moving to another control of this window; a
        // message box, a popup or another window taking the focus is no leaving.
        QWidget* next = QApplication::focusWidget();
        if (next && next != EdtPicPath && next->window() == EdtPicPath->window()) EdtPicPathExit();
    } else if (watched == BitmapListBox && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteSelectedFiles();
        return true;
    } else if (watched == ImgPreview && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The picture shown opens, even when a refresh has moved the list's current entry.
        try {
            if (!previewFile_.empty()) ShellOpen(s_.shell, previewFile_);
        } catch (...) {
            NoteSwallowed();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

std::vector<QWidget*> SavedFilesPanel::PathBarControls() const { return {BtnOpenDir, BtnSelectPath, EdtPicPath}; }

QWidget* SavedFilesPanel::SavedList() const { return BitmapListBox; }

std::string SavedFilesPanel::FolderBoxText() const {
    return ToUtf8(EdtPicPath->text());
}

void SavedFilesPanel::SetFolderBoxText(const std::string& text) {
    EdtPicPath->setText(FromUtf8(text));
}

void SavedFilesPanel::RestoreFolderBox(const std::string& text) {
    restoredFolderBox_ = text;
    SetFolderBoxText(text);
    s_.state.SaveFolder = Trim(FolderBoxText());
}

std::string SavedFilesPanel::StoredFolderBoxText() const { return StoredText(EdtPicPath->text(), restoredFolderBox_); }

void SavedFilesPanel::ApplyWindowWidth(int editWidth, int backgroundWidth) {
    EdtPicPath->resize(editWidth, EdtPicPath->height());
    ImgTopBG->resize(backgroundWidth, ImgTopBG->height());
}

void SavedFilesPanel::SaveFolderUnusable() {
    s_.hints.ShowHint("非法的路径");
    SetFolderBoxText(s_.homeFolder.ends_with('/') ? s_.homeFolder : s_.homeFolder + "/");
}

void SavedFilesPanel::ShowPathBar(bool shown) {
    PnlPath->setVisible(shown);
}

void SavedFilesPanel::FocusFolderBox() {
    // After the focus change under way, if any, has ended.
    QMetaObject::invokeMethod(
        EdtPicPath, [box = EdtPicPath] { box->setFocus(Qt::OtherFocusReason); },
        Qt::QueuedConnection);
}

std::string SavedFilesPanel::CommitSaveFolder() {
    try {
        std::string text = FolderBoxText();
        const std::string folder = nuv::CommitSaveFolder(text, s_.homeFolder);
        if (FromUtf8(text) != EdtPicPath->text()) SetFolderBoxText(text);
        if (folder.empty()) {
            s_.hints.ShowHint(strInvalidFolderName);
            FocusFolderBox();
        }
        return folder;
    } catch (...) {
        NoteSwallowed();
        return {};
    }
}

void SavedFilesPanel::RefreshSavedList() {
    try {
        s_.state.SaveFolder = CommitSaveFolder();
        std::vector<std::string> paths;
        ListFolderFiles(s_.state.SaveFolder, "", paths);
        SavedListEntries entries = SavedListFor(paths, s_.state.CurPicName, s_.state.PicIndex);
        s_.state.PicIndex = entries.picIndex;
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(entries.names.size()));
        for (const std::string& name : entries.names) texts.append(FromUtf8(name));
        names_ = std::move(entries.names);
        BitmapListBox->setUpdatesEnabled(false);
        BitmapListBox->clear();
        BitmapListBox->addItems(texts);
        // The current entry is not selected: a Delete right after a refresh asks first.
        if (s_.state.PicIndex >= 0 && s_.state.PicIndex < BitmapListBox->count()) {
            BitmapListBox->selectionModel()->setCurrentIndex(
                BitmapListBox->model()->index(s_.state.PicIndex, 0), QItemSelectionModel::NoUpdate);
        }
        BitmapListBox->setUpdatesEnabled(true);
    } catch (...) {
        NoteSwallowed();
        BitmapListBox->setUpdatesEnabled(true);
    }
}

bool SavedFilesPanel::LoadPreviewPicture(QLabel* image, const std::string& path) {
    try {
        image->show();
        switch (PreviewLoaderFor(path)) {
            case PreviewLoader::Jpeg:
                LoadJpegPicture(image, path, s_.shell);
                return true;
            case PreviewLoader::Bitmap:
                if (!LoadBmpPicture(image, path)) break;
                return true;
            case PreviewLoader::Png:
                LoadPngPicture(image, path);
                return true;
            case PreviewLoader::Any:
                return LoadOlePicture(image, path, s_.shell);
        }
    } catch (...) {
        NoteSwallowed();
    }
    image->hide();
    return false;
}

std::string SavedFilesPanel::CurrentFile() const {
    const int row = BitmapListBox->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= names_.size()) return {};
    return s_.state.SaveFolder + names_[static_cast<size_t>(row)];
}

void SavedFilesPanel::BitmapListBoxClick() {
    try {
        s_.addressBox.HideAddressDropDown();
        const std::string file = CurrentFile();
        if (file.empty()) return;
        std::error_code ec;
        previewFile_.clear();
        if (fs::exists(file, ec)) {
            PnlImgPreview->show();
            if (LoadPreviewPicture(ImgPreview, file)) previewFile_ = file;
            s_.hints.ShowHint(strFolderName + ":" + file);
        } else {
            PnlImgPreview->hide();
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void SavedFilesPanel::BitmapListBoxDblClick() {
    try {
        const std::string file = CurrentFile();
        if (!file.empty()) ShellOpen(s_.shell, file);
    } catch (...) {
        NoteSwallowed();
    }
}

void SavedFilesPanel::BtnOpenDirClick() {
    try {
        const std::string folder = s_.state.SaveFolder;
        if (folder.empty()) return;
        if (IsFolder(folder)) {
            ShellOpen(s_.shell, folder);
        } else {
            s_.dialogs.ShowMessage(FormatS(strDiskNotExist, {folder}));
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void SavedFilesPanel::BtnSelectPathClick() {
    try {
        const std::string chosen = SelectFolder(s_.dialogs, FolderBoxText(), s_.homeFolder);
        if (chosen.empty()) return;
        SetFolderBoxText(chosen);
        RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
}

void SavedFilesPanel::EdtPicPathKeyDown() {
    try {
        s_.state.SaveFolder = CommitSaveFolder();
        if (!s_.state.SaveFolder.empty()) {
            RefreshSavedList();
        } else {
            s_.dialogs.ShowMessage(strEnterFolder);
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void SavedFilesPanel::EdtPicPathExit() {
    if (leaving_) return;
    leaving_ = true;
    try {
        s_.state.SaveFolder = CommitSaveFolder();
        if (!s_.state.SaveFolder.empty()) {
            RefreshSavedList();
        } else {
            SetFolderBoxText(s_.homeFolder);
            s_.dialogs.ShowMessage(strEnterFolder);
            FocusFolderBox();
        }
    } catch (...) {
        NoteSwallowed();
    }
    leaving_ = false;
}

void SavedFilesPanel::DeleteSelectedFiles() {
    try {
        const std::string folderText = FolderBoxText();
        std::vector<std::string> selected;
        for (int row = 0; row < BitmapListBox->count(); ++row) {
            if (BitmapListBox->item(row)->isSelected() &&
                static_cast<size_t>(row) < names_.size()) {
                selected.push_back(names_[static_cast<size_t>(row)]);
            }
        }
        if (selected.empty()) {
            s_.dialogs.ShowMessage(strSelectFiles);
            BitmapListBox->setFocus();
            return;
        }
        const DeleteReport report =
            DeleteSavedFiles(folderText, selected, &MoveToTrash, &RemoveForGood);
        const std::string hint = DeleteReportHint(report);
        if (!hint.empty()) s_.hints.ShowHint(hint);
        RefreshSavedList();
    } catch (...) {
        NoteSwallowed();
    }
}

}  // namespace nuv

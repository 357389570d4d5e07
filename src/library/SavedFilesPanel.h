#pragma once

#include <string>
#include <vector>

#include <QObject>

#include "common/Dialogs.h"
#include "common/Shell.h"
#include "common/WindowPorts.h"
#include "common/WindowState.h"

class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QScrollArea;
class QToolButton;
class QWidget;

namespace nuv {

// What the panel is built with; everything outlives the panel.
struct SavedFilesServices {
    IHintBar& hints;          // LblHint
    IAddressBox& addressBox;  // its drop-down is hidden when the list is clicked
    // SaveFolder, CurPicName and PicIndex, lent by the main window; the panel is the one
    // that writes SaveFolder.
    WindowState& state;
    IDialogs& dialogs;
    IShell& shell;
    std::string homeFolder;  // the user's home folder, ending in "/"
};

// The saved-files column of the main window: the save-folder bar PnlPath, the list of
// the files in the save folder BitmapListBox with its popup menu PmSavedRES, and the
// picture preview PnlImgPreview. The panel builds these parts; the main window places
// them (PathBar at the top, ListPart and PreviewPanel in the left column). The parts and
// the panel are children of `window`, which owns them. Runs on the user-interface thread.
class SavedFilesPanel : public QObject, public ISaveFolder, public ISavedList {
    Q_OBJECT
public:
    SavedFilesPanel(SavedFilesServices services, QWidget* window);

    // The parts to place.
    QGroupBox* PathBar() const { return PnlPath; }
    QWidget* ListPart() const { return ScrollBox1; }  // Image37 over BitmapListBox
    QWidget* PreviewPanel() const { return PnlImgPreview; }
    // The controls Tab visits, in their order on screen: the path bar's, then the list.
    std::vector<QWidget*> PathBarControls() const;
    QWidget* SavedList() const;

    // The text of EdtPicPath.
    std::string FolderBoxText() const;
    void SetFolderBoxText(const std::string& text);
    // EdtPicPath takes the text the settings read, which becomes the save folder, trimmed.
    void RestoreFolderBox(const std::string& text);
    // The text of EdtPicPath for the settings: the bytes restored while the box still
    // shows them (those that are no UTF-8 included).
    std::string StoredFolderBoxText() const;
    // The folder box and its background get the widths of the window's width.
    void ApplyWindowWidth(int editWidth, int backgroundWidth);
    // Shows PnlPath exactly while CbPath is checked.
    void ShowPathBar(bool shown);
    // The saved file that a refresh makes current.
    const std::string& CurPicName() const { return s_.state.CurPicName; }
    void SetCurPicName(const std::string& name) { s_.state.CurPicName = name; }
    // The names the list shows, in list order.
    const std::vector<std::string>& Entries() const { return names_; }

    // Normalises EdtPicPath, writes it back and creates the folder; returns the folder, or
    // "" (with strInvalidFolderName in the hint bar) when it cannot be used.
    std::string CommitSaveFolder();
    // ISaveFolder: the save folder, ending in "/".
    std::string SaveFolder() const override { return s_.state.SaveFolder; }
    // ISavedList: commits the folder into SaveFolder and lists its files; the entry named
    // like CurPicName becomes current.
    void RefreshSavedList() override;
    void SaveFolderUnusable() override;
    // Shows the picture `path` in `image` with the loader its extension takes; a file that
    // is no picture goes to the desktop. True when a picture was loaded.
    bool LoadPreviewPicture(QLabel* image, const std::string& path);
    // Moves the selected files to the trash (deletes them for good where there is none)
    // and rebuilds the list.
    void DeleteSelectedFiles();

    // The handlers of the parts.
    void BitmapListBoxClick();
    void BitmapListBoxDblClick();
    void BtnOpenDirClick();
    void BtnSelectPathClick();
    void EdtPicPathKeyDown();  // the Enter key
    void EdtPicPathExit();
    void N3Click() { DeleteSelectedFiles(); }

signals:
    // The pointer went onto EdtPicPath (true) or left it.
    void FolderBoxHovered(bool over);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    // The file of the list's current entry, or "" when there is none.
    std::string CurrentFile() const;
    void FocusFolderBox();

    SavedFilesServices s_;
    std::vector<std::string> names_;  // the bytes of each entry's name, by row
    std::string previewFile_;         // the file ImgPreview shows, "" when it shows none
    std::string restoredFolderBox_;   // the bytes RestoreFolderBox put into EdtPicPath
    QWidget* window_;
    bool leaving_ = false;

    // Components, named as the window's design names them.
    QGroupBox* PnlPath{};
    QToolButton* BtnOpenDir{};
    QToolButton* BtnSelectPath{};
    QLabel* ImgTopBG{};
    QLineEdit* EdtPicPath{};
    QWidget* ScrollBox1{};
    QLabel* Image37{};
    QListWidget* BitmapListBox{};
    QMenu* PmSavedRES{};
    QWidget* PnlImgPreview{};
    QLabel* Image32{};
    QScrollArea* ScrollBox2{};
    QLabel* ImgPreview{};
};

}  // namespace nuv

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
    WindowState& state;  // SaveFolder, CurPicName and PicIndex, lent by the main window
    IDialogs& dialogs;
    IShell& shell;
    std::string homeFolder;  // the user's home folder, ending in "/"
};

// The saved-files column of the main window: the save-folder bar PnlPath, the list of
// the files in the save folder BitmapListBox with its popup menu PmSavedRES, and the
// picture preview PnlImgPreview. The panel builds these parts; the main window places
// them (PathBar at the top, ListPart and PreviewPanel in the left column). The parts and
// the panel are children of `window`, which owns them. Runs on the user-interface thread.
class SavedFilesPanel : public QObject {
    Q_OBJECT
public:
    SavedFilesPanel(SavedFilesServices services, QWidget* window);

    // The parts to place.
    QGroupBox* PathBar() const { return PnlPath; }
    QWidget* ListPart() const { return ScrollBox1; }  // Image37 over BitmapListBox
    QWidget* PreviewPanel() const { return PnlImgPreview; }
    QLineEdit* FolderBox() const { return EdtPicPath; }
    QLabel* FolderBoxBackground() const { return ImgTopBG; }
    // The controls Tab visits, in their order on screen: the path bar's, then the list.
    std::vector<QWidget*> PathBarControls() const;
    QWidget* SavedList() const;

    // The text of EdtPicPath, as the settings read and restore it.
    std::string FolderBoxText() const;
    void SetFolderBoxText(const std::string& text);
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
    // Commits the folder into SaveFolder and lists its files; the entry named like
    // CurPicName becomes current.
    void RefreshSavedList();
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

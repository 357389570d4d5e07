#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "app/logic/TypedAddresses.h"
#include "common/Dialogs.h"
#include "common/WindowPorts.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace nuv {

// What the address bar is built with; everything outlives the bar.
struct AddressBarServices {
    IDialogs& dialogs;
    // Takes the page browser to an address the box made openable (as the browser's own
    // address text) and shows its page.
    std::function<void(const std::string& address)> open;
    // Where the history under the box is read from; its recent-addresses file also takes
    // every address opened.
    std::function<TypedAddressSources()> history;
};

// The address bar `SbPicName`: the address box `EdtURL` on its rounded background, the
// open button and the folder-bar check box on `Panel2` at the right end, and the
// address-history drop-down `PnlBrowserPages`, which floats over `overlayParent`. Enter
// opens the typed address; any change of the box's text, the program's own included,
// opens the history, which Down enters and a key or a click in it opens.
class AddressBar : public QWidget, public IAddressBox {
    Q_OBJECT
public:
    AddressBar(AddressBarServices services, QWidget* parent, QWidget* overlayParent);

    // Opens the address of EdtURL; a text that is no web address is refused with a message.
    void OpenTypedAddress() override;
    // Refills the address history and shows it under the address box.
    void ShowAddressHistory();
    // Copies the selected history entry (the first when none is) into EdtURL and opens it.
    void OpenSelectedHistoryEntry();

    // IAddressBox
    std::string AddressBoxText() override;
    void HideAddressDropDown() override;

    // EdtURL takes the text the settings read.
    void RestoreText(const std::string& text);
    // The text of EdtURL for the settings: the bytes restored while the box still shows
    // them (those that are no UTF-8 included).
    std::string StoredText() const;
    // Whether CbPath is checked; the program's own change of it signals nothing.
    bool PathBarChecked() const;
    void SetPathBarChecked(bool checked);
    // The open button's glyph from the resources.
    void LoadGlyph();
    // The controls Tab visits, in order.
    std::vector<QWidget*> TabStops() const;
    // The address box and its background get the widths of the window's width.
    void ApplyWindowWidth(int editWidth, int backgroundWidth);
    // Red while the pointer is over an edit box of the window, white otherwise.
    void SetHot(bool hot);

signals:
    // The user clicked CbPath.
    void PathBarClicked(bool checked);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool EdtURLKeyDown(int key);
    bool BrowserListKeyDown(int key);
    void BrowserListMouseDown(const QPoint& pos);

    AddressBarServices s_;
    std::string restored_;  // the bytes RestoreText put into EdtURL

    QLabel* Label1{};
    QLabel* ImgURL{};
    QLineEdit* EdtURL{};
    QWidget* Panel2{};
    QToolButton* BtnOpenWebpage{};
    QCheckBox* CbPath{};
    QFrame* PnlBrowserPages{};
    QListWidget* BrowserList{};
};

}  // namespace nuv

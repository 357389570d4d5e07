#pragma once

#include <string>
#include <vector>

#include "web/Browser.h"

namespace nuv {

// Pages of the main window's page control.
enum class MainPage { TabSheet1 = 0, TSOutput = 1, TbSource = 2 };

// What an extraction needs of the main window. Implemented by the window, faked in
// tests. Every call runs on the user-interface thread.
class IExtractionView {
public:
    virtual ~IExtractionView() = default;

    virtual std::string AddressBoxText() = 0;              // EdtURL
    virtual void HideAddressDropDown() = 0;                // PnlBrowserPages
    virtual int SelectedDocType() = 0;                     // LBDocType's index
    virtual void ShowMessage(const std::string& text) = 0; // modal message box

    virtual void SetMemoText(const std::string& text) = 0;  // MmMessage

    // ProgressBar1 (minimum 0, step 10).
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void StepProgress() = 0;

    virtual bool IsTabVisible(MainPage page) = 0;
    virtual void SetTabVisible(MainPage page, bool visible) = 0;
    virtual void SetPageCaption(MainPage page, const std::string& caption) = 0;
    virtual void SetActivePage(MainPage page) = 0;

    // Creates the result window inside TSOutput on first use, sets its image mode, and
    // returns its browser.
    virtual IBrowser& ResultWindow(bool imageMode) = 0;
    // The lines of a text resource of the program ("page1"), empty when missing.
    virtual std::vector<std::string> TextResource(const std::string& name) = 0;
    // Re-reads the save folder into the saved-resources list.
    virtual void RefreshSavedList() = 0;
};

}  // namespace nuv

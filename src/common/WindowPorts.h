#pragma once

#include <string>

// The small parts of the main window that the rules outside it use, each on its own so
// that a user without a window implements only what it has. Every call runs on the
// user-interface thread.
namespace nuv {

// ProgressBar1 (minimum 0, step 10).
class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Advances the bar by its step; past the maximum it starts over (StepPosition).
    virtual void StepProgress() = 0;
};

// The hint text LblHint.
class IHintBar {
public:
    virtual ~IHintBar() = default;
    virtual void ShowHint(const std::string& text) = 0;
};

// The folder that downloads go into.
class ISaveFolder {
public:
    virtual ~ISaveFolder() = default;
    // The save folder, ending in "/".
    virtual std::string SaveFolder() const = 0;
};

// The saved-resources list under the save-folder box.
class ISavedList {
public:
    virtual ~ISavedList() = default;
    // Commits the save-folder box into the save folder and re-reads the folder's files.
    virtual void RefreshSavedList() = 0;
    // The save folder could not be used: "非法的路径" goes into the hint bar and the
    // save-folder box falls back to the user's home folder.
    virtual void SaveFolderUnusable() = 0;
};

// The address box EdtURL with its history drop-down PnlBrowserPages.
class IAddressBox {
public:
    virtual ~IAddressBox() = default;
    virtual std::string AddressBoxText() = 0;
    virtual void HideAddressDropDown() = 0;
    // Opens the typed text as Enter in the box does: completed, written back, remembered.
    virtual void OpenTypedAddress() = 0;
};

}  // namespace nuv

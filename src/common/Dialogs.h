#pragma once

#include <optional>
#include <string>
#include <string_view>

// Modal dialogs behind an interface, so that the rules that use them can be tested
// without a display and a test can read a message instead of blocking on it.
namespace nuv {

// A point on the screen, in pixels from its top left corner.
struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// The Qt layer implements it with the real dialogs; every call is modal and runs on
// the UI thread. Further kinds of dialog are added here as the windows need them.
class IDialogs {
public:
    virtual ~IDialogs() = default;

    // Shows the folder dialog with `title` as its caption and, when `preselection` is
    // not empty, that folder selected. Returns the chosen folder, or "" when the user
    // cancelled.
    virtual std::string BrowseForFolder(const std::string& title, const std::string& preselection) = 0;

    // Shows `text` in a message box with an OK button: with its top left corner at `at`
    // when given, else where the toolkit places it (over its owner).
    virtual void ShowMessage(const std::string& text, std::optional<ScreenPoint> at = std::nullopt) = 0;
};

// The folder picker of the windows. The caption is `folder` when it names an existing
// directory, else `homeFolder` (the user's home folder ending in "/"); nothing is
// preselected. Returns the chosen folder, or "" when the user cancelled or the dialog
// failed; callers then keep their folder.
std::string SelectFolder(IDialogs& dialogs, std::string_view folder, std::string_view homeFolder);

}  // namespace nuv

#pragma once

#include "common/Dialogs.h"
#include "common/Shell.h"

class QWidget;

namespace nuv {

// The desktop opener over QDesktopServices and QProcess.
class QtShell : public IShell {
public:
    bool Open(const std::string& target) override;
    bool StartProgram(const std::string& program) override;
};

// Modal dialogs over QMessageBox and QFileDialog, owned by `owner`.
class QtDialogs : public IDialogs {
public:
    explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::string BrowseForFolder(const std::string& title, const std::string& preselection) override;
    void ShowMessage(const std::string& text, std::optional<ScreenPoint> at = std::nullopt) override;

private:
    QWidget* owner_;
};

}  // namespace nuv

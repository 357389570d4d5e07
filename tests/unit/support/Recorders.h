#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Dialogs.h"
#include "common/Shell.h"

namespace nuv::test {

// Answers the folder dialog with a fixed choice and records every dialog instead of
// blocking on it.
class RecordingDialogs : public IDialogs {
public:
    std::string BrowseForFolder(const std::string& title, const std::string& preselection) override {
        titles.push_back(title);
        preselections.push_back(preselection);
        if (fail) throw std::runtime_error("no display");
        return answer;
    }
    void ShowMessage(const std::string& text, std::optional<ScreenPoint> at = std::nullopt) override {
        messages.push_back(text);
        positions.push_back(at);
    }

    std::string answer;  // the folder "chosen"; "" is a cancel
    bool fail = false;
    std::vector<std::string> titles;
    std::vector<std::string> preselections;
    std::vector<std::string> messages;
    std::vector<std::optional<ScreenPoint>> positions;  // where each message was placed
};

// Records what would be handed to the desktop.
class RecordingShell : public IShell {
public:
    bool Open(const std::string& target) override {
        opened.push_back(target);
        if (fail) throw std::runtime_error("desktop unavailable");
        return true;
    }
    bool StartProgram(const std::string& program) override {
        started.push_back(program);
        return true;
    }

    std::vector<std::string> opened;
    std::vector<std::string> started;
    bool fail = false;
};

}  // namespace nuv::test

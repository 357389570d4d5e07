#pragma once

#include <string>

namespace nuv {

// The main-window state that fetching into the save folder reads and writes.
class ISaveFolderHost {
public:
    virtual ~ISaveFolderHost() = default;
    // The save folder, ending in "/".
    virtual std::string SaveFolder() const = 0;
    // Writes a text into the hint bar.
    virtual void ShowHint(const std::string& text) = 0;
    // Replaces the text of the save-folder box.
    virtual void SetSaveFolderBoxText(const std::string& text) = 0;
};

}  // namespace nuv

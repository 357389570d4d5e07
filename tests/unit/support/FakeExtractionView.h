#pragma once

#include <map>
#include <string>
#include <vector>

#include "extract/ExtractionView.h"
#include "support/FakeBrowser.h"
#include "web/SaveFolderHost.h"

namespace nuv::test {

// Records what an extraction does to the main window.
class FakeExtractionView : public IExtractionView, public ISaveFolderHost {
public:
    std::string AddressBoxText() override { return addressBox; }
    void HideAddressDropDown() override { ++dropDownHidden; }
    int SelectedDocType() override { return docType; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetMemoText(const std::string& text) override { memo = text; }
    void SetProgressMaximum(int maximum) override { progressMax = maximum; }
    void SetProgressPosition(int position) override { progress = position; }
    void StepProgress() override {
        progress += 10;
        ++steps;
    }
    bool IsTabVisible(MainPage page) override { return visible[static_cast<int>(page)]; }
    void SetTabVisible(MainPage page, bool v) override { visible[static_cast<int>(page)] = v; }
    void SetPageCaption(MainPage page, const std::string& caption) override {
        captions[static_cast<int>(page)] = caption;
    }
    void SetActivePage(MainPage page) override { activePage = page; }
    IBrowser& ResultWindow(bool imageMode) override {
        ++resultWindowCalls;
        this->imageMode = imageMode;
        return result;
    }
    std::vector<std::string> TextResource(const std::string& name) override {
        return name == "page1" ? page1 : std::vector<std::string>{};
    }
    void RefreshSavedList() override { ++savedListRefreshes; }

    std::string SaveFolder() const override { return saveFolder; }
    void ShowHint(const std::string& text) override { hints.push_back(text); }
    void SetSaveFolderBoxText(const std::string& text) override { saveFolderBox = text; }

    std::string addressBox;
    int docType = 0;
    int dropDownHidden = 0;
    std::vector<std::string> messages;
    std::string memo = "old";
    int progressMax = 100, progress = 0, steps = 0;
    bool visible[3] = {true, false, false};
    std::string captions[3] = {"当前网页", "图片动画", "文本源码"};
    MainPage activePage = MainPage::TabSheet1;
    FakeBrowser result;
    int resultWindowCalls = 0;
    bool imageMode = false;
    std::vector<std::string> page1 = {"<html> <style>", "</style>", "<body><table>"};
    int savedListRefreshes = 0;
    std::string saveFolder = "/tmp/";
    std::vector<std::string> hints;
    std::string saveFolderBox;
};

}  // namespace nuv::test

#pragma once

#include <string>
#include <vector>

#include "app/logic/ExtractionPresenter.h"
#include "extract/ExtractionServices.h"
#include "support/FakeBrowser.h"
#include "support/Recorders.h"

namespace nuv::test {

// ProgressBar1 with step 10, without the wrap.
class FakeProgressBar : public IProgressBar {
public:
    void SetProgressMaximum(int m) override { maximum = m; }
    void SetProgressPosition(int p) override { position = p; }
    void StepProgress() override {
        position += 10;
        ++steps;
    }
    int maximum = 100, position = 0, steps = 0;
};

class FakeSaveFolder : public ISaveFolder {
public:
    std::string SaveFolder() const override { return folder; }
    std::string folder = "/tmp/";
};

class FakeAddressBox : public IAddressBox {
public:
    std::string AddressBoxText() override { return text; }
    void HideAddressDropDown() override { ++dropDownHidden; }
    void OpenTypedAddress() override { opened.push_back(text); }
    std::string text;
    std::vector<std::string> opened;  // the box's text at each OpenTypedAddress
    int dropDownHidden = 0;
};

class FakeMainTabs : public IMainTabs {
public:
    void SetMemoText(const std::string& text) override { memo = text; }
    bool IsTabVisible(MainPage page) override { return visible[static_cast<int>(page)]; }
    void SetTabVisible(MainPage page, bool v) override { visible[static_cast<int>(page)] = v; }
    void SetPageCaption(MainPage page, const std::string& caption) override {
        captions[static_cast<int>(page)] = caption;
    }
    void SetActivePage(MainPage page) override { activePage = page; }
    std::string memo = "old";
    bool visible[3] = {true, false, false};
    std::string captions[3] = {"当前网页", "图片动画", "文本源码"};
    MainPage activePage = MainPage::TabSheet1;
};

class FakeResultSurface : public IResultSurface {
public:
    IBrowser& ResultWindow(bool mode) override {
        ++calls;
        imageMode = mode;
        return browser;
    }
    FakeBrowser browser;
    int calls = 0;
    bool imageMode = false;
};

class FakeSavedList : public ISavedList {
public:
    void RefreshSavedList() override { ++refreshes; }
    void SaveFolderUnusable() override { ++unusable; }
    int refreshes = 0, unusable = 0;
};

// The main window as an extraction sees it.
struct FakeExtractionWindow {
    FakeProgressBar bar;
    FakeSaveFolder saveFolder;
    FakeAddressBox addressBox;
    FakeMainTabs tabs;
    FakeResultSurface result;
    FakeSavedList savedList;
    RecordingDialogs dialogs;
    std::vector<std::string> page1 = {"<html> <style>", "</style>", "<body><table>"};
    ExtractionPresenter presenter{tabs, result, [this] { return page1; }};

    // The services of an extraction over `page`; `withWindow` clear gives the window-less run.
    ExtractionServices Services(IBrowser& page, IDownloader& downloader, IPageFetcher& http,
                                bool withWindow = true) {
        ExtractionServices s{page, downloader, http, saveFolder, bar, [this] { return page1; }};
        if (withWindow) s.window.emplace(ExtractionWindow{addressBox, presenter, savedList, dialogs});
        return s;
    }
};

}  // namespace nuv::test

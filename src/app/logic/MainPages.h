#pragma once

#include <string>

#include "web/Browser.h"

namespace nuv {

// Pages of the main window's page control.
enum class MainPage { TabSheet1 = 0, TSOutput = 1, TbSource = 2 };

// The main window's page control with the memo MmMessage on its source page.
class IMainTabs {
public:
    virtual ~IMainTabs() = default;
    virtual void SetMemoText(const std::string& text) = 0;
    virtual bool IsTabVisible(MainPage page) = 0;
    virtual void SetTabVisible(MainPage page, bool visible) = 0;
    virtual void SetPageCaption(MainPage page, const std::string& caption) = 0;
    virtual void SetActivePage(MainPage page) = 0;
};

// The result window inside TSOutput.
class IResultSurface {
public:
    virtual ~IResultSurface() = default;
    // Creates the result window on first use, sets its image mode, and returns its browser.
    virtual IBrowser& ResultWindow(bool imageMode) = 0;
};

}  // namespace nuv

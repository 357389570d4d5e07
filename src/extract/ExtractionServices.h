#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Dialogs.h"
#include "common/WindowPorts.h"
#include "extract/ExtractionPresenter.h"
#include "web/Browser.h"
#include "web/Downloader.h"
#include "web/PageFetcher.h"

namespace nuv {

// The parts of the main window that an extraction shows its work in.
struct ExtractionWindow {
    IAddressBox& addressBox;         // the typed address when no page is open
    ExtractionPresenter& presenter;  // the memo, the result window and the tabs
    ISavedList& savedList;           // refreshed after style sheets are saved
    IDialogs& dialogs;               // the message boxes
};

// The collaborators an extraction works with; all outlive the Extraction.
struct ExtractionServices {
    IBrowser& mainBrowser;  // WebBrowser1 of the main window
    IDownloader& downloader;
    IPageFetcher& http;  // IdHTTP1
    ISaveFolder& saveFolder;  // where style sheets are fetched into
    IProgressBar& progress;
    // The lines of the page head template of the result pages (the text resource "page1").
    std::function<std::vector<std::string>()> resultPageHead;
    // Without a window the extraction skips the steps that show its work there; the
    // value it returns is the same.
    std::optional<ExtractionWindow> window = std::nullopt;
};

}  // namespace nuv

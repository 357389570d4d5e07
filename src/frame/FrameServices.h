#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/Dialogs.h"
#include "common/Shell.h"
#include "frame/logic/UpdateSignature.h"
#include "web/Downloader.h"

namespace nuv {

// What the brand panel and the windows it opens are built with. The dialogs and the
// shell outlive them.
struct FrameServices {
    IDialogs& dialogs;
    IShell& shell;
    std::string programFolder;  // the executable's folder, ending in "/"
    std::string programPath;    // the executable itself; its name goes into "update.txt"
    std::string updateAddress;  // the maker's update page
    // Makes the downloader of the updater, which follows a redirect only to an address
    // `mayRedirectTo` accepts (it runs on the downloading thread). Each download gets a new
    // one, used only by the worker thread that runs it.
    std::function<std::unique_ptr<IDownloader>(std::function<bool(const std::string&)> mayRedirectTo)>
        makeUpdateDownloader;
    // Ends the program through the main window's normal shutdown.
    std::function<void()> closeProgram;
    // The host a genuine update page and the updater come from, over https.
    std::string makerHost;
    // The key whose signature an updater must carry before it replaces the older one.
    UpdateKey updateKey;
    // Certificates (PEM) that the update page's server may present besides those the
    // system's authorities vouch for; "" for none.
    std::string extraTrustedCertificates;
};

}  // namespace nuv

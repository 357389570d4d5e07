#pragma once

#include <functional>
#include <string>
#include <vector>

#include "web/Browser.h"

namespace nuv::testing_support {

// A browser that shows one fixed page source. The page address comes from `address`,
// asked anew on every read, so a test can see how often and when it is read.
class SourceOnlyBrowser : public IBrowser {
public:
    std::string source;
    bool sourceFails = false;
    std::function<std::string()> address = [] { return std::string("http://site.example/dir/page.htm"); };
    int addressReads = 0;

    void Navigate(const std::string&) override {}
    std::string LocationURL() override {
        ++addressReads;
        return address();
    }
    int ReadyState() override { return 4; }
    bool ProcessEvents() override { return true; }
    bool HasDocument() override { return !sourceFails; }
    void LoadDocumentFromMemory(const std::string&) override {}
    std::string DocumentTitle() override { return {}; }
    std::string BodyInnerText() override { return {}; }
    std::string TopElementOuterHtml() override {
        if (sourceFails) throw BrowserError("no document");
        return source;
    }
    FrameDocument DocumentTree() override { return {}; }
    std::vector<std::string> DocumentLinks() override { return {}; }
    std::vector<ShownPicture> ShownPictures() override { return {}; }
};

}  // namespace nuv::testing_support

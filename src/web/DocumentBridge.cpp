#include "web/DocumentBridge.h"

#include "common/Guard.h"
#include "common/Text.h"

namespace nuv {

void LoadHtml(IBrowser& browser, const std::string& html, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (browser.ReadyState() < ready_state::kInteractive) {
        if (!browser.ProcessEvents()) throw BrowserError("the program quits");
        if (std::chrono::steady_clock::now() >= deadline) throw BrowserError("the browser did not get ready");
    }
    if (!browser.HasDocument()) return;
    browser.LoadDocumentFromMemory(JoinLinesCrLf(SplitLines(html)));
}

std::string GetPageAddress(IBrowser& browser) {
    try {
        return browser.LocationURL();
    } catch (...) {
        NoteSwallowed();
        return {};
    }
}

std::string GetPageText(IBrowser& browser, std::string* failure) {
    try {
        std::string title = browser.DocumentTitle();
        return title + browser.BodyInnerText();
    } catch (...) {
        NoteSwallowed();
        if (failure) *failure = WhyOfCurrentFailure();
        return {};
    }
}

std::string GetPageSource(IBrowser& browser, std::string* failure) {
    try {
        return browser.TopElementOuterHtml();
    } catch (...) {
        NoteSwallowed();
        if (failure) *failure = WhyOfCurrentFailure();
        return {};
    }
}

bool ForEachFrameDocument(const FrameDocument* document, const DocumentVisitor& visitor,
                          void* context) {
    if (document == nullptr) return true;
    if (!visitor(*document, context)) return false;
    for (const FrameDocument& frame : document->frames) {
        if (frame.failed) throw BrowserError("frame document cannot be read");
        if (!ForEachFrameDocument(&frame, visitor, context)) return false;
    }
    return true;
}

void ListFrameAddresses(IBrowser& browser, std::vector<std::string>& list) {
    list.clear();
    const FrameDocument top = browser.DocumentTree();
    ForEachFrameDocument(
        &top,
        [](const FrameDocument& doc, void* ctx) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(doc.url);
            return true;
        },
        &list);
    list.erase(list.begin());
}

}  // namespace nuv

#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "web/Browser.h"

namespace nuv::test {

// A browser whose document is set by the test. Unset parts raise BrowserError as a
// browser without that part of a document would.
class FakeBrowser : public IBrowser {
public:
    void Navigate(const std::string& address) override {
        navigations.push_back(address);
        if (navigateLoads) {
            location = address;
            hasDocument = true;
        }
    }
    std::string LocationURL() override {
        ++locationReads;
        if (failLocation) throw BrowserError("location");
        return address ? address() : location;
    }
    int ReadyState() override { return readyStates.empty() ? ready_state::kComplete : Pop(); }
    bool ProcessEvents() override {
        ++eventsProcessed;
        if (onProcessEvents) onProcessEvents();
        return !closed;
    }
    bool HasDocument() override { return hasDocument; }
    void LoadDocumentFromMemory(const std::string& html) override {
        if (rejectLoads) throw BrowserError("cannot load from memory");
        loaded.push_back(html);
    }
    std::string DocumentTitle() override { return Need(title); }
    std::string BodyInnerText() override { return Need(bodyText); }
    std::string TopElementOuterHtml() override { return Need(source); }
    FrameDocument DocumentTree() override {
        if (!tree) throw BrowserError("no document");
        return *tree;
    }
    // Both read up to `limit` and count the rest, as a browser does.
    DocumentLinkList DocumentLinks(size_t limit) override {
        if (!links) throw BrowserError("no document");
        DocumentLinkList read{*links, 0};
        read.cut = Cut(read.links, limit);
        return read;
    }
    ShownPictureList ShownPictures(size_t limit) override {
        ++shownReads;
        if (!shown) throw BrowserError("no document");
        ShownPictureList read{*shown, shownDocumentsCut, shownPicturesCut};
        read.picturesCut += Cut(read.pictures, limit);
        return read;
    }

    std::string location;
    std::function<std::string()> address;  // when set, asked anew for every read instead of `location`
    int locationReads = 0;
    bool failLocation = false;
    bool hasDocument = true;
    bool rejectLoads = false;
    bool navigateLoads = false;
    bool closed = false;  // the program quits: waits on this browser end
    std::vector<int> readyStates;  // answered in order, then ready_state::kComplete
    int eventsProcessed = 0;
    std::function<void()> onProcessEvents;  // what the user does while the browser waits
    std::optional<std::string> title, bodyText, source;
    std::optional<FrameDocument> tree;
    std::optional<std::vector<std::string>> links;
    std::optional<std::vector<ShownPicture>> shown;
    size_t shownDocumentsCut = 0, shownPicturesCut = 0;  // what the browser's own bounds cut
    int shownReads = 0;
    std::vector<std::string> navigations;
    std::vector<std::string> loaded;

private:
    int Pop() {
        const int s = readyStates.front();
        readyStates.erase(readyStates.begin());
        return s;
    }
    template <typename T>
    static size_t Cut(std::vector<T>& items, size_t limit) {
        if (items.size() <= limit) return 0;
        const size_t cut = items.size() - limit;
        items.resize(limit);
        return cut;
    }
    static std::string Need(const std::optional<std::string>& v) {
        if (!v) throw BrowserError("missing");
        return *v;
    }
};

}  // namespace nuv::test

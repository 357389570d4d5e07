#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "web/Browser.h"
#include "web/SheetCache.h"
#include "web/StaticDocument.h"

// The page read without a browser: fetched, decoded and parsed as a browser does, for
// pages whose document needs no script. Plain C++.
namespace nuv {

// What a fetch of a page brought: the address that answered (after redirects), its
// Content-Type and its body.
struct FetchedPage {
    std::string address;
    std::string contentType;
    std::string body;
};

// A fetch the server answered with a status of failure (404, 500, ...); `answer` is what
// the transport said of it.
class PageStatusError : public BrowserError {
public:
    explicit PageStatusError(int status, std::string answer = {})
        : BrowserError("the server answered with HTTP status " + std::to_string(status)),
          status_(status),
          answer_(std::move(answer)) {}
    int Status() const { return status_; }
    const std::string& Answer() const { return answer_; }

private:
    int status_;
    std::string answer_;
};

// Fetches a page (the top page, or a frame's page for the page `parent`); throws (any
// std::exception, PageStatusError for a status of failure) when it cannot.
using PageFetch = std::function<FetchedPage(const std::string& address, const std::string& parent)>;

// The absolute address of `reference` in a document at `base`, as a browser's URL parser
// gives it (white space and controls trimmed, tabs and line breaks dropped, "\" as "/" in
// web addresses, bytes beyond ASCII and the characters addresses may not hold
// percent-encoded, the host in lower case and in punycode, a scheme's usual port left
// out); nothing when it is no address.
std::optional<std::string> ResolveHref(const std::string& base, const std::string& reference);

// The most frames of a page that are read, nested ones included.
inline constexpr size_t kMostStaticFrames = 64;
// The most pictures of one document that are listed, as a browser's reading bounds them.
inline constexpr size_t kShownPicturesOfADocument = 20000;

class StaticBrowser : public IBrowser {
public:
    // With `whole`, the page and its frames are read to the end even once they need a
    // browser (--engine static); else the reading stops there. With `pictures`, the
    // pictures each document shows are read too (their style sheets fetched for it, or
    // taken from `sheets` where a page before fetched them).
    explicit StaticBrowser(PageFetch fetch, bool whole = false, bool pictures = false, SheetCache* sheets = nullptr);
    ~StaticBrowser() override;

    // Fetches and reads the page and its frames before it returns.
    void Navigate(const std::string& address) override;
    std::string LocationURL() override { return location_; }
    int ReadyState() override { return ready_; }
    bool ProcessEvents() override { return true; }
    bool HasDocument() override { return document_ != nullptr; }
    void LoadDocumentFromMemory(const std::string& html) override;
    // The readable text depends on the style sheets: only a browser gives it.
    std::string DocumentTitle() override;
    std::string BodyInnerText() override;
    std::string TopElementOuterHtml() override;
    FrameDocument DocumentTree() override;
    DocumentLinkList DocumentLinks(size_t limit) override;
    // The pictures the page and its frames show, as their documents and style sheets give
    // them; none unless the browser was made to read them.
    ShownPictureList ShownPictures(size_t limit) override;

    // Why the page failed to load; "" when it loaded.
    const std::string& LoadFailure() const { return failure_; }
    // Why the page needs a browser to be the same document (a script, a refresh, a frame
    // this reading cannot give, an answer that is not HTML, an undeclared encoding that
    // is not UTF-8...); "" when it does not.
    const std::string& NeedsBrowser() const { return needsBrowser_; }

private:
    FrameDocument ReadFrames(const StaticDocument& document, const std::string& url, int depth);
    std::string Decode(const FetchedPage& page);
    void Need(const std::string& why);

    PageFetch fetch_;
    bool whole_;
    bool pictures_;
    SheetCache* sheets_;
    std::vector<DocumentPictures> shown_;  // of each document read, top first, frames depth-first
    std::string location_;
    std::string base_;  // the document's base address
    int ready_ = ready_state::kUninitialised;
    std::unique_ptr<StaticDocument> document_;
    FrameDocument tree_;
    size_t framesRead_ = 0;
    std::string failure_;
    std::string needsBrowser_;
};

// Whether a Content-Type names an HTML document ("" counts: a browser sniffs it as one).
bool IsHtmlContentType(std::string_view contentType);

}  // namespace nuv

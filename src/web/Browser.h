#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace nuv {

// Raised by a browser when a document read or load cannot be done.
class BrowserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One document of a page and the documents of its frames, in document order.
// `failed` marks a frame whose document could not be read: a walk that reaches it
// raises BrowserError.
struct FrameDocument {
    std::string url;
    std::vector<FrameDocument> frames;
    bool failed = false;
};

// A picture that a document of the page uses, read from its DOM: the absolute address,
// the natural size in pixels once the page has decoded it (0 while it has not), and the
// type the page declares for it ("image/avif" of a <source type>), "" when it declares none.
struct ShownPicture {
    std::string address;
    int width = 0;
    int height = 0;
    std::string declaredType = {};
};

// The pictures of one read of a page, within its bounds, and what the bounds left out.
struct ShownPictureList {
    std::vector<ShownPicture> pictures;
    size_t documentsCut = 0;  // frames neither read nor asked for theirs
    size_t picturesCut = 0;   // pictures beyond a document's bound or the read's
};

// The links of one read of a document, within its bound, and how many followed them.
struct DocumentLinkList {
    std::vector<std::string> links;
    size_t cut = 0;
};

// The states a browser reports for its document, in order (IBrowser::ReadyState).
namespace ready_state {
inline constexpr int kUninitialised = 0;
inline constexpr int kLoading = 1;
inline constexpr int kLoaded = 2;
inline constexpr int kInteractive = 3;  // the document can take content
inline constexpr int kComplete = 4;
}  // namespace ready_state

// What the program needs of an embedded browser control. Every call runs on the
// user-interface thread; implementations that wait for the engine re-enter the
// event loop. Strings are UTF-8.
class IBrowser {
public:
    virtual ~IBrowser() = default;

    // Starts loading `address` and returns at once.
    virtual void Navigate(const std::string& address) = 0;
    // The address of the page shown; "" while nothing has been loaded.
    virtual std::string LocationURL() = 0;
    // One of ready_state: kUninitialised .. kComplete.
    virtual int ReadyState() = 0;
    // Lets the application process pending events (used while waiting for ReadyState).
    // Returns false once the wait must end: the browser was closed or the program quits.
    virtual bool ProcessEvents() = 0;
    // True while the browser holds a document.
    virtual bool HasDocument() = 0;
    // Replaces the document's content with `html`, passed from memory without a
    // navigation to a file or data address. Throws BrowserError when it cannot.
    virtual void LoadDocumentFromMemory(const std::string& html) = 0;
    // The document's title and the readable text of its body. Throw BrowserError when
    // there is no document or no body.
    virtual std::string DocumentTitle() = 0;
    virtual std::string BodyInnerText() = 0;
    // The markup of the document's top element as the DOM serialises it.
    virtual std::string TopElementOuterHtml() = 0;
    // The top document with its frames, nested frames included. Throws BrowserError when
    // there is no document.
    virtual FrameDocument DocumentTree() = 0;
    // The absolute address of the first `limit` links of the document (fewer when their
    // addresses together are very long), in document order, and how many links follow.
    virtual DocumentLinkList DocumentLinks(size_t limit) = 0;
    // The pictures that the rendered page and each of its frames (nested and of other
    // sites) use: the top document's first, then the frames' depth-first, each document's
    // in document order, each address once a document; at most `limit` in all, and within
    // the bounds a browser sets on the documents it reads and their pictures, which it
    // counts in the answer. Throws BrowserError when there is no document.
    virtual ShownPictureList ShownPictures(size_t limit) = 0;
};

}  // namespace nuv

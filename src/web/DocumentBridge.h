#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "web/Browser.h"

// The one place where the program reads or replaces the document of a browser.
// Runs on the user-interface thread; LoadHtml re-enters the event loop while it waits.
namespace nuv {

// Waits until the browser can take content, then replaces its document with `html`,
// its lines re-joined with CR LF after each. Does nothing when the browser holds no
// document; a browser that cannot load from memory raises BrowserError. The wait ends
// with BrowserError after `limit`, or as soon as the browser says the program quits.
void LoadHtml(IBrowser& browser, const std::string& html,
              std::chrono::milliseconds limit = std::chrono::seconds(30));

// The page's address, or "" on any failure.
std::string GetPageAddress(IBrowser& browser);

// The document's title immediately followed by its body text, or "" on any failure;
// then `failure`, when given, says why (never "").
std::string GetPageText(IBrowser& browser, std::string* failure = nullptr);

// The markup of the document's top element, or "" on any failure (as above).
std::string GetPageSource(IBrowser& browser, std::string* failure = nullptr);

// Visits `document` and then the documents of its frames, depth-first, pre-order.
// Returns false as soon as the visitor does, true when the walk ran to its end. A frame
// whose document cannot be read raises BrowserError.
using DocumentVisitor = std::function<bool(const FrameDocument& document, void* context)>;
bool ForEachFrameDocument(const FrameDocument* document, const DocumentVisitor& visitor,
                          void* context);

// Fills `list` with the addresses of every frame document of the page, in walk order.
// Raises BrowserError when there is no document (the list is then empty) or when the walk
// fails part-way (the list keeps what was gathered, the top document's address first).
void ListFrameAddresses(IBrowser& browser, std::vector<std::string>& list);

}  // namespace nuv

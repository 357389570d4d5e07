#pragma once

#include <QString>

// Every script that reads a page. They run in the application world, so the page's
// own scripts cannot replace what they call, and return plain values or JSON.
namespace nuv::scripts {

// Installed into every frame at document creation: a frame reports its address to the
// top window together with its path of frame indexes; the top window keeps the reports.
QString FrameReporter();
// The markup of the top element, or null when the document has no body.
QString TopElementOuterHtml();
// The document's title, or null when there is no document.
QString DocumentTitle();
// The body's readable text, or null when there is no body.
QString BodyInnerText();
// JSON of the frame tree: {"url": ..., "frames": [...]}, depth-first in document order.
QString FrameTree();
// JSON array of the absolute href of every link of the document, in document order.
QString DocumentLinks();

}  // namespace nuv::scripts

#pragma once

#include <QString>
#include <QWebEngineScript>

// Every script that the program runs in a page. They all run in one world of their own,
// so the page's own scripts cannot replace what they call, and return plain values or JSON.
// The longer ones are files under resources/js/, compiled into the program's resources
// and read once; platform/WebPage installs those that pages carry from their creation.
namespace nuv::scripts {

// The script world of every script of the program.
inline constexpr quint32 kWorld = QWebEngineScript::ApplicationWorld;

// Qt's qwebchannel.js, which the result-page click hook needs before it; "" when missing.
QString WebChannelBootstrap();

// Installed into every frame at document creation: a frame reports its address to the
// top window together with its path of frame indexes, sealed with the secret of the run;
// the top window keeps the reports whose seal holds, of at most 1 000 frames, each address
// of at most 8 KiB.
QString FrameReporter();
// The markup of the top element, or null when the document has no body. Each Flash movie
// that the player took over reads as the element that stood there before, and the
// player's own transient script elements are left out, so the markup is the same with
// and without the player.
QString TopElementOuterHtml();
// The document's title, or null when there is no document.
QString DocumentTitle();
// The body's readable text, or null when there is no body.
QString BodyInnerText();
// The body's markup with the body element itself, or null when there is no body.
QString BodyOuterHtml();
// JSON of the frame tree: {"tree": {"url": ..., "frames": [...]}, "pending": n}, depth-first
// in document order; `pending` counts the frames still loading or not yet reported.
QString FrameTree();
// JSON of the links of the document: {"links": [absolute href, ...], "cut": n}, the first
// `limit` in document order (fewer when their addresses are very long), `cut` the number
// of links after them.
QString DocumentLinks(qsizetype limit);

// Installed into every frame at document creation: defines the reader of the pictures a
// document uses (window.__nuvShownPictures, in the program's world only; at most 20 000 a
// document) and answers the top window's request for them, so frames of other sites report
// theirs too.
QString ShownPicturesReader();
// Run in the top document: reads its own pictures and those of every frame it may read,
// and asks the frames of other sites for theirs under the request `id`: the first 200
// frames, while fewer than `limit` pictures are known. Answers as ShownPicturesAnswer does.
QString ShownPicturesAsk(const QString& id, qsizetype limit);
// JSON of the pictures gathered for the request `id`: {"pending": n, "documents": [[{"u":
// address, "w": width, "h": height, "t": declared type}, ...], ...], "cut": {"documents": n,
// "pictures": n}}, the top document first, then the frames depth-first, at most `limit`
// pictures in all; `pending` counts the frames that have not answered, `cut` the frames
// neither read nor asked and the pictures beyond a document's bound or the request's.
// While frames have not answered, unless `whole`, only {"pending": n}.
QString ShownPicturesAnswer(const QString& id, bool whole = false);

// Makes the documents that run it record the pictures they show from their load on (or from
// now, where they have loaded), so the shown pictures include those that went again;
// false stops a new document from recording.
QString RecordShownPictures(bool on);
// One step of scrolling a page to its end (`scroll`: a screen further down first): JSON of
// what it shows, {"h": content height, "p": pictures recorded, "r": requests made, "e":
// whether the end is in view}.
QString PageScrollStep(bool scroll);

// Installed at every load of the result browser, after Qt's qwebchannel.js: registers a
// document click listener that hands the clicked element's lower-cased tag name and its
// raw "href" (links) or "src" (pictures) attribute to the channel object `objectName`;
// only trusted clicks (the user's, not a script's) in a document of the program's own
// scheme count. Clicks made before the channel is up are delivered once it is. Sets
// window.__nuvClickHookReady when the listener is connected, and leaves the channel object
// as window.__nuvResultSink for the other scripts of the result page.
QString ResultClickHook(const QString& objectName);

// The Flash player for the page's own world: Ruffle's loader `playerJs` (its files under
// `publicPath`) and the hand-over of every Flash movie of the page, those added later
// included, to a Ruffle player that starts by itself, muted until the user clicks it. The
// player takes the place of the <object> or <embed> element and keeps its markup in the
// attribute "data-nuv-source", from which TopElementOuterHtml reads the page as it was.
// Without `gpu` the player draws on a plain canvas straight away instead of trying WebGL.
QString FlashPlayerLoader(const QString& playerJs, const QString& publicPath, bool gpu);

// For the result window's pages only: long addresses wrap inside their cells, each picture
// cell shows the picture's pixel size once it has loaded, each movie fills its cell, and a
// click on a movie goes to the movie (to unmute it) and opens no window.
QString ResultPageLayout();

// For the result window's image pages only: a filter bar above the table (smallest width
// and height, picture types, "隐藏相似图片": of each group of pictures alike only the
// largest once loaded) that hides the cells it does not keep and lets the rest flow
// together. Once drawn it calls FilterReady() of the channel object; the window answers
// with window.__nuvSetPictureTypes(types), the type of each address.
QString ResultPictureFilter();
// Hands the filter of the image page the type of each listed address (`typesJson`: a
// JSON object from address to type name).
QString SetResultPictureTypes(const QString& typesJson);
// Hands the filter of the image page the group of pictures alike of each listed address
// (`groupsJson`: a JSON object from address to group number, -1 for none), which its
// "隐藏相似图片" asked for through SimilarWanted() of the channel object.
QString SetResultPictureGroups(const QString& groupsJson);
// JSON of the filter's state: null when the page has no filter, else {"active": bool,
// "visible": [the addresses of the pictures it shows]}.
QString ResultFilterState();

}  // namespace nuv::scripts

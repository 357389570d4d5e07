#pragma once

#include <QString>

// Scripts of the result window. They run in the application world, where the page's
// own scripts cannot reach them.
namespace nuv::scripts {

// Installed at every load of the result browser, after Qt's qwebchannel.js: registers a
// document click listener that hands the clicked element's lower-cased tag name and its
// raw "href" (links) or "src" (pictures) attribute to the channel object `objectName`.
// Clicks made before the channel is up are delivered once it is. Sets
// window.__nuvClickHookReady when the listener is connected.
QString ResultClickHook(const QString& objectName);

}  // namespace nuv::scripts

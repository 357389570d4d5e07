#pragma once

#include <functional>
#include <memory>
#include <string>

#include "web/RetryRule.h"
#include "web/ScrollPlan.h"

class QObject;

namespace nuv {

class BrowserCookies;
class IBrowser;

// The browser engine of a run, which lives in a module of its own: the engine's
// libraries are loaded with it, only once a page of the run needs the engine, so that a
// run of pages read without it never waits for them. Everything here is called on the
// user-interface thread.

// How long a page whose document has been read may go on loading its frames and style
// sheets before it counts as loaded, as it stands.
inline constexpr int kSubresourceSettleMs = 10000;

// A load of an address into an engine view, reported once: "" when the page loaded,
// else why not. A page whose document has been read but whose load does not end counts
// as loaded, `settled`, once kSubresourceSettleMs have passed since its document was
// ready, or the timeout. A failure that may pass is tried again as the RetryRule allows.
class IEngineLoad {
public:
    using Finished = std::function<void(const std::string& failure, bool settled)>;
    virtual ~IEngineLoad() = default;
    virtual void Start(const std::string& address) = 0;
    // Stops the load; nothing is reported any more.
    virtual void Stop() = 0;
    // How often the load was tried again.
    virtual int Retries() const = 0;
};

// The scrolling of a loaded page to the end of what it loads, as ScrollPlan rules.
class IEngineScroll {
public:
    using Finished = std::function<void(const ScrollOutcome&)>;
    using Progress = std::function<void(long long elapsedMs, long long limitMs)>;
    virtual ~IEngineScroll() = default;
    virtual void Start() = 0;
};

// A page of the headless engine: never on screen, yet laid out in a window-sized
// viewport; it never waits for a person. Closing it (destruction) ends the page and its
// renderer. It serves several pages one after the other.
class IEngineView {
public:
    virtual ~IEngineView() = default;
    // The program's browser control over the view's page.
    virtual IBrowser& Browser() = 0;
    // Whether every frame reported its address within its bound.
    virtual bool WaitForFrames() = 0;
    // Ends the page's work at once (a run that stops).
    virtual void Close() = 0;
    // Whether the page fetches and decodes its pictures.
    virtual void LoadPictures(bool on) = 0;
    // Whether the pictures the page showed from its load on are kept, gone ones too.
    virtual void RecordShownPictures(bool on) = 0;
    virtual void ClearHistory() = 0;
    // A load into the view; `finished` is called from the event loop on `receiver`'s
    // thread, so it may close the page and the load at once.
    virtual std::unique_ptr<IEngineLoad> Load(int timeoutMs, QObject* receiver, IEngineLoad::Finished finished,
                                              std::function<void(int progress, int maximum)> progress,
                                              RetryRule retry) = 0;
    virtual std::unique_ptr<IEngineScroll> Scroll(ScrollTimes times, IEngineScroll::Finished finished,
                                                  IEngineScroll::Progress progress) = 0;

    int pages = 0;  // loaded into it so far
};

class IRunEngine {
public:
    virtual ~IRunEngine() = default;
    // Starts the engine: the program's schemes, the profile's cache bounded, its pages
    // silent (no movies, sounds or fonts are fetched), `userAgent` its User-Agent unless
    // empty, and `cookies` its store from then on. Once, before the first view.
    virtual void Start(const std::string& userAgent, BrowserCookies& cookies) = 0;
    virtual std::unique_ptr<IEngineView> NewView() = 0;
};

// The engine's module, loaded on the first call. Throws std::runtime_error, saying why,
// when it cannot be loaded.
IRunEngine& LoadRunEngine();

// The name of the module's entry, a function of no arguments that gives its IRunEngine.
inline constexpr const char* kRunEngineEntry = "nuv_run_engine";

}  // namespace nuv

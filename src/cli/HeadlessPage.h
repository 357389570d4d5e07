#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>
#include <QTimer>

#include "cli/RunEngine.h"
#include "platform/WebEngineBrowser.h"
#include "web/RetryRule.h"

class QWebEngineView;

namespace nuv {

class BrowserCookies;

// A page of the headless engine: a view that is never on screen but counts as shown (the
// engine lays the page out in a window-sized viewport and does not throttle its scripts
// like a hidden tab), whose page never waits for a person, with the program's browser
// control over it. Closing it (destruction) ends the page and its renderer.
class HeadlessView {
public:
    HeadlessView();
    ~HeadlessView();
    HeadlessView(const HeadlessView&) = delete;
    HeadlessView& operator=(const HeadlessView&) = delete;

    WebEngineBrowser& Browser() { return *browser_; }
    QWebEngineView* View() const { return view_.get(); }

    // Pages loaded into it so far: a view serves several pages one after the other, so
    // that a page of a site finds the site's renderer running.
    int pages = 0;

private:
    std::unique_ptr<QWebEngineView> view_;
    std::unique_ptr<WebEngineBrowser> browser_;
};

// Starts the engine of a run, at the first page that needs it: the profile's cache
// bounded, its pages silent (no movies, sounds or fonts are fetched), `userAgent` its
// User-Agent unless empty, and `cookies` its store from then on.
void StartRunEngine(const std::string& userAgent, BrowserCookies& cookies);

// Loads an address into a headless view without blocking the event loop, and reports
// the end once: "" when the page loaded, else why not. The view may hold the page
// before, whose load has ended. A page whose document has been
// read but whose load does not end (a frame or style sheet that never finishes) counts
// as loaded, `settled`, once kSubresourceSettleMs have passed since its document was
// ready, or the timeout.
class PageLoad : public QObject {
public:
    using Finished = std::function<void(const std::string& failure, bool settled)>;
    // `finished` is called from the event loop on `receiver`'s thread (never from inside
    // the engine's signals), so it may close the page and this load at once.
    // A load that failed as a busy server or a broken connection does is tried again as
    // `retry` allows, after its wait; the time-out counts for each try.
    PageLoad(HeadlessView& view, int timeoutMs, QObject* receiver, Finished finished,
             std::function<void(int progress, int maximum)> progress = {}, RetryRule retry = {});
    ~PageLoad() override;

    void Start(const std::string& address);
    // Stops the load; nothing is reported any more.
    void Stop();
    // How often the load was tried again.
    int Retries() const { return retries_; }


private:
    void Navigate();
    void Finish(const std::string& failure, bool settled);

    HeadlessView& view_;
    int timeoutMs_;
    QObject* receiver_;
    Finished finished_;
    bool done_ = false;
    bool documentReady_ = false;
    std::string failure_;  // the engine's reason for a failed load
    bool mayPass_ = false;  // that failure may pass when tried again
    RetryRule retry_;
    int retries_ = 0;
    std::string address_;
    QTimer again_;
    QString before_;       // the address of the view's page before this load
    QTimer timeout_;
    QTimer settle_;
    QTimer poll_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // false once destroyed
};

}  // namespace nuv

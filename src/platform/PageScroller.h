#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "web/ScrollPlan.h"

class QWebEnginePage;

namespace nuv {

// Scrolls the page in a view to the end of what it loads, as ScrollPlan rules, asking the
// page ten times a second what it shows. Runs on the user-interface thread without
// blocking it; `finished` is called once, from the event loop.
class PageScroller : public QObject {
public:
    using Finished = std::function<void(const ScrollOutcome&)>;
    using Progress = std::function<void(long long elapsedMs, long long limitMs)>;
    PageScroller(QWebEnginePage* page, ScrollTimes times, Finished finished, Progress progress = {},
                 QObject* parent = nullptr);
    ~PageScroller() override;

    void Start();
    // Ends the scrolling now, as stopped.
    void Stop();
    bool Running() const { return running_; }

private:
    void Tick();
    void Finish(bool stopped);

    QPointer<QWebEnginePage> page_;
    ScrollTimes times_;
    ScrollPlan plan_;
    Finished finished_;
    Progress progress_;
    QTimer tick_;
    std::chrono::steady_clock::time_point started_;
    bool running_ = false;
    bool asking_ = false;  // an answer of the page is awaited
    bool scrollNext_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nuv

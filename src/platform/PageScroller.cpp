#include "platform/PageScroller.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <QWebEnginePage>

#include "platform/PageScripts.h"

namespace nuv {

PageScroller::PageScroller(QWebEnginePage* page, ScrollTimes times, Finished finished, Progress progress,
                           QObject* parent)
    : QObject(parent), page_(page), times_(times), plan_(times), finished_(std::move(finished)),
      progress_(std::move(progress)) {
    tick_.setInterval(100);
    connect(&tick_, &QTimer::timeout, this, &PageScroller::Tick);
}

PageScroller::~PageScroller() { *alive_ = false; }

void PageScroller::Start() {
    if (running_) return;
    running_ = true;
    started_ = std::chrono::steady_clock::now();
    tick_.start();
    Tick();
}

void PageScroller::Stop() {
    if (running_) Finish(true);
}

void PageScroller::Tick() {
    if (!running_ || asking_) return;
    const long long now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
    if (progress_) progress_(now, times_.limitMs);
    if (!page_) {
        Finish(false);
        return;
    }
    asking_ = true;
    const bool scroll = scrollNext_;
    scrollNext_ = false;
    page_->runJavaScript(scripts::PageScrollStep(scroll), scripts::kWorld, [this, alive = alive_](const QVariant& v) {
        if (!*alive || !running_) return;
        asking_ = false;
        // A page without a document (between two loads) shows nothing new.
        const QJsonObject o = QJsonDocument::fromJson(v.toString().toUtf8()).object();
        ScrollSight sight;
        sight.height = static_cast<long long>(o.value(QStringLiteral("h")).toDouble());
        sight.pictures = static_cast<long long>(o.value(QStringLiteral("p")).toDouble());
        sight.requests = static_cast<long long>(o.value(QStringLiteral("r")).toDouble());
        sight.atEnd = o.isEmpty() || o.value(QStringLiteral("e")).toBool();
        const long long at =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
        const ScrollStep step = plan_.Next(at, sight);
        if (step == ScrollStep::Done) {
            Finish(false);
            return;
        }
        scrollNext_ = step == ScrollStep::Scroll;
    });
}

void PageScroller::Finish(bool stopped) {
    running_ = false;
    tick_.stop();
    ScrollOutcome outcome;
    outcome.screens = plan_.Screens();
    outcome.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
    outcome.hitLimit = plan_.HitLimit();
    outcome.stopped = stopped;
    // From the event loop: the receiver may destroy this scroller.
    QMetaObject::invokeMethod(
        this, [alive = alive_, finished = finished_, outcome] {
            if (*alive && finished) finished(outcome);
        },
        Qt::QueuedConnection);
}

}  // namespace nuv

#pragma once

#include <functional>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

namespace nuv {

// Hands `work` from any thread to the user-interface thread, where it runs later through
// the event loop. It does not run once `context` is gone.
inline void RunOnUiThread(QObject* context, std::function<void()> work) {
    QObject* target = context ? context : QCoreApplication::instance();
    QMetaObject::invokeMethod(
        target, [guard = QPointer<QObject>(target), work = std::move(work)] {
            if (guard) work();
        },
        Qt::QueuedConnection);
}

}  // namespace nuv

#include "support/TestHttpServer.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace nuv::test {

TestHttpServer::TestHttpServer(const QHostAddress& address) : address_(address) {
    context_ = new QObject();
    context_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        context_,
        [this] {
            server_ = new QTcpServer();
            if (server_->listen(address_, 0)) port_ = server_->serverPort();
            QObject::connect(server_, &QTcpServer::newConnection, server_, [this] {
                while (QTcpSocket* s = server_->nextPendingConnection()) {
                    QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { Serve(s); });
                    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                }
            });
        },
        Qt::BlockingQueuedConnection);
}

TestHttpServer::~TestHttpServer() {
    QMetaObject::invokeMethod(
        context_,
        [this] {
            delete server_;
            context_->deleteLater();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void TestHttpServer::Put(const QString& path, const QByteArray& body, const QByteArray& contentType) {
    QMutexLocker lock(&mutex_);
    Entry& e = entries_[path];
    e.body = body;
    e.contentType = contentType;
}

void TestHttpServer::Redirect(const QString& path, const QByteArray& location) {
    QMutexLocker lock(&mutex_);
    entries_[path].location = location;
}

void TestHttpServer::SetResponseHeaders(const QString& path, const QByteArray& headers) {
    QMutexLocker lock(&mutex_);
    entries_[path].headers = headers;
}

void TestHttpServer::Require(const QString& path, const QList<QByteArray>& lines) {
    QMutexLocker lock(&mutex_);
    entries_[path].required = lines;
}

void TestHttpServer::Hold(const QString& path) {
    QMutexLocker lock(&mutex_);
    entries_[path].hold = true;
}

void TestHttpServer::Release(const QString& path) {
    QList<QPointer<QTcpSocket>> held;
    {
        QMutexLocker lock(&mutex_);
        Entry& e = entries_[path];
        e.hold = false;
        held.swap(e.held);
    }
    QMetaObject::invokeMethod(
        context_,
        [this, held] {
            for (const QPointer<QTcpSocket>& socket : held) {
                if (socket) Serve(socket);
            }
        },
        Qt::QueuedConnection);
}

void TestHttpServer::AnswerAfter(const QString& path, const QString& other, int atOnce) {
    QMutexLocker lock(&mutex_);
    entries_[path].after = other;
    entries_[path].atOnce = atOnce;
}

QString TestHttpServer::Origin() const {
    return QStringLiteral("http://%1:%2").arg(address_.toString()).arg(port_);
}

int TestHttpServer::RequestCount(const QString& path) const {
    QMutexLocker lock(&mutex_);
    return requests_.value(path);
}

void TestHttpServer::FailFirst(const QString& path, int times, const QByteArray& statusLine,
                               const QByteArray& headers) {
    QMutexLocker lock(&mutex_);
    Entry& entry = entries_[path];
    entry.failures = times;
    entry.failure = statusLine + "\r\n" + headers;
}

void TestHttpServer::Serve(QTcpSocket* socket) {
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n")) return;
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
    path = path.section(QLatin1Char('?'), 0, 0);
    QByteArray response;
    QList<QPointer<QTcpSocket>> released;
    {
        QMutexLocker lock(&mutex_);
        // A request answered later (held or deferred) is counted once.
        if (!socket->property("deferred").toBool()) {
            requests_[path] += 1;
            released = deferred_.take(path);
        }
        const auto it = entries_.find(path);
        if (it != entries_.end() && !it->after.isEmpty() && requests_[path] > it->atOnce &&
            requests_.value(it->after) == 0) {
            socket->setProperty("deferred", true);
            deferred_[it->after].append(socket);
            return;
        }
        bool allowed = true;
        if (it != entries_.end()) {
            const QByteArray head = request.left(request.indexOf("\r\n\r\n") + 2);
            for (const QByteArray& line : it->required) allowed = allowed && head.contains("\r\n" + line + "\r\n");
            if (it->hold) {
                socket->setProperty("deferred", true);
                it->held.append(socket);
                return;
            }
        }
        if (it != entries_.end() && it->failures > 0) {
            --it->failures;
            response = "HTTP/1.0 " + it->failure + "Content-Length: 0\r\nConnection: close\r\n\r\n";
        } else if (!allowed) {
            response = "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else if (it == entries_.end()) {
            response = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
                       "Connection: close\r\n\r\nnot found";
        } else if (!it->location.isEmpty()) {
            response = "HTTP/1.0 302 Found\r\nLocation: " + it->location +
                       "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            response = "HTTP/1.0 200 OK\r\nContent-Type: " + it->contentType +
                       "\r\nContent-Length: " + QByteArray::number(it->body.size()) + "\r\n" + it->headers +
                       "Connection: close\r\n\r\n" + it->body;
        }
    }
    socket->write(response);
    socket->disconnectFromHost();
    for (const QPointer<QTcpSocket>& waiting : released) {
        if (waiting) Serve(waiting);
    }
}

}  // namespace nuv::test

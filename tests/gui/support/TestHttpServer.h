#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QThread>

class QTcpServer;
class QTcpSocket;

namespace nuv::test {

// A small HTTP/1.0 server for GUI tests, on a loopback address. Serves the bodies that
// the test puts under a path; anything else gets 404. Each connection answers one
// request and closes. It runs on a thread of its own, so the program may block its
// user-interface thread on a download from it, as it does with any server.
class TestHttpServer {
public:
    explicit TestHttpServer(const QHostAddress& address = QHostAddress(QStringLiteral("127.0.0.1")));
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // `path` is the request target as sent, percent-encoding included.
    void Put(const QString& path, const QByteArray& body,
             const QByteArray& contentType = QByteArrayLiteral("text/html; charset=utf-8"));
    // Answers `path` with "302 Found" to `location`.
    void Redirect(const QString& path, const QByteArray& location);
    // Adds header lines ("Name: value\r\n" each) to the answer for `path`.
    void SetResponseHeaders(const QString& path, const QByteArray& headers);
    // Answers `path` only to requests whose head holds every one of `lines` (for example
    // "Cookie: a=b"); any other request gets 403.
    void Require(const QString& path, const QList<QByteArray>& lines);
    // Answers the first `times` requests for `path` with `statusLine` ("503 Service
    // Unavailable") and `headers` ("Name: value\r\n" each), the later ones as put.
    void FailFirst(const QString& path, int times, const QByteArray& statusLine, const QByteArray& headers = {});
    // Never answers requests for `path` until Release, which answers the held ones too.
    void Hold(const QString& path);
    void Release(const QString& path);
    // Answers the requests for `path` after the first `atOnce` only once `other` has
    // been asked for.
    void AnswerAfter(const QString& path, const QString& other, int atOnce);
    bool isListening() const { return port_ != 0; }
    // "http://127.0.0.1:PORT" without a trailing "/".
    QString Origin() const;
    QString Url(const QString& path) const { return Origin() + path; }
    int RequestCount(const QString& path) const;

private:
    void Serve(QTcpSocket* socket);

    struct Entry {
        QByteArray body;
        QByteArray contentType;
        QByteArray headers;
        QByteArray location;  // a redirect's
        QList<QByteArray> required;
        bool hold = false;
        QList<QPointer<QTcpSocket>> held;  // requests waiting for Release
        QString after;
        int atOnce = 0;
        int failures = 0;  // answers of `failure` still to give
        QByteArray failure;
    };
    QHostAddress address_;
    quint16 port_ = 0;
    QThread thread_;
    QObject* context_ = nullptr;    // lives on thread_; runs the server's work there
    QTcpServer* server_ = nullptr;  // lives on thread_
    mutable QMutex mutex_;
    QHash<QString, Entry> entries_;
    QHash<QString, int> requests_;
    QHash<QString, QList<QPointer<QTcpSocket>>> deferred_;  // by the path they wait for
};

}  // namespace nuv::test

#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace nuv::test {

// A small HTTP/1.0 server for GUI tests, on a loopback address. Serves the bodies that
// the test puts under a path; anything else gets 404. Each connection answers one
// request and closes. Runs on the thread that owns it (the test's event loop).
class TestHttpServer : public QTcpServer {
    Q_OBJECT
public:
    explicit TestHttpServer(const QHostAddress& address = QHostAddress(QStringLiteral("127.0.0.1")),
                            QObject* parent = nullptr);
    void Put(const QString& path, const QByteArray& body,
             const QByteArray& contentType = QByteArrayLiteral("text/html; charset=utf-8"));
    // "http://127.0.0.1:PORT" without a trailing "/".
    QString Origin() const;
    QString Url(const QString& path) const { return Origin() + path; }
    int RequestCount(const QString& path) const { return requests_.value(path); }

private:
    void Serve(QTcpSocket* socket);

    struct Entry {
        QByteArray body;
        QByteArray contentType;
    };
    QHash<QString, Entry> entries_;
    QHash<QString, int> requests_;
};

}  // namespace nuv::test

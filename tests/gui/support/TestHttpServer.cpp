#include "support/TestHttpServer.h"

#include <QTcpSocket>

namespace nuv::test {

TestHttpServer::TestHttpServer(const QHostAddress& address, QObject* parent) : QTcpServer(parent) {
    listen(address, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = nextPendingConnection()) {
            connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
}

void TestHttpServer::Put(const QString& path, const QByteArray& body, const QByteArray& contentType) {
    entries_.insert(path, {body, contentType});
}

QString TestHttpServer::Origin() const {
    return QStringLiteral("http://%1:%2").arg(serverAddress().toString()).arg(serverPort());
}

void TestHttpServer::Serve(QTcpSocket* socket) {
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n")) return;
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
    path = path.section(QLatin1Char('?'), 0, 0);
    requests_[path] += 1;
    QByteArray response;
    const auto it = entries_.constFind(path);
    if (it == entries_.constEnd()) {
        response = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
                   "Connection: close\r\n\r\nnot found";
    } else {
        response = "HTTP/1.0 200 OK\r\nContent-Type: " + it->contentType +
                   "\r\nContent-Length: " + QByteArray::number(it->body.size()) +
                   "\r\nConnection: close\r\n\r\n" + it->body;
    }
    socket->write(response);
    socket->disconnectFromHost();
}

}  // namespace nuv::test

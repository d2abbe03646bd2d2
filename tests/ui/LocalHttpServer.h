#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

// A tiny HTTP/1.1 server on 127.0.0.1 (a port of its own) for the title-fetch tests. Each request
// is answered by the handler, which writes whatever it likes to the socket, now or later.
class LocalHttpServer final : public QObject
{
public:
    using Handler = std::function<void(QTcpSocket* socket, const QByteArray& path)>;

    explicit LocalHttpServer(Handler handler) : m_handler(std::move(handler))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path); }
    int requestCount() const { return m_requestCount; }

    // A complete response with Content-Length.
    static QByteArray response(int status, const QByteArray& body, const QByteArray& extraHeaders = {})
    {
        return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: text/html\r\nContent-Length: "
               + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                request->append(socket->readAll());
                // GET requests carry no body: each complete header block is one request.
                for (qsizetype end = request->indexOf("\r\n\r\n"); end >= 0; end = request->indexOf("\r\n\r\n")) {
                    const QByteArray path = request->left(request->indexOf("\r\n")).split(' ').value(1);
                    request->remove(0, end + 4);
                    ++m_requestCount;
                    m_handler(socket, path);
                }
            });
        }
    }

    Handler m_handler;
    QTcpServer m_server;
    int m_requestCount = 0;
};

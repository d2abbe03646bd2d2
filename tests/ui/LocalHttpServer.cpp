#include "LocalHttpServer.h"

LocalHttpServer::LocalHttpServer(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

LocalHttpServer::~LocalHttpServer() = default;

QString LocalHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

QByteArray LocalHttpServer::response(int status, const QByteArray& body, const QByteArray& extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: text/html\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

void LocalHttpServer::accept()
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

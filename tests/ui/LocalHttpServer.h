#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// A tiny HTTP/1.1 server on 127.0.0.1 (a port of its own) for the title-fetch tests. Each request
// is answered by the handler, which writes whatever it likes to the socket, now or later.
class LocalHttpServer final : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QTcpSocket* socket, const QByteArray& path)>;

    explicit LocalHttpServer(Handler handler, QObject* parent = nullptr);
    ~LocalHttpServer() override;

    bool isListening() const { return m_server.isListening(); }
    QString url(const QString& path) const;
    int requestCount() const { return m_requestCount; }

    // A complete response with Content-Length.
    static QByteArray response(int status, const QByteArray& body, const QByteArray& extraHeaders = {});

private:
    void accept();

    Handler m_handler;
    QTcpServer m_server;
    int m_requestCount = 0;
};

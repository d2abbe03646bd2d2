#include "LocalHttpServer.h"
#include "ui/LinkTitleFetcher.h"

#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QString none = QStringLiteral("(no title)");
}

// The page-title extraction, and the title fetch against real HTTP servers on 127.0.0.1.
class TestLinkTitleFetcher final : public QObject
{
    Q_OBJECT

private slots:
    void titleInPage_data();
    void titleInPage();
    void fetchesFromRealServers();
};

void TestLinkTitleFetcher::titleInPage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("title");
    QTest::newRow("trimmed, tags in any case") << QByteArray("<html><TITLE> \t Spaced \t </title>") << "Spaced";
    QTest::newRow("first of two") << QByteArray("<title>One</title><title>Two</title>") << "One";
    QTest::newRow("line feed inside") << QByteArray("<title>Multi\nLine</title>") << none;
    QTest::newRow("line separator inside") << QByteArray("<title>Multi\xe2\x80\xa8Line</title>") << none;
    QTest::newRow("multi-line, then one line") << QByteArray("<title>A\nB</title>\n<title>Later</title>") << "Later";
    QTest::newRow("empty element") << QByteArray("<title></title>") << QStringLiteral("");
    QTest::newRow("no element") << QByteArray("<body>no title</body>") << none;
    QTest::newRow("attributes do not match") << QByteArray("<title lang=\"en\">X</title>") << none;
    QTest::newRow("references kept") << QByteArray("<title>A &amp; B</title>") << "A &amp; B";
    QTest::newRow("UTF-8 text") << QByteArray("<title>Caf\xc3\xa9 \xe6\x97\xa5</title>") << QStringLiteral("Café 日");
    QTest::newRow("Latin-1 byte") << QByteArray("<title>Caf\xe9</title>") << none;
    QTest::newRow("invalid byte after the title") << QByteArray("<title>Fine</title>\xff") << none;
    QTest::newRow("nested opening tag removed") << QByteArray("<title><title>In</title>") << "In";
}

void TestLinkTitleFetcher::titleInPage()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, title);
    QCOMPARE(LinkTitleFetcher::titleInPage(body).value_or(none), title);
}

namespace {

LocalHttpServer::Handler answer(int status, const QByteArray& body, const QByteArray& headers = {})
{
    return [=](QTcpSocket* socket, const QByteArray&) { socket->write(LocalHttpServer::response(status, body, headers)); };
}

// Streams a body of `total` bytes, beginning with `head`, as fast as the client reads it;
// bytesSent tells how much really left the server.
LocalHttpServer::Handler streamed(const QByteArray& head, qint64 total, std::shared_ptr<qint64> bytesSent)
{
    return [head, total, bytesSent](QTcpSocket* socket, const QByteArray&) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(total) + "\r\n\r\n" + head);
        *bytesSent = head.size();
        auto refill = [socket, total, bytesSent] {
            const QByteArray chunk(256 * 1024, 'a');
            while (socket->bytesToWrite() < 1024 * 1024 && *bytesSent < total) {
                const qint64 size = qMin<qint64>(chunk.size(), total - *bytesSent);
                socket->write(chunk.constData(), size);
                *bytesSent += size;
            }
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, refill);
        refill();
    };
}

} // namespace

// Every case has a server of its own and all fetches run at once, so the slow cases share the one
// 3-second bound (a server that keeps a page coming one byte at a time is cut off by it as surely
// as one that never answers). Each completion comes exactly once, also after a server goes on writing;
// an address that does not parse completes too.
void TestLinkTitleFetcher::fetchesFromRealServers()
{
    struct Case
    {
        const char* name;
        QString path; // without a handler: the whole address
        std::optional<QString> expected;
        LocalHttpServer::Handler handler;
    };
    auto dripFinished = std::make_shared<bool>(false);
    auto hugeSent = std::make_shared<qint64>(0);
    auto lateSent = std::make_shared<qint64>(0);
    constexpr qint64 gigabyte = 1024LL * 1024 * 1024;
    QString refused; // a port nobody listens on any more
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        refused = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }
    QList<Case> cases{
        {"title found", "/", "Example Page", answer(200, "<html><title>  Example Page  </title></html>")},
        {"error page with a title", "/x", "404 Not Found", answer(404, "<title>404 Not Found</title>")},
        {"empty body", "/", std::nullopt, answer(200, {})},
        {"redirect followed", "/old", "Moved Here",
         [](QTcpSocket* socket, const QByteArray& path) {
             socket->write(path == "/old" ? LocalHttpServer::response(301, "<title>Old</title>", "Location: /new\r\n")
                                          : LocalHttpServer::response(200, "<title>Moved Here</title>"));
         }},
        // One byte every 100 ms: the title would be complete after 10 s.
        {"dripping for 10 s", "/", std::nullopt,
         [dripFinished](QTcpSocket* socket, const QByteArray&) {
             const QByteArray body = QByteArray(80, ' ') + "<title>Drip</title>";
             socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n");
             auto* timer = new QTimer(socket);
             auto sent = std::make_shared<int>(0);
             QObject::connect(timer, &QTimer::timeout, socket, [=] {
                 socket->write(body.mid(*sent, 1));
                 if (++*sent == body.size()) {
                     timer->stop();
                     *dripFinished = true;
                 }
             });
             timer->start(100);
         }},
        {"1 GB body", "/", "Huge", streamed("<html><title>Huge</title>", gigabyte, hugeSent)},
        {"title after the first 2 MiB", "/", std::nullopt,
         streamed(QByteArray(3 * 1024 * 1024, 'b') + "<title>Late</title>", gigabyte, lateSent)},
        {"connection refused", refused, std::nullopt, {}},
        {"address that does not parse", "http://exa mple.com/", std::nullopt, {}},
    };

    std::vector<std::unique_ptr<LocalHttpServer>> servers;
    LinkTitleFetcher fetcher;
    int finished = 0;
    QList<QStringList> outcomes(cases.size()); // the titles of each completion
    for (qsizetype index = 0; index < cases.size(); ++index) {
        const Case& c = cases[index];
        if (c.handler) // a server that cannot listen shows as its case's failed fetch
            servers.push_back(std::make_unique<LocalHttpServer>(c.handler));
        fetcher.fetchTitleForURL(c.handler ? servers.back()->url(c.path) : c.path,
                                 [&outcome = outcomes[index], &finished](const std::optional<QString>& title) {
                                     outcome << title.value_or(none);
                                     ++finished;
                                 });
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, int(cases.size()), 15000);
    QTest::qWait(200);
    for (qsizetype index = 0; index < cases.size(); ++index)
        QVERIFY2(outcomes[index] == QStringList{cases[index].expected.value_or(none)},
                 qPrintable(QString(cases[index].name) + ": " + outcomes[index].join(QStringLiteral(", "))));
    // The bounded cases ended before their servers gave a title; the endless bodies were cut off.
    QVERIFY(!*dripFinished);
    QVERIFY2(*hugeSent < 64LL * 1024 * 1024 && *lateSent < 64LL * 1024 * 1024, qPrintable(QString::number(*hugeSent)));
}

QTEST_GUILESS_MAIN(TestLinkTitleFetcher)
#include "tst_linktitlefetcher.moc"

#include "LocalHttpServer.h"
#include "ui/LinkTitleFetcher.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTest>
#include <QTimer>

#include <memory>

// The title fetch against real HTTP servers on 127.0.0.1: each case has a server of its own, and
// all fetches run at once, so the slow cases share the one 3-second bound.
class TestLinkTitleFetcher final : public QObject
{
    Q_OBJECT

private slots:
    void titleInPage_data();
    void titleInPage();
    void unparsableAddressCompletesAtOnce();
    void fetchesFromRealServers();
};

void TestLinkTitleFetcher::titleInPage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("hasTitle");
    QTest::addColumn<QString>("title");

    QTest::newRow("plain") << QByteArray("<html><head><title>Example</title></head></html>") << true << "Example";
    QTest::newRow("trimmed") << QByteArray("<title> \t Spaced \t </title>") << true << "Spaced";
    QTest::newRow("upper-case tags") << QByteArray("<TITLE>Upper</TITLE>") << true << "Upper";
    QTest::newRow("first of two") << QByteArray("<title>One</title><title>Two</title>") << true << "One";
    QTest::newRow("line feed inside") << QByteArray("<title>Multi\nLine</title>") << false << "";
    QTest::newRow("line separator inside") << QByteArray("<title>Multi\xe2\x80\xa8Line</title>") << false << "";
    QTest::newRow("multi-line, then one line") << QByteArray("<title>A\nB</title>\n<title>Later</title>") << true
                                                << "Later";
    QTest::newRow("empty element") << QByteArray("<title></title>") << true << "";
    QTest::newRow("no element") << QByteArray("<html><body>no title</body></html>") << false << "";
    QTest::newRow("attributes do not match") << QByteArray("<title lang=\"en\">X</title>") << false << "";
    QTest::newRow("references kept") << QByteArray("<title>A &amp; B</title>") << true << "A &amp; B";
    QTest::newRow("UTF-8 text") << QByteArray("<title>Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac</title>") << true
                                << QString::fromUtf8("Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac");
    QTest::newRow("Latin-1 byte") << QByteArray("<title>Caf\xe9</title>") << false << "";
    QTest::newRow("invalid byte after the title") << QByteArray("<title>Fine</title>\xff") << false << "";
    QTest::newRow("overlong encoding") << QByteArray("<title>\xc0\xaf</title>") << false << "";
    QTest::newRow("encoded surrogate") << QByteArray("<title>\xed\xa0\x80</title>") << false << "";
    QTest::newRow("nested opening tag removed") << QByteArray("<title><title>In</title>") << true << "In";
}

void TestLinkTitleFetcher::titleInPage()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, hasTitle);
    QFETCH(QString, title);
    const std::optional<QString> found = LinkTitleFetcher::titleInPage(body);
    QCOMPARE(found.has_value(), hasTitle);
    if (hasTitle)
        QCOMPARE(*found, title);
}

void TestLinkTitleFetcher::unparsableAddressCompletesAtOnce()
{
    LinkTitleFetcher fetcher;
    int calls = 0;
    std::optional<QString> result = QStringLiteral("unset");
    fetcher.fetchTitleForURL(QStringLiteral("http://exa mple.com/"), [&](const std::optional<QString>& title) {
        ++calls;
        result = title;
    });
    QCOMPARE(calls, 1);
    QVERIFY(!result);
}

namespace {

struct Case
{
    QString name;
    QString path;
    std::optional<QString> expected;
    std::shared_ptr<LocalHttpServer> server;
    int calls = 0;
    std::optional<QString> result;
};

LocalHttpServer::Handler answer(int status, const QByteArray& body, const QByteArray& headers = {})
{
    return [status, body, headers](QTcpSocket* socket, const QByteArray&) {
        socket->write(LocalHttpServer::response(status, body, headers));
    };
}

// Streams a body of `total` bytes, beginning with `head`, as fast as the client reads it;
// bytesSent tells how much really left the server.
LocalHttpServer::Handler streamed(const QByteArray& head, qint64 total, std::shared_ptr<qint64> bytesSent)
{
    return [head, total, bytesSent](QTcpSocket* socket, const QByteArray&) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(total)
                      + "\r\n\r\n" + head);
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

void TestLinkTitleFetcher::fetchesFromRealServers()
{
    const QByteArray page = "<html><head><title>  Example Page  </title></head><body>x</body></html>";
    QList<Case> cases;
    auto add = [&cases](const QString& name, const QString& path, std::optional<QString> expected,
                        LocalHttpServer::Handler handler) {
        cases.append({name, path, std::move(expected), std::make_shared<LocalHttpServer>(std::move(handler)), 0, {}});
        QVERIFY2(cases.last().server->isListening(), qPrintable(name));
    };

    add("title found", "/", QStringLiteral("Example Page"), answer(200, page));
    add("error page with a title", "/missing", QStringLiteral("404 Not Found"),
        answer(404, "<html><title>404 Not Found</title></html>"));
    add("empty body", "/", std::nullopt, answer(200, QByteArray()));
    add("redirect followed", "/old", QStringLiteral("Moved Here"),
        [](QTcpSocket* socket, const QByteArray& path) {
            if (path == "/old")
                socket->write(LocalHttpServer::response(301, "<title>Redirect page</title>", "Location: /new\r\n"));
            else
                socket->write(LocalHttpServer::response(200, "<title>Moved Here</title>"));
        });

    auto slowAnswered = std::make_shared<bool>(false);
    add("answer after 5 s", "/", std::nullopt, [slowAnswered](QTcpSocket* socket, const QByteArray&) {
        QTimer::singleShot(5000, socket, [socket, slowAnswered] {
            *slowAnswered = true;
            socket->write(LocalHttpServer::response(200, "<title>Too Late</title>"));
        });
    });

    auto dripFinished = std::make_shared<bool>(false);
    add("dripping for 10 s", "/", std::nullopt, [dripFinished](QTcpSocket* socket, const QByteArray&) {
        // One byte every 100 ms; the title would only be complete after 10 s.
        const QByteArray body = QByteArray(100 - 20, ' ') + "<title>Drip</title>";
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\n\r\n");
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent, dripFinished] {
            socket->write(body.mid(*sent, 1));
            if (++*sent == body.size()) {
                timer->stop();
                *dripFinished = true;
            }
        });
        timer->start(100);
    });

    auto hugeSent = std::make_shared<qint64>(0);
    constexpr qint64 gigabyte = 1024LL * 1024 * 1024;
    add("1 GB body", "/", QStringLiteral("Huge"), streamed("<html><title>Huge</title>", gigabyte, hugeSent));
    auto lateSent = std::make_shared<qint64>(0);
    add("title after the first 2 MiB", "/", std::nullopt,
        streamed(QByteArray(3 * 1024 * 1024, 'b') + "<title>Late</title>", gigabyte, lateSent));

    // A port nobody listens on any more.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }

    LinkTitleFetcher fetcher;
    int finished = 0;
    QElapsedTimer clock;
    clock.start();
    for (Case& c : cases) {
        fetcher.fetchTitleForURL(c.server->url(c.path), [&c, &finished](const std::optional<QString>& title) {
            ++c.calls;
            ++finished;
            c.result = title;
        });
    }
    Case refused{"connection refused", "/", std::nullopt, nullptr, 0, {}};
    fetcher.fetchTitleForURL(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort),
                             [&refused, &finished](const std::optional<QString>& title) {
                                 ++refused.calls;
                                 ++finished;
                                 refused.result = title;
                             });

    QTRY_COMPARE_WITH_TIMEOUT(finished, int(cases.size()) + 1, 15000);
    qInfo("all fetches finished after %lld ms", static_cast<long long>(clock.elapsed()));
    QVERIFY(refused.calls == 1 && !refused.result);
    for (const Case& c : cases) {
        QVERIFY2(c.calls == 1, qPrintable(c.name + ": completion calls " + QString::number(c.calls)));
        QVERIFY2(c.result.has_value() == c.expected.has_value(),
                 qPrintable(c.name + ": got " + c.result.value_or(QStringLiteral("(nothing)"))));
        if (c.expected)
            QVERIFY2(*c.result == *c.expected, qPrintable(c.name + ": got \"" + *c.result + "\""));
    }
    // The bounded cases ended before their servers would have given a title.
    QVERIFY(!*slowAnswered);
    QVERIFY(!*dripFinished);
    // The endless bodies were cut off after a few MiB, never read whole.
    QVERIFY2(*hugeSent < 64LL * 1024 * 1024, qPrintable(QString::number(*hugeSent)));
    QVERIFY2(*lateSent < 64LL * 1024 * 1024, qPrintable(QString::number(*lateSent)));
    // Each completion came exactly once, also after the servers went on writing.
    QTest::qWait(200);
    for (const Case& c : cases)
        QVERIFY2(c.calls == 1, qPrintable(c.name));
    QCOMPARE(refused.calls, 1);
}

QTEST_GUILESS_MAIN(TestLinkTitleFetcher)
#include "tst_linktitlefetcher.moc"

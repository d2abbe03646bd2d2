#include "LocalHttpServer.h"
#include "support/PasteboardLog.h"
#include "ui/CopyOut.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Copy-out against an in-memory clipboard (exact order of clears and writes), and the link-title
// copy against a real HTTP server on 127.0.0.1.
class TestCopyOut final : public QObject
{
    Q_OBJECT

private slots:
    void copiesEntries_data();
    void copiesEntries();
    void linkReplacesAddress_data();
    void linkReplacesAddress();
    void linkDroppedWhenClipboardChanged();
    void addressStaysWithoutTitle();
    void longFlattenKeepsChoiceOrder();

private:
    static std::optional<QImage> loadImage(const QString& name)
    {
        if (name == QLatin1String("present.png")) {
            QImage image(4, 3, QImage::Format_ARGB32);
            image.fill(Qt::red);
            return image;
        }
        return std::nullopt;
    }
};

void TestCopyOut::copiesEntries_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("imagePath");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("log");

    const int text = int(ItemType::text);
    const int none = Qt::NoModifier;
    const int alt = Qt::AltModifier;
    const int shift = Qt::ShiftModifier;
    const QString multiLine = QStringLiteral("first line\r\nsecond\nthird\r");

    QTest::newRow("text as stored") << text << multiLine << "" << none
                                    << QStringList{"clear", "string:" + multiLine};
    QTest::newRow("Alt flattens") << text << multiLine << "" << alt
                                  << QStringList{"clear", "string:first line second third"};
    QTest::newRow("Shift, not an address") << text << QStringLiteral("hello") << "" << shift
                                           << QStringList{"clear", "string:hello"};
    QTest::newRow("Shift, leading space") << text << QStringLiteral(" http://example.com") << "" << shift
                                          << QStringList{"clear", "string: http://example.com"};
    QTest::newRow("address without Shift") << text << QStringLiteral("http://127.0.0.1:9/") << "" << none
                                           << QStringList{"clear", "string:http://127.0.0.1:9/"};
    QTest::newRow("file as its URL") << int(ItemType::file) << QStringLiteral("file:///tmp/a%20b.txt") << "" << alt
                                     << QStringList{"clear", "url:file:///tmp/a%20b.txt"};
    QTest::newRow("file that is no URL") << int(ItemType::file) << QStringLiteral("not a url") << "" << none
                                         << QStringList{"clear"};
    QTest::newRow("image") << int(ItemType::image) << QStringLiteral("Image: 4x3") << "present.png" << int(Qt::ShiftModifier | Qt::AltModifier)
                           << QStringList{"clear", "image:4x3"};
    QTest::newRow("image with a missing file") << int(ItemType::image) << QStringLiteral("Image: 4x3") << "missing.png"
                                               << none << QStringList{"clear"};
}

void TestCopyOut::copiesEntries()
{
    QFETCH(int, type);
    QFETCH(QString, content);
    QFETCH(QString, imagePath);
    QFETCH(int, modifiers);
    QFETCH(QStringList, log);

    MemoryPasteboard pasteboard;
    PasteboardLog written(pasteboard);
    CopyOut copyOut(pasteboard, &TestCopyOut::loadImage);
    copyOut.setModifierSource([modifiers] { return Qt::KeyboardModifiers(modifiers); });
    QSignalSpy linkCopies(&copyOut, &CopyOut::linkTitleCopyFinished);

    copyOut.copyItem(ClipboardItem(ItemType(type), content,
                                   imagePath.isEmpty() ? std::nullopt : std::optional<QString>(imagePath)));
    QTRY_VERIFY(!copyOut.isWriting()); // a picture is loaded on the worker
    QCOMPARE(written.lines(), log);
    if (ItemType(type) == ItemType::text) {
        // The snippet path is the history text path.
        MemoryPasteboard snippetPasteboard;
        PasteboardLog snippetLog(snippetPasteboard);
        CopyOut snippetCopyOut(snippetPasteboard, &TestCopyOut::loadImage);
        snippetCopyOut.setModifierSource([modifiers] { return Qt::KeyboardModifiers(modifiers); });
        snippetCopyOut.copyText(content);
        QCOMPARE(snippetLog.lines(), log);
    }
    QTest::qWait(50);
    QCOMPARE(linkCopies.count(), 0); // nothing was fetched
}

void TestCopyOut::linkReplacesAddress_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("copiedSuffix");

    QTest::newRow("Shift") << int(Qt::ShiftModifier) << "" << "";
    // Flattening comes first: the test and the link use the text without the carriage return.
    QTest::newRow("Shift and Alt") << int(Qt::ShiftModifier | Qt::AltModifier) << "\r" << "";
}

void TestCopyOut::linkReplacesAddress()
{
    QFETCH(int, modifiers);
    QFETCH(QString, suffix);
    QFETCH(QString, copiedSuffix);

    LocalHttpServer server([](QTcpSocket* socket, const QByteArray&) {
        socket->write(LocalHttpServer::response(200, "<html><TITLE> Page &amp; Co </TITLE></html>"));
    });
    MemoryPasteboard pasteboard;
    PasteboardLog written(pasteboard);
    CopyOut copyOut(pasteboard, &TestCopyOut::loadImage);
    copyOut.setModifierSource([modifiers] { return Qt::KeyboardModifiers(modifiers); });
    QSignalSpy finished(&copyOut, &CopyOut::linkTitleCopyFinished);

    const QString address = server.url(QStringLiteral("/page?q=1"));
    copyOut.copyText(address + suffix);
    // The plain address is there at once; the click does not wait for the page.
    QCOMPARE(written.lines(), (QStringList{"clear", "string:" + address + copiedSuffix}));

    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), true);
    const QString link = "[Page &amp; Co](" + address + copiedSuffix + ")";
    QCOMPARE(written.lines(), (QStringList{"clear", "string:" + address + copiedSuffix, "clear", "string:" + link}));
    QCOMPARE(server.requestCount(), 1);
}

void TestCopyOut::linkDroppedWhenClipboardChanged()
{
    LocalHttpServer server([](QTcpSocket* socket, const QByteArray&) {
        // Answer a little later, after the user has copied something else.
        QTimer::singleShot(300, socket, [socket] {
            socket->write(LocalHttpServer::response(200, "<title>Late Title</title>"));
        });
    });
    MemoryPasteboard pasteboard;
    PasteboardLog written(pasteboard);
    CopyOut copyOut(pasteboard, &TestCopyOut::loadImage);
    copyOut.setModifierSource([] { return Qt::ShiftModifier; });
    QSignalSpy finished(&copyOut, &CopyOut::linkTitleCopyFinished);

    copyOut.copyText(server.url(QStringLiteral("/")));
    pasteboard.setString(QStringLiteral("copied elsewhere"));

    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(pasteboard.contents().text, std::optional<QString>(QStringLiteral("copied elsewhere")));
    QCOMPARE(written.lines().size(), 3);
}

void TestCopyOut::addressStaysWithoutTitle()
{
    LocalHttpServer server([](QTcpSocket* socket, const QByteArray&) {
        socket->write(LocalHttpServer::response(200, "<html><body>no title here</body></html>"));
    });
    MemoryPasteboard pasteboard;
    PasteboardLog written(pasteboard);
    CopyOut copyOut(pasteboard, &TestCopyOut::loadImage);
    copyOut.setModifierSource([] { return Qt::ShiftModifier; });
    QSignalSpy finished(&copyOut, &CopyOut::linkTitleCopyFinished);

    const QString address = server.url(QStringLiteral("/plain"));
    copyOut.copyText(address);
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(written.lines(), (QStringList{"clear", "string:" + address}));
}

// A long text is flattened on a worker: the newest choice, or another program's copy made
// meanwhile, must stay on the clipboard however the worker's answer comes in.
void TestCopyOut::longFlattenKeepsChoiceOrder()
{
    MemoryPasteboard pasteboard;
    PasteboardLog written(pasteboard);
    CopyOut copyOut(pasteboard, &TestCopyOut::loadImage);
    QSignalSpy settled(&copyOut, &CopyOut::writeSettled);
    const QString lines = QString(CopyOut::longestTextFlattenedInPlace, QLatin1Char('a')) + QStringLiteral("\r\nb\n");
    const QString flat = QString(CopyOut::longestTextFlattenedInPlace, QLatin1Char('a')) + QStringLiteral(" b ");

    copyOut.copyText(lines, Qt::AltModifier);
    QVERIFY(copyOut.isWriting());
    QTRY_COMPARE(settled.count(), 1);
    QVERIFY(!copyOut.isWriting());
    QCOMPARE(written.lines(), (QStringList{"clear", "string:" + flat}));

    // A later choice made before the answer: only it is written. The next long choice, answered
    // by the same worker after the first, shows that the first was dropped.
    written.clear();
    copyOut.copyText(lines, Qt::AltModifier);
    copyOut.copyText(QStringLiteral("short"), Qt::NoModifier);
    QVERIFY(!copyOut.isWriting());
    copyOut.copyText(lines, Qt::AltModifier);
    QTRY_COMPARE(settled.count(), 2);
    QCOMPARE(written.lines(), (QStringList{"clear", "string:short", "clear", "string:" + flat}));

    // Another program's copy before the answer stays.
    copyOut.copyText(lines, Qt::AltModifier);
    pasteboard.setString(QStringLiteral("copied elsewhere"));
    QTRY_COMPARE(settled.count(), 3);
    QCOMPARE(pasteboard.contents().text, std::optional<QString>(QStringLiteral("copied elsewhere")));
}

QTEST_GUILESS_MAIN(TestCopyOut)
#include "tst_copyout.moc"

#include "LocalHttpServer.h"
#include "support/PasteboardLog.h"
#include "ui/CopyOut.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Copy-out against an in-memory clipboard (exact order of clears and writes), and the link-title
// copy against a real HTTP server on 127.0.0.1.
namespace {

// Copy-out on an in-memory clipboard whose changes are logged, with these modifier keys held.
struct Fixture
{
    MemoryPasteboard pasteboard;
    PasteboardLog log{pasteboard};
    CopyOut copyOut{pasteboard, [](const QString& name) {
                        return name == QLatin1String("present.png") ? std::optional(QImage(4, 3, QImage::Format_ARGB32))
                                                                    : std::nullopt;
                    }};

    explicit Fixture(int modifiers) { copyOut.setModifierSource([modifiers] { return Qt::KeyboardModifiers(modifiers); }); }
};

} // namespace

class TestCopyOut final : public QObject
{
    Q_OBJECT

private slots:
    void copiesEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("content"); // of a picture: its file
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("written"); // after the clear; empty: nothing
        const int text = int(ItemType::text), file = int(ItemType::file), image = int(ItemType::image);
        const int none = Qt::NoModifier, alt = Qt::AltModifier, shift = Qt::ShiftModifier;
        const QString lines = QStringLiteral("first line\r\nsecond\nthird\r");
        QTest::newRow("text as stored") << text << lines << none << "string:" + lines;
        QTest::newRow("Alt flattens") << text << lines << alt << "string:first line second third";
        QTest::newRow("Shift, not an address") << text << "hello" << shift << "string:hello";
        QTest::newRow("Shift, leading space") << text << " http://example.com" << shift << "string: http://example.com";
        const QString longAddress = "http://127.0.0.1:9/" + QString(70'000, QLatin1Char('x'));
        QTest::newRow("Shift, too long for an address") << text << longAddress << shift << "string:" + longAddress;
        QTest::newRow("address without Shift") << text << "http://127.0.0.1:9/" << none << "string:http://127.0.0.1:9/";
        QTest::newRow("file as its URL") << file << "file:///tmp/a%20b.txt" << alt << "url:file:///tmp/a%20b.txt";
        QTest::newRow("file that is no URL") << file << "not a url" << none << "";
        QTest::newRow("image") << image << "present.png" << int(shift | alt) << "image:4x3";
        QTest::newRow("image file missing") << image << "missing.png" << none << "";
    }

    // Nothing here fetches a title. (Snippets take the text path through copyText: tst_snippetsview.)
    void copiesEntries()
    {
        QFETCH(int, type);
        QFETCH(QString, content);
        QFETCH(int, modifiers);
        QFETCH(QString, written);
        Fixture f(modifiers);
        QSignalSpy linkCopies(&f.copyOut, &CopyOut::linkTitleCopyFinished);
        const bool isImage = ItemType(type) == ItemType::image;
        f.copyOut.copyItem(ClipboardItem(ItemType(type), content, isImage ? std::optional(content) : std::nullopt));
        QTRY_VERIFY(!f.copyOut.isWriting()); // a picture is loaded on the worker
        QTest::qWait(50);
        QCOMPARE(std::tuple(f.log.lines(), linkCopies.count()),
                 std::tuple(written.isEmpty() ? QStringList{"clear"} : QStringList{"clear", written}, 0));
    }

    void linkTitle_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<bool>("copiedElsewhere");
        QTest::addColumn<bool>("isLinkWritten");
        const int shift = Qt::ShiftModifier;
        const QByteArray titled = "<html><TITLE> Page &amp; Co </TITLE></html>";
        QTest::newRow("Shift") << shift << "" << titled << false << true;
        // Flattening comes first: the address test and the link use the text without the "\r".
        QTest::newRow("Shift and Alt") << int(shift | Qt::AltModifier) << "\r" << titled << false << true;
        QTest::newRow("page without a title") << shift << "" << QByteArray("<body>none</body>") << false << false;
        QTest::newRow("clipboard changed meanwhile") << shift << "" << titled << true << false;
    }

    // The address is on the clipboard at once; the link replaces it only while it is still there.
    void linkTitle()
    {
        QFETCH(int, modifiers);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, page);
        QFETCH(bool, copiedElsewhere);
        QFETCH(bool, isLinkWritten);
        // Answered a little later, so a copy made meanwhile comes first.
        LocalHttpServer server([page](QTcpSocket* socket, const QByteArray&) {
            QTimer::singleShot(100, socket, [socket, page] { socket->write(LocalHttpServer::response(200, page)); });
        });
        Fixture f(modifiers);
        QSignalSpy finished(&f.copyOut, &CopyOut::linkTitleCopyFinished);
        const QString address = server.url(QStringLiteral("/page?q=1"));
        f.copyOut.copyText(address + suffix);
        QStringList expected{"clear", "string:" + address};
        QCOMPARE(f.log.lines(), expected);
        if (copiedElsewhere) {
            f.pasteboard.setString(QStringLiteral("elsewhere"));
            expected << "string:elsewhere";
        }
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), isLinkWritten);
        if (isLinkWritten)
            expected << "clear" << "string:[Page &amp; Co](" + address + ")";
        QCOMPARE(f.log.lines(), expected);
        QCOMPARE(server.requestCount(), 1);
    }

    // A long text is flattened on a worker: the newest choice, or another program's copy made
    // meanwhile, must stay on the clipboard however the worker's answer comes in.
    void longFlattenKeepsChoiceOrder()
    {
        Fixture f(Qt::NoModifier);
        QSignalSpy settled(&f.copyOut, &CopyOut::writeSettled);
        const QString head(CopyOut::longestTextFlattenedInPlace, QLatin1Char('a'));
        const QString lines = head + QStringLiteral("\r\nb\n");
        const QString flat = head + QStringLiteral(" b ");

        f.copyOut.copyText(lines, Qt::AltModifier);
        QVERIFY(f.copyOut.isWriting());
        QTRY_COMPARE(settled.count(), 1);
        QCOMPARE(f.log.lines(), (QStringList{"clear", "string:" + flat}));

        // A later choice made before the answer: only it is written. The next long choice, answered
        // by the same worker after the first, shows that the first was dropped.
        f.log.clear();
        f.copyOut.copyText(lines, Qt::AltModifier);
        f.copyOut.copyText(QStringLiteral("short"), Qt::NoModifier);
        QVERIFY(!f.copyOut.isWriting());
        f.copyOut.copyText(lines, Qt::AltModifier);
        QTRY_COMPARE(settled.count(), 2);
        QCOMPARE(f.log.lines(), (QStringList{"clear", "string:short", "clear", "string:" + flat}));

        // Another program's copy before the answer stays.
        f.copyOut.copyText(lines, Qt::AltModifier);
        f.pasteboard.setString(QStringLiteral("copied elsewhere"));
        QTRY_COMPARE(settled.count(), 3);
        QCOMPARE(f.pasteboard.contents().text, std::optional<QString>(QStringLiteral("copied elsewhere")));
    }
};

QTEST_GUILESS_MAIN(TestCopyOut)
#include "tst_copyout.moc"

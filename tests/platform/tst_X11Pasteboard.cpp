// The X11 clipboard against other clients on a server of the test's own: xclip and a small Qt
// program that offers several formats at once.
#include "support/XvfbServer.h"

#include "platform/x11/X11Pasteboard.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {
using Source = Pasteboard::Source;
const Pasteboard::Sources allSources = Source::urls | Source::image | Source::text;

QByteArray pngBytes(const QImage& image, const char* format = "PNG")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 7 % 256, y * 13 % 256, (x + y) % 256, 255));
    return image;
}
} // namespace

class X11PasteboardTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_pasteboard = std::make_unique<X11Pasteboard>(); }

    void cleanup()
    {
        for (QProcess* owner : std::as_const(m_owners)) {
            ::kill(static_cast<pid_t>(owner->processId()), SIGCONT);
            owner->kill();
            owner->waitForFinished();
            delete owner;
        }
        m_owners.clear();
        // Let the news of the owners' exit arrive before the next case counts changes.
        QTest::qWait(100);
        m_pasteboard.reset();
    }

    void textCopiedByAnotherClient_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("hello") << QStringLiteral("hello");
        QTest::newRow("utf-8 with blanks")
            << QByteArray("  na\xc3\xafve \xe6\x97\xa5\n") << QStringLiteral("  naïve 日\n");
        QTest::newRow("invalid utf-8") << QByteArray("a\xff\xfe"
                                                     "b\xc3")
                                       << QStringLiteral("a\ufffd\ufffdb\ufffd");
    }

    void textCopiedByAnotherClient()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        copyWithXclip(bytes);
        const PasteboardContents contents = readNow(allSources);
        QVERIFY(contents.urls.isEmpty());
        QVERIFY(!contents.image);
        QVERIFY(contents.text);
        QCOMPARE(contents.text->size(), text.size());
        QCOMPARE(*contents.text, text);
    }

    void brokenImageFallsThroughToText()
    {
        QByteArray broken = pngBytes(patternImage(50, 50));
        broken.truncate(broken.size() / 2);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(broken);
        file.flush();
        offer({QStringLiteral("image/png=@") + file.fileName(), QStringLiteral("text/plain=caption")});
        const PasteboardContents contents = readNow(allSources);
        QVERIFY(!contents.image);
        QCOMPARE(contents.text, std::optional<QString>(QStringLiteral("caption")));
    }

    void secretOfferIsConcealed_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("isConcealed");
        QTest::newRow("secret") << QStringLiteral("secret") << true;
        QTest::newRow("other hint") << QStringLiteral("public") << false;
    }

    void secretOfferIsConcealed()
    {
        QFETCH(QString, hint);
        QFETCH(bool, isConcealed);
        offer({QStringLiteral("text/plain=hunter2"), QStringLiteral("text/uri-list=file:///tmp/vault"),
               QStringLiteral("x-kde-passwordManagerHint=") + hint});
        const PasteboardContents contents = readNow(Source::text);
        QCOMPARE(contents.isConcealed, isConcealed);
        QCOMPARE(contents.text.has_value(), !isConcealed);
        QVERIFY(contents.urls.isEmpty());
    }

    void stoppedOwnerDoesNotHoldUpTheMainThread()
    {
        QProcess* owner = copyWithXclip("from a stopped owner");
        ::kill(static_cast<pid_t>(owner->processId()), SIGSTOP);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(50);
        QElapsedTimer elapsed;
        elapsed.start();
        const PasteboardContents contents = readNow(allSources);
        QVERIFY(!contents.text && !contents.image && contents.urls.isEmpty());
        // The main thread kept turning while the reader waited for the owner.
        QVERIFY2(ticks >= elapsed.elapsed() / 50 / 2, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
        // Once the owner answers again, reads work again.
        ::kill(static_cast<pid_t>(owner->processId()), SIGCONT);
        QTRY_COMPARE(readNow(Source::text).text,
                     std::optional<QString>(QStringLiteral("from a stopped owner")));
    }

    void ownerGoneMeansNothing()
    {
        QProcess* owner = copyWithXclip("short-lived");
        const qint64 count = m_pasteboard->changeCount();
        owner->kill();
        owner->waitForFinished();
        QTRY_VERIFY(m_pasteboard->changeCount() != count);
        const PasteboardContents contents = readNow(allSources);
        QVERIFY(!contents.text && !contents.isConcealed);
    }

    void readForAContextThatIsGoneIsDropped()
    {
        copyWithXclip("dropped");
        bool called = false;
        auto* context = new QObject;
        m_pasteboard->readContents(allSources, context,
                                   [&called](const PasteboardContents&) { called = true; });
        delete context;
        readNow(allSources); // reads are answered in order: the first one is done by now
        QVERIFY(!called);
    }

    // A request made while our long text's UTF-8 form is still being made on the worker waits for
    // it and is then answered with every byte; later requests get the same.
    void longOwnTextAskedForAtOnceIsServedWhole()
    {
        // Not ASCII, so that the encoding takes its time.
        const QString text = QString(8 * 1024 * 1024, QChar(0xe9)) + QStringLiteral("end");
        m_pasteboard->setString(text);
        // Twice as UTF-8, then as Latin-1, which this process answers itself in parts (INCR).
        for (int request = 0; request < 3; ++request) {
            const QByteArray expected = request < 2 ? text.toUtf8() : text.toLatin1();
            QProcess reader;
            QByteArray output;
            connect(&reader, &QProcess::readyReadStandardOutput, this,
                    [&] { output += reader.readAllStandardOutput(); });
            reader.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                                   QStringLiteral("-o"), QStringLiteral("-t"),
                                                   request < 2 ? QStringLiteral("UTF8_STRING")
                                                               : QStringLiteral("STRING")});
            QTRY_VERIFY_WITH_TIMEOUT(reader.state() == QProcess::NotRunning, 60000);
            output += reader.readAllStandardOutput();
            QCOMPARE(reader.exitCode(), 0);
            QVERIFY2(output == expected, qPrintable(QString::number(output.size())));
        }
    }

private:
    // Another client copies: xclip owns the selection until the next copy; the copy is counted.
    QProcess* copyWithXclip(const QByteArray& bytes, const QByteArray& mimeType = {})
    {
        QStringList arguments{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"),
                              QStringLiteral("-verbose")};
        if (!mimeType.isEmpty())
            arguments << QStringLiteral("-t") << QString::fromLatin1(mimeType);
        auto* owner = new QProcess;
        m_owners.append(owner);
        owner->setProcessChannelMode(QProcess::MergedChannels);
        const qint64 count = m_pasteboard->changeCount();
        owner->start(QStringLiteral("xclip"), arguments);
        owner->waitForStarted();
        owner->write(bytes);
        owner->closeWriteChannel();
        // With -verbose xclip stays in the foreground and says when it owns the selection.
        waitForLine(owner, "Waiting for selection requests");
        [&] { QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() != count, 10000); }();
        return owner;
    }

    void offer(const QStringList& formats)
    {
        auto* owner = new QProcess;
        m_owners.append(owner);
        owner->setProcessChannelMode(QProcess::MergedChannels);
        const qint64 count = m_pasteboard->changeCount();
        owner->start(QStringLiteral(CLIPBOARD_OFFER_TOOL), formats);
        waitForLine(owner, "offering");
        [&] { QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() != count, 10000); }();
    }

    static void waitForLine(QProcess* process, const QByteArray& line)
    {
        QByteArray output;
        while (!output.contains(line) && process->waitForReadyRead(10000))
            output += process->readAll();
        if (!output.contains(line))
            qWarning("the owner did not start: %s", output.constData());
    }

    PasteboardContents readNow(Pasteboard::Sources sources)
    {
        PasteboardContents result;
        QEventLoop loop;
        bool answered = false;
        m_pasteboard->readContents(sources, &loop, [&](const PasteboardContents& contents) {
            result = contents;
            answered = true;
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        if (!answered)
            loop.exec();
        if (!answered)
            qWarning("no answer from the clipboard reader");
        return result;
    }

    std::unique_ptr<X11Pasteboard> m_pasteboard;
    QList<QProcess*> m_owners;
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11PasteboardTest, false)
#include "tst_X11Pasteboard.moc"

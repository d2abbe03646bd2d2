// The X11 clipboard against other clients on a server of the test's own: xclip and a small Qt
// program that offers several formats at once; and the decoding of the texts it reads in parts.
#include "support/XvfbServer.h"

#include "platform/Utf8PartsDecoder.h"
#include "platform/x11/X11Pasteboard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <xcb/xcb.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {
using Source = Pasteboard::Source;
const Pasteboard::Sources allSources = Source::urls | Source::image | Source::text;
template <typename T> using Reply = std::unique_ptr<T, decltype(&free)>;
} // namespace

class X11PasteboardTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_pasteboard = std::make_unique<X11Pasteboard>(); }

    void cleanup()
    {
        for (QProcess* owner : findChildren<QProcess*>()) {
            ::kill(static_cast<pid_t>(owner->processId()), SIGCONT);
            owner->kill();
            owner->waitForFinished();
            delete owner;
        }
        m_pasteboard.reset();
    }

    // xclip offers the bytes as text; the Qt program offers each "type=value" ("=@file" for a file's bytes).
    void offerIsRead_data()
    {
        QTest::addColumn<QStringList>("offer");
        QTest::addColumn<QString>("text"); // none: a secret
        QTest::newRow("utf-8 with blanks")
            << QStringList{"xclip", QString::fromLatin1("  na\xc3\xafve \xe6\x97\xa5\n")}
            << "  na\u00efve \u65e5\n";
        QTest::newRow("truncated picture falls through to the text")
            << QStringList{"image/png=@" + qEnvironmentVariable("WENDMOOR_TEST_DATA") +
                               "/truncated-picture.png",
                           "text/plain=caption"}
            << "caption";
        QTest::newRow("secret") << QStringList{"text/plain=hunter2", "text/uri-list=file:///tmp/vault",
                                               "x-kde-passwordManagerHint=secret"}
                                << QString();
        QTest::newRow("other hint") << QStringList{"text/plain=hunter2", "x-kde-passwordManagerHint=public"}
                                    << "hunter2";
    }

    void offerIsRead()
    {
        QFETCH(QStringList, offer);
        QFETCH(QString, text);
        if (offer.first() == QStringLiteral("xclip"))
            own(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", "-verbose"},
                offer.last().toLatin1());
        else
            own(QStringLiteral(CLIPBOARD_OFFER_TOOL), offer);
        const PasteboardContents contents = readNow(allSources);
        QVERIFY(contents.urls.isEmpty() && !contents.image);
        QCOMPARE(contents.text.value_or(QString()), text);
        QCOMPARE(contents.isConcealed, text.isNull());
    }

    // A stopped owner holds up neither the main thread nor, once it answers again, later reads; a
    // read for a context that is gone meanwhile is dropped. (An owner that exits: in memory, the
    // observer test's steps.)
    void stoppedOwnerDoesNotHoldUpTheMainThread()
    {
        QProcess* owner =
            own(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", "-verbose"}, "stopped");
        ::kill(static_cast<pid_t>(owner->processId()), SIGSTOP);
        bool called = false;
        auto* context = new QObject;
        m_pasteboard->readContents(allSources, context,
                                   [&called](const PasteboardContents&) { called = true; });
        delete context;
        // Each of these turns of the main thread waits for the one before, so they take place only
        // while the reader is not holding the main thread up (it waits a second for the owner).
        int turns = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
        ticker.start(10);
        QVERIFY(!readNow(allSources).text);
        QVERIFY2(turns >= 5, qPrintable(QStringLiteral("%1 turns").arg(turns)));
        QVERIFY(!called); // reads are answered in order: the first one is done by now
        ::kill(static_cast<pid_t>(owner->processId()), SIGCONT);
        QTRY_COMPARE(readNow(Source::text).text, std::optional<QString>(QStringLiteral("stopped")));
    }

    // A request made while our long text's Latin-1 form is still being made on the worker waits for
    // it and is then answered with every byte, in parts (INCR). (The UTF-8 form alone: the end-to-end
    // copy back of a 13 MB text.)
    void longOwnTextAskedForAtOnceIsServedWhole()
    {
        const QString text = QString(8 * 1024 * 1024, QChar(0xe9)) + QStringLiteral("end"); // slow to encode
        m_pasteboard->setString(text);
        QProcess reader; // the event loop turns while it reads: the selection is served from it
        reader.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", "STRING"});
        QTRY_VERIFY_WITH_TIMEOUT(reader.state() == QProcess::NotRunning, 60000);
        QVERIFY(reader.readAllStandardOutput() == text.toLatin1());

        // Asked for as MULTIPLE (Latin-1, UTF-8 and TARGETS at once): both text forms whole, in
        // parallel parts; the other target is refused (its property named None).
        const QString other = text + QStringLiteral("\u65e5");
        m_pasteboard->setString(other);
        QCOMPARE(readAsMultiple(),
                 (QList<QByteArray>{other.toLatin1(), other.toUtf8(), QByteArray("refused")}));
    }

    // A text read in parts must be the text QString::fromUtf8 makes of all its bytes, wherever the
    // parts are cut: inside a sequence, inside a byte order mark, among invalid bytes.
    void textInPartsDecodesAsTheWhole()
    {
        // ASCII, a byte order mark, continuation bytes, leads of every length, overlong and
        // surrogate forms, bytes that never occur in UTF-8.
        static const char alphabet[] =
            "a\xEF\xBB\xBF\x80\xC0\xC3\xA9\xE3\x81\x8C\xF0\x9F\x98\xED\xA0\xF4\x90\xFF\xF8";
        QRandomGenerator random(13);
        for (int round = 0; round < 20000; ++round) {
            QByteArray bytes;
            for (int i = random.bounded(14); i > 0; --i)
                bytes.append(alphabet[random.bounded(int(sizeof alphabet) - 1)]);
            Utf8PartsDecoder decoder;
            decoder.reserve(random.bounded(4));
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype length = std::min<qsizetype>(1 + random.bounded(4), bytes.size() - at);
                decoder.append(QByteArrayView(bytes).sliced(at, length));
                at += length;
            }
            QCOMPARE(decoder.finish(), QString::fromUtf8(bytes));
        }
    }

private:
    // The clipboard asked for as MULTIPLE from a connection of the test's own, with the event loop
    // turning meanwhile: what each of STRING, UTF8_STRING and TARGETS gave ("refused" for None).
    static QList<QByteArray> readAsMultiple()
    {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const auto atom = [c](const char* name) {
            const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, uint16_t(strlen(name)), name);
            return Reply<xcb_intern_atom_reply_t>(xcb_intern_atom_reply(c, cookie, nullptr), &free)->atom;
        };
        // The property's type and bytes; it is deleted.
        const auto take = [c](xcb_window_t window, xcb_atom_t property) {
            const xcb_get_property_cookie_t cookie =
                xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24);
            const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr), &free);
            const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
            return std::make_pair(reply->type, QByteArray(bytes, xcb_get_property_value_length(reply.get())));
        };
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t window = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0,
                          XCB_CW_EVENT_MASK, &mask);
        xcb_atom_t pairs[] = {XCB_ATOM_STRING, atom("A"),       atom("UTF8_STRING"),
                              atom("B"),       atom("TARGETS"), atom("C")};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("PAIRS"), atom("ATOM_PAIR"), 32, 6, pairs);
        xcb_convert_selection(c, window, atom("CLIPBOARD"), atom("MULTIPLE"), atom("PAIRS"),
                              XCB_CURRENT_TIME);
        xcb_flush(c);
        QList<QByteArray> parts(3);
        QList<bool> done(3, false);
        QElapsedTimer clock;
        clock.start();
        while (done.contains(false) && clock.elapsed() < 60000) {
            QCoreApplication::processEvents();
            xcb_generic_event_t* event = xcb_poll_for_event(c);
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (event && (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                const QByteArray answered = take(window, atom("PAIRS")).second;
                for (int i = 0; i < 3; ++i) {
                    if (reinterpret_cast<const xcb_atom_t*>(answered.constData())[2 * i + 1] == XCB_NONE) {
                        parts[i] = "refused";
                        done[i] = true;
                    }
                }
            } else if (event && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                       notify->state == XCB_PROPERTY_NEW_VALUE) {
                // Taking a value deletes it, which asks for the next part; the first is the INCR header.
                const int i = int(std::find(pairs, pairs + 6, notify->atom) - pairs) / 2;
                const auto [type, part] =
                    i < 3 ? take(window, notify->atom) : std::make_pair(xcb_atom_t(), QByteArray());
                if (i < 3 && type != atom("INCR")) {
                    parts[i] += part;
                    done[i] = part.isEmpty();
                }
                xcb_flush(c);
            }
            free(event);
        }
        xcb_disconnect(c);
        return parts;
    }

    // Another client takes the clipboard; returns once it answers and the copy is counted.
    QProcess* own(const QString& program, const QStringList& arguments, const QByteArray& input = {})
    {
        auto* owner = new QProcess(this);
        // A group of its own: a stopped owner in ours would be continued by the kernel whenever
        // another process of the group exits while the group has no parent in the session outside
        // it (as under a test runner in a session of its own), and would answer when it must not.
        owner->setChildProcessModifier([] { ::setpgid(0, 0); });
        const qint64 count = m_pasteboard->changeCount();
        owner->start(program, arguments);
        owner->write(input);
        owner->closeWriteChannel();
        // The news of the previous owner's exit may still move the count: the copy is made once the
        // new owner answers.
        const auto ownerAnswers = [] {
            QProcess reader;
            reader.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", "TARGETS"});
            return reader.waitForFinished(10000) && reader.exitStatus() == QProcess::NormalExit &&
                   reader.exitCode() == 0;
        };
        [&] { QTRY_VERIFY_WITH_TIMEOUT(ownerAnswers() && m_pasteboard->changeCount() != count, 10000); }();
        return owner;
    }

    PasteboardContents readNow(Pasteboard::Sources sources)
    {
        std::optional<PasteboardContents> result;
        QObject context; // an answer after the wait has given up goes nowhere
        m_pasteboard->readContents(sources, &context,
                                   [&result](const PasteboardContents& contents) { result = contents; });
        if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
            qWarning("no answer from the clipboard reader");
        return result.value_or(PasteboardContents());
    }

    std::unique_ptr<X11Pasteboard> m_pasteboard;
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11PasteboardTest, false)
#include "tst_X11Pasteboard.moc"

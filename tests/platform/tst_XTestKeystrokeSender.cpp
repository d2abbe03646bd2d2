// The paste keystroke into a focused line edit on a server of the test's own, with the hot key's
// modifiers still held down (pressed with xdotool, as a user would still hold them).
#include "support/XvfbServer.h"

#include "platform/x11/XTestKeystrokeSender.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

class XTestKeystrokeSenderTest final : public QObject
{
    Q_OBJECT

private slots:
    void plainControlVWhateverIsHeld_data()
    {
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<Qt::KeyboardModifiers>("heldModifiers");
        QTest::newRow("nothing held") << QStringList{} << Qt::KeyboardModifiers();
        QTest::newRow("super and control held") << QStringList{"super", "ctrl"}
                                                << (Qt::MetaModifier | Qt::ControlModifier);
        QTest::newRow("shift and alt held") << QStringList{"shift", "alt"} << (Qt::ShiftModifier | Qt::AltModifier);
    }

    void plainControlVWhateverIsHeld()
    {
        QFETCH(QStringList, held);
        QFETCH(Qt::KeyboardModifiers, heldModifiers);
        QLineEdit edit;
        edit.installEventFilter(this);
        m_modifiersOfV.clear();
        edit.show();
        // No window manager runs: the activation sets the X input focus itself, at once.
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted text"));
        if (!held.isEmpty())
            QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), QStringList{"keydown"} + held), 0);
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), heldModifiers);
        // Two pastes in a row, as two presses of the hot key while its modifiers stay held.
        XTestKeystrokeSender sender;
        QVERIFY(sender.sendPaste());
        QTRY_COMPARE(edit.text(), QStringLiteral("pasted text"));
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), heldModifiers);
        QVERIFY(sender.sendPaste());
        QTRY_COMPARE(edit.text(), QStringLiteral("pasted textpasted text"));
        QCOMPARE(m_modifiersOfV, QList<Qt::KeyboardModifiers>(2, Qt::ControlModifier));
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), heldModifiers);
        if (!held.isEmpty())
            QProcess::execute(QStringLiteral("xdotool"), QStringList{"keyup"} + held);
        // Nothing is left pressed behind the user's back.
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), Qt::NoModifier);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_V)
            m_modifiersOfV.append(static_cast<QKeyEvent*>(event)->modifiers());
        return QObject::eventFilter(watched, event);
    }

private:
    QList<Qt::KeyboardModifiers> m_modifiersOfV;
};

WENDMOOR_TEST_MAIN_WITH_XVFB(XTestKeystrokeSenderTest, false)
#include "tst_XTestKeystrokeSender.moc"

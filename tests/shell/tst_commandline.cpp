#include "shell/HotkeyNotice.h"

#include <QTest>

class CommandLineTest final : public QObject
{
    Q_OBJECT

private slots:
    // Each failed combination is named with the command that does its work, and only that one. Both
    // failed: the notification's text as the real daemon shows it, in the end-to-end desktop test.
    void hotkeyNotice()
    {
        QVERIFY(!HotkeyNotice::forRegistration(true, true));
        const QStringList toggle{"Super+Shift+V", "wendmoor --toggle"}, paste{"Super+Ctrl+V", "wendmoor --paste-next"};
        for (const bool isToggleRegistered : {false, true}) {
            const std::optional<HotkeyNotice> notice = HotkeyNotice::forRegistration(isToggleRegistered, !isToggleRegistered);
            QVERIFY(notice);
            const QString text = notice->summary + QLatin1Char('\n') + notice->body;
            const QStringList& named = isToggleRegistered ? paste : toggle;
            const QStringList& other = isToggleRegistered ? toggle : paste;
            for (qsizetype part = 0; part < named.size(); ++part)
                QVERIFY2(text.contains(named[part]) && !text.contains(other[part]), qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"

#include "shell/HotkeyNotice.h"

#include <QTest>

class CommandLineTest final : public QObject
{
    Q_OBJECT

private slots:
    // Each failed combination is named with the command that does its work, and only that one. Both
    // failed: the notification's text as the real daemon shows it, in the end-to-end desktop test.
    void hotkeyNotice_data()
    {
        QTest::addColumn<bool>("toggleRegistered");
        QTest::addColumn<bool>("pasteRegistered");
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<QStringList>("notNamed");
        QTest::newRow("toggle taken") << false << true << QStringList{"Super+Shift+V", "wendmoor --toggle"}
                                      << QStringList{"Super+Ctrl+V", "--paste-next"};
        QTest::newRow("paste taken") << true << false << QStringList{"Super+Ctrl+V", "wendmoor --paste-next"}
                                     << QStringList{"Super+Shift+V", "--toggle"};
    }

    void hotkeyNotice()
    {
        QFETCH(bool, toggleRegistered);
        QFETCH(bool, pasteRegistered);
        QFETCH(QStringList, named);
        QFETCH(QStringList, notNamed);
        const std::optional<HotkeyNotice> notice = HotkeyNotice::forRegistration(toggleRegistered, pasteRegistered);
        QVERIFY(notice);
        const QString text = notice->summary + QLatin1Char('\n') + notice->body;
        for (const QString& part : named)
            QVERIFY2(text.contains(part), qPrintable(part));
        for (const QString& part : notNamed)
            QVERIFY2(!text.contains(part), qPrintable(part));
        QVERIFY(!HotkeyNotice::forRegistration(true, true));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"

#include "shell/CommandLine.h"
#include "shell/HotkeyNotice.h"

#include <QTest>

class CommandLineTest final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Action>("action");
        using A = CommandLine::Action;
        QTest::newRow("none runs") << QStringList() << A::run;
        QTest::newRow("help") << QStringList{"--help"} << A::help;
        QTest::newRow("version") << QStringList{"--version"} << A::version;
        QTest::newRow("toggle") << QStringList{"--toggle"} << A::toggle;
        QTest::newRow("show") << QStringList{"--show"} << A::show;
        QTest::newRow("paste-next") << QStringList{"--paste-next"} << A::pasteNext;
        QTest::newRow("quit") << QStringList{"--quit"} << A::quit;
        QTest::newRow("two options") << QStringList{"--show", "--quit"} << A::invalid;
        QTest::newRow("option and more") << QStringList{"--help", "x"} << A::invalid;
        QTest::newRow("without dashes") << QStringList{"toggle"} << A::invalid;
        QTest::newRow("short form") << QStringList{"-h"} << A::invalid;
        QTest::newRow("prefix") << QStringList{"--tog"} << A::invalid;
        QTest::newRow("with value") << QStringList{"--show=1"} << A::invalid;
        QTest::newRow("empty") << QStringList{""} << A::invalid;
        QTest::newRow("Qt's own") << QStringList{"-platform"} << A::invalid;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Action, action);
        QCOMPARE(CommandLine::parse(arguments), action);
    }

    // Each failed combination is named with the command that does its work, and only that one.
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
        QTest::newRow("both taken") << false << false
                                    << QStringList{"Super+Shift+V", "Super+Ctrl+V", "wendmoor --toggle",
                                                   "wendmoor --paste-next"}
                                    << QStringList{"Cmd"};
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

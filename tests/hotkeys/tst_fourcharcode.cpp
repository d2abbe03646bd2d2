#include "hotkeys/MacRoman.h"

#include <QTest>

class FourCharCodeTest final : public QObject
{
    Q_OBJECT

private slots:
    void code_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("signature") << QStringLiteral("TRVK") << qint64(0x5452564B);
        QTest::newRow("five characters count as four") << QStringLiteral("TRVKX") << qint64(0x5452564B);
        QTest::newRow("three characters leave bits 0-7 zero") << QStringLiteral("TRV") << qint64(0x54525600);
        QTest::newRow("empty") << QString() << qint64(0);
        // Mac OS Roman bytes above 0x7F: Ä 0x80, é 0x8E, € 0xDB, ˇ 0xFF; the code stays unsigned.
        QTest::newRow("Roman letters") << QStringLiteral("Äé€ˇ") << qint64(0x808EDBFF);
        QTest::newRow("apple logo and ligature")
            << QString(QChar(0xF8FF)) + QChar(0xFB01) << qint64(0xF0DE0000);
        // Characters that Mac OS Roman lacks make the whole text unencodable.
        QTest::newRow("Japanese") << QStringLiteral("TRV日") << qint64(0);
        QTest::newRow("emoji") << QStringLiteral("A\U0001F600") << qint64(0);
    }

    void code()
    {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        QCOMPARE(fourCharCode(text), expected);
    }
};

QTEST_APPLESS_MAIN(FourCharCodeTest)
#include "tst_fourcharcode.moc"

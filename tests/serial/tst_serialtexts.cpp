// Turning the texts the window holds into what the serial line needs: the port number of a
// port text and the line settings of a settings text.
#include "serial/linesettings.h"
#include "serial/portnumber.h"
#include "serial/serialerror.h"

#include <QTest>

class SerialTextsTest : public QObject {
    Q_OBJECT
private slots:
    void portNumberFollowsTheLeadingDigitsRule_data();
    void portNumberFollowsTheLeadingDigitsRule();
    void settingsTextsAreReadOrRefused();
};

void SerialTextsTest::portNumberFollowsTheLeadingDigitsRule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint16>("number");
    QTest::newRow("COM12") << QStringLiteral("COM12") << qint16(12);
    QTest::newRow("COM1") << QStringLiteral("COM1") << qint16(1);
    QTest::newRow("three characters") << QStringLiteral("COM") << qint16(0);
    QTest::newRow("fewer") << QStringLiteral("CO") << qint16(0);
    QTest::newRow("empty") << QString() << qint16(0);
    QTest::newRow("prefix not checked") << QStringLiteral("tty7") << qint16(7);
    QTest::newRow("blank before digits") << QStringLiteral("COM 5") << qint16(5);
    QTest::newRow("trailing junk") << QStringLiteral("COM12abc") << qint16(12);
    QTest::newRow("no digits") << QStringLiteral("COMx1") << qint16(0);
    QTest::newRow("negative") << QStringLiteral("COM-3") << qint16(-3);
    QTest::newRow("cut to 16 bits") << QStringLiteral("COM65537") << qint16(1);
    QTest::newRow("16-bit wrap") << QStringLiteral("COM40000") << qint16(40000 - 65536);
    QTest::newRow("saturates first") << QStringLiteral("COM99999999999") << qint16(-1);
}

void SerialTextsTest::portNumberFollowsTheLeadingDigitsRule() {
    QFETCH(QString, text);
    QFETCH(qint16, number);
    QCOMPARE(portNumberFromText(text), number);
}

void SerialTextsTest::settingsTextsAreReadOrRefused() {
    const LineSettings line = parseLineSettings(QStringLiteral("38400,n,8,1"));
    QCOMPARE(line.baudRate, 38400);
    QCOMPARE(line.parity, QSerialPort::NoParity);
    QCOMPARE(line.dataBits, QSerialPort::Data8);
    QCOMPARE(line.stopBits, QSerialPort::OneStop);

    const LineSettings other = parseLineSettings(QStringLiteral("1200, M ,5,1.5"));
    QCOMPARE(other.baudRate, 1200);
    QCOMPARE(other.parity, QSerialPort::MarkParity);
    QCOMPARE(other.dataBits, QSerialPort::Data5);
    QCOMPARE(other.stopBits, QSerialPort::OneAndHalfStop);
    QCOMPARE(parseLineSettings(QStringLiteral("300,s,6,2")).parity, QSerialPort::SpaceParity);

    for (const char* bad :
         {"", "38400", "38400,n,8", "38400,n,8,1,1", "0,n,8,1", "-9600,n,8,1", "38400,q,8,1",
          "38400,no,8,1", "38400,n,9,1", "38400,n,4,1", "38400,n,8,3", "38400,n,8,"}) {
        bool refused = false;
        try {
            parseLineSettings(QString::fromLatin1(bad));
        } catch (const SerialError& error) {
            refused = error.text().contains(QString::fromLatin1(bad));
        }
        QVERIFY2(refused, bad);
    }
}

QTEST_GUILESS_MAIN(SerialTextsTest)
#include "tst_serialtexts.moc"

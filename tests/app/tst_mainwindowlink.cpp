// The main window driving the instrument protocol over a pseudo-terminal: its timers send the
// requests, its communication event feeds the answers in, and its fields show the result.
#include "controls.h"
#include "eventwait.h"
#include "masterside.h"
#include "messagecapture.h"
#include "ptydevicefolder.h"

#include "app/trellmodlg.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// CRC-16/MODBUS, bit by bit; the instrument puts the high-order byte first.
QByteArray withCrc(QByteArray frame) {
    quint16 crc = 0xFFFF;
    for (const char c : frame) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<quint16>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    frame.append(static_cast<char>(crc >> 8));
    frame.append(static_cast<char>(crc & 0xFF));
    return frame;
}

struct Window {
    PtyDeviceFolder devices;
    MessageCapture messages;
    std::unique_ptr<CTrellmoDlg> dlg;
    PtyPair* instrument = nullptr;

    Window() {
        instrument = devices.add(QStringLiteral("ttyUSB0"));
        dlg = std::make_unique<CTrellmoDlg>(DialogSettings{devices.path(), messages.presenter()});
    }
    void press(int id) { QTest::mouseClick(controlOf<QPushButton>(*dlg, id), Qt::LeftButton); }
    QString field(int id) { return controlOf<QLineEdit>(*dlg, id)->text(); }
    // Reconnects the instrument under the same device name, as after replugging it.
    void replug() { instrument = devices.add(QStringLiteral("ttyUSB0")); }
};

// Splits what the instrument received into 8-byte requests.
QList<QByteArray> requestsIn(const QByteArray& bytes) {
    QList<QByteArray> requests;
    for (qsizetype at = 0; at + 8 <= bytes.size(); at += 8) {
        requests << bytes.mid(at, 8);
    }
    return requests;
}

} // namespace

class MainWindowLinkTest : public QObject {
    Q_OBJECT
private slots:
    void readParameterAndDownloadDriveTheLine();
    void closePortStopsTheParameterSequence();
    void lostPortStopsTheParameterSequence();
};

void MainWindowLinkTest::readParameterAndDownloadDriveTheLine() {
    Window w;
    QVERIFY(w.instrument != nullptr);
    w.press(ControlId::OpenPort);
    w.press(ControlId::ReadParameter);

    // Step 1 asks for the channel count; its answer reaches the Receive and Channel fields.
    QCOMPARE(readFromMaster(*w.instrument, 8), QByteArray::fromHex("010300020001CA25"));
    QVERIFY(waitUntil([&] { return w.field(ControlId::SendText) == "010300020001CA25"; }));
    const QByteArray channelCount = withCrc(QByteArray::fromHex("01030104"));
    QVERIFY(writeToMaster(*w.instrument, channelCount.left(3)));
    QVERIFY(waitUntil([&] { return w.field(ControlId::ReceiveText) == "01 03 01 "; }));
    QVERIFY(writeToMaster(*w.instrument, channelCount.mid(3)));
    QVERIFY(waitUntil([&] { return w.field(ControlId::ChannelCount) == "4"; }));
    QCOMPARE(w.field(ControlId::ReceiveText),
             QString::fromLatin1(channelCount.toHex(' ').toUpper() + ' '));

    // Step 2 asks for the record total; a total above 0 enables Download Data.
    QCOMPARE(readFromMaster(*w.instrument, 8), QByteArray::fromHex("01030003000409B4"));
    QVERIFY(writeToMaster(*w.instrument, withCrc(QByteArray::fromHex("01030400000002"))));
    QVERIFY(waitUntil([&] { return w.field(ControlId::RecordTotal) == "2"; }));
    QVERIFY(controlOf<QPushButton>(*w.dlg, ControlId::DownloadData)->isEnabled());

    // Download Data ends the parameter sequence and asks for record 1, again and again while
    // it stays unanswered.
    drainMaster(*w.instrument, 20);
    w.press(ControlId::DownloadData);
    const QByteArray recordOne = withCrc(QByteArray::fromHex("014100000001"));
    QList<QByteArray> requests = requestsIn(drainMaster(*w.instrument, 600));
    if (!requests.isEmpty() && requests.first().at(1) == 0x03) {
        requests
            .removeFirst(); // a parameter request already on its way when the button was pressed
    }
    QVERIFY2(requests.size() >= 3, qPrintable(QString::number(requests.size())));
    for (const QByteArray& request : requests) {
        QCOMPARE(request, recordOne);
    }
    QCOMPARE(w.field(ControlId::SendText), QString::fromLatin1(recordOne.toHex()));
    QCOMPARE(w.field(ControlId::PercentText), QStringLiteral("50.0%"));
    QCOMPARE(controlOf<QProgressBar>(*w.dlg, ControlId::Progress)->value(), 50);
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowLinkTest::closePortStopsTheParameterSequence() {
    Window w;
    QVERIFY(w.instrument != nullptr);
    w.press(ControlId::OpenPort);
    w.press(ControlId::ReadParameter);
    QCOMPARE(readFromMaster(*w.instrument, 8), QByteArray::fromHex("010300020001CA25"));
    w.press(ControlId::OpenPort);
    w.press(ControlId::OpenPort);
    // Reopened: nothing goes out until Read parameter is pressed again.
    QCOMPARE(drainMaster(*w.instrument, 500), QByteArray());
    w.press(ControlId::ReadParameter);
    QCOMPARE(readFromMaster(*w.instrument, 8), QByteArray::fromHex("010300020001CA25"));
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowLinkTest::lostPortStopsTheParameterSequence() {
    Window w;
    QVERIFY(w.instrument != nullptr);
    w.press(ControlId::OpenPort);
    w.press(ControlId::ReadParameter);
    QCOMPARE(readFromMaster(*w.instrument, 8), QByteArray::fromHex("010300020001CA25"));
    w.instrument->hangUp();
    QVERIFY(waitUntil([&] { return w.messages.count() == 1; }));

    w.replug();
    QVERIFY(w.instrument != nullptr);
    w.press(ControlId::OpenPort);
    QCOMPARE(controlOf<QPushButton>(*w.dlg, ControlId::OpenPort)->text(),
             QStringLiteral("Close Port"));
    QCOMPARE(drainMaster(*w.instrument, 500), QByteArray());
    QCOMPARE(w.messages.count(), 1);
}

QTEST_MAIN(MainWindowLinkTest)
#include "tst_mainwindowlink.moc"

// The instrument link over a pseudo-terminal, a real QSerialPort and real timers, against the
// simulated instrument: what the main window does, without the window.
#include "instrumentsim.h"
#include "linkfakes.h"
#include "model/codetables.h"
#include "protocol/framecodec.h"
#include "serialline.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// Stands in for the main window: owns the port, the two timers and the link's ports.
class LinkDriver {
public:
    explicit LinkDriver(const QString& device) {
        opened = line.open(device);
        QObject::connect(&line.port(), &QSerialPort::readyRead,
                         [this] { link.receive(line.port().readAll()); });
        // As the main window runs them.
        parameterTimer.setTimerType(Qt::PreciseTimer);
        downloadTimer.setTimerType(Qt::PreciseTimer);
        parameterTimer.setInterval(InstrumentLink::kParameterPeriodMs);
        QObject::connect(&parameterTimer, &QTimer::timeout, [this] {
            if (link.parameterTick() == TickOutcome::StopTimer) {
                parameterTimer.stop();
            }
        });
        downloadTimer.setInterval(InstrumentLink::kDownloadPeriodMs);
        QObject::connect(&downloadTimer, &QTimer::timeout, [this] { link.downloadTick(); });
        link.setExporter(&exporter);
    }

    bool readParameter() {
        link.readParameter();
        parameterTimer.start();
        return QTest::qWaitFor([this] { return !parameterTimer.isActive(); }, 5000);
    }
    bool download(qsizetype batches) {
        parameterTimer.stop();
        downloadTimer.start();
        link.startDownload();
        return QTest::qWaitFor([&] { return exporter.batches.size() >= batches; }, 20000);
    }

    SerialLine line;
    FakeTable table;
    WindowValues values;
    FakeExporter exporter;
    InstrumentLink link{line, table, values};
    QTimer parameterTimer;
    QTimer downloadTimer;
    bool opened = false;
};

QStringList ExpectedRow(const SimulatorConfig& config, quint32 n) {
    const SimRecord record = SimRecordOf(n);
    const auto& t = record.time;
    QStringList row{QString::asprintf("%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2],
                                      t[3], t[4], t[5])};
    QStringList gas, conc, unit;
    for (int c = 0; c < 6; ++c) {
        const auto k = static_cast<size_t>(c);
        if (c >= config.channels) {
            gas << QString();
            conc << QString();
            unit << QString();
            continue;
        }
        gas << GasNameOf(config.gasCodes[k]);
        conc << FormatReading(record.readings[k], config.precisionCodes[k], true);
        unit << UnitNameOf(config.unitCodes[k] > 5 ? 0 : config.unitCodes[k]);
    }
    return row + gas + conc + unit;
}

QStringList StoredRow(const RecordStore& store, quint32 row) {
    QStringList cells;
    for (int column = 0; column < RecordStore::kColumns; ++column) {
        cells << store.cell(column, row);
    }
    return cells;
}

} // namespace

class SimLinkTest : public QObject {
    Q_OBJECT
private slots:
    void simulatorReadsSplitAndNoisyRequests();
    void parameterReadFourChannels();
    void parameterReadSixChannelsWithFaults();
    void downloadFourChannels();
    void downloadSixChannelsWithFaults();
};

void SimLinkTest::simulatorReadsSplitAndNoisyRequests() {
    InstrumentSimulator sim;
    QVERIFY(sim.isValid());
    SerialLine line;
    QVERIFY(line.open(sim.slavePath()));
    const QByteArray request = QByteArray::fromHex("01410000000105FC");
    line.port().write(QByteArray("\xFF\x01", 2) + request.left(3));
    QTest::qWait(30);
    line.port().write(request.mid(3));
    QTRY_COMPARE(line.port().bytesAvailable(), 19);
    const QByteArray answer = line.port().readAll();
    QCOMPARE(answer.left(3), QByteArray("\x01\x41\x0E", 3));
    QVERIFY(FrameCrcMatches(reinterpret_cast<const quint8*>(answer.constData()), 19));
    QCOMPARE(sim.recordRequests(), QList<quint32>({1}));

    // Registers the instrument doesn't have and records it doesn't hold: exception answers.
    line.port().write(QByteArray::fromHex("010300990001") + QByteArray(2, '\0'));
    QByteArray unknown = QByteArray::fromHex("010300990001");
    AppendCrc(unknown);
    line.port().write(unknown);
    line.port().write(QByteArray::fromHex(RecordRequestText(31).toLatin1()));
    QTRY_COMPARE(line.port().bytesAvailable(), 10);
    const QByteArray exceptions = line.port().readAll();
    QCOMPARE(exceptions.left(3), QByteArray("\x01\x83\x02", 3));
    QCOMPARE(exceptions.mid(5, 3), QByteArray("\x01\xC1\x02", 3));
    QCOMPARE(sim.requests().size(), 3);
}

void SimLinkTest::parameterReadFourChannels() {
    InstrumentSimulator sim;
    LinkDriver driver(sim.slavePath());
    QVERIFY(driver.opened);
    QVERIFY(driver.readParameter());
    QCOMPARE(sim.requests().size(), 8);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(sim.requests()[i].bytes, QByteArray::fromHex(RequestFrameTable[i]));
    }
    for (int i = 2; i < 8; ++i) {
        QCOMPARE(sim.requests()[i].bytes, QByteArray::fromHex(RequestFrameTable[2 * i - 2]));
    }
    QCOMPARE(driver.values.channelCount, quint8(4));
    QCOMPARE(driver.values.recordTotal, 30u);
    QCOMPARE(driver.table.downloadEnabled, 1);
    const QStringList row4{"CH4     ", "10000.00", "%LEL", "0.01", "10.00", "20.00"};
    for (int column = 1; column <= 6; ++column) {
        QCOMPARE(driver.table.cell(3, column), row4[column - 1]);
        QVERIFY(driver.table.cell(4, column).isEmpty());
    }
}

void SimLinkTest::parameterReadSixChannelsWithFaults() {
    InstrumentSimulator sim(SimulatorConfig::SixChannels());
    sim.faultRequest(3, SimFault::wrongCrc());   // gas codes
    sim.faultRequest(6, SimFault::split(4, 15)); // ranges
    sim.faultRequest(7, SimFault::noAnswer());   // low alarms
    LinkDriver driver(sim.slavePath());
    QVERIFY(driver.opened);
    QVERIFY(driver.readParameter());
    QCOMPARE(sim.requests().size(), 8);
    QCOMPARE(sim.requests()[7].bytes, QByteArray::fromHex("010300170012C375"));
    QCOMPARE(driver.values.channelCount, quint8(6));
    for (int row = 0; row < 6; ++row) {
        QVERIFY(driver.table.cell(row, 1).isEmpty());
        QVERIFY(driver.table.cell(row, 5).isEmpty());
        QVERIFY(!driver.table.cell(row, 2).isEmpty());
        QVERIFY(!driver.table.cell(row, 6).isEmpty());
    }
    QCOMPARE(driver.table.cell(5, 3), QStringLiteral("mg/m3"));
    QCOMPARE(driver.table.cell(4, 2), QStringLiteral("5000.000"));
}

void SimLinkTest::downloadFourChannels() {
    InstrumentSimulator sim;
    LinkDriver driver(sim.slavePath());
    QVERIFY(driver.opened);
    QVERIFY(driver.readParameter());
    sim.clearLog();
    QVERIFY(driver.download(1));
    QCOMPARE(driver.exporter.sizes(), QList<quint32>({30}));
    for (quint32 n = 1; n <= 30; ++n) {
        QCOMPARE(StoredRow(driver.link.records(), n - 1), ExpectedRow(sim.config(), n));
    }
    // Asked in order, each record until it came; nothing after the last.
    const QList<quint32> asked = sim.recordRequests();
    QCOMPARE(asked.first(), 1u);
    QCOMPARE(asked.last(), 30u);
    for (int i = 1; i < asked.size(); ++i) {
        QVERIFY(asked[i] == asked[i - 1] || asked[i] == asked[i - 1] + 1);
    }
    QTest::qWait(150);
    QCOMPARE(sim.recordRequests().size(), asked.size());
    QCOMPARE(driver.values.percentText, QStringLiteral("100.0%"));
}

void SimLinkTest::downloadSixChannelsWithFaults() {
    SimulatorConfig config = SimulatorConfig::SixChannels();
    config.recordCount = 40;
    InstrumentSimulator sim(config);
    LinkDriver driver(sim.slavePath());
    QVERIFY(driver.opened);
    QVERIFY(driver.readParameter());
    sim.faultRecord(5, SimFault::noAnswer());
    sim.faultRecord(9, SimFault::wrongCrc());
    sim.faultRecord(13, SimFault::split(3, 10));
    sim.faultRecord(17, SimFault::extraBytes(QByteArray("\x01\x41\x00", 3)));
    sim.faultRecord(20, SimFault::exception());
    sim.faultRecord(25, SimFault::late(25));      // late, but before the next tick
    sim.faultRecord(40, SimFault::noAnswer(), 2); // the last answer, lost twice
    sim.clearLog();
    QVERIFY(driver.download(1));
    QCOMPARE(driver.exporter.sizes(), QList<quint32>({40}));
    QCOMPARE(driver.exporter.batches[0].layout, ChannelLayout::Six);
    for (quint32 n = 1; n <= 40; ++n) {
        QCOMPARE(StoredRow(driver.link.records(), n - 1), ExpectedRow(config, n));
    }
    const QList<quint32> asked = sim.recordRequests();
    for (const quint32 repeated : {5u, 9u, 20u}) {
        QVERIFY2(asked.count(repeated) >= 2, qPrintable(QString::number(repeated)));
    }
    QVERIFY(asked.count(40) >= 3);
    QCOMPARE(asked.last(), 40u);
    QCOMPARE(driver.link.state().storeRow, 0u);
}

QTEST_GUILESS_MAIN(SimLinkTest)
#include "simlink_test.moc"

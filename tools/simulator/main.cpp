// trellmo-sim: plays the gas detector on a pseudo-terminal for trying the program by hand.
#include "instrumentsim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trellmo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated gas detector (Modbus RTU slave 1) on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption channels(QStringLiteral("channels"),
                                      QStringLiteral("4 or 6 sensor channels (default 4)."),
                                      QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption records(QStringLiteral("records"),
                                     QStringLiteral("Number of stored records (default 30)."),
                                     QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption countByte(
        QStringLiteral("count-byte"),
        QStringLiteral("Raw channel-count byte, e.g. 0x16 (default: the channel count)."),
        QStringLiteral("byte"));
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Also link the device as <folder>/ttyUSB0 (e.g. /tmp/trellmo-dev)."),
        QStringLiteral("folder"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print every request received."));
    const QCommandLineOption late(
        QStringLiteral("late"),
        QStringLiteral("Answer the first request for record n only after ms milliseconds; may be "
                       "given several times (e.g. --late 21:96)."),
        QStringLiteral("n:ms"));
    const QCommandLineOption muteAt(
        QStringLiteral("mute-at"),
        QStringLiteral("Never answer record n: the instrument falls silent there."),
        QStringLiteral("n"));
    const QCommandLineOption lineTiming(
        QStringLiteral("line-timing"),
        QStringLiteral("Answer as over a real cable: after the request's and the answer's bytes' "
                       "time at 38400 bit/s plus the think time."));
    const QCommandLineOption think(
        QStringLiteral("think"),
        QStringLiteral("With --line-timing, the instrument's time to answer (default 3)."),
        QStringLiteral("ms"), QStringLiteral("3"));
    const QCommandLineOption dropCloser(
        QStringLiteral("drop-closer-than"),
        QStringLiteral("Drop every answer that would follow the previous one by less than ms "
                       "milliseconds: an instrument that cannot keep up."),
        QStringLiteral("ms"));
    parser.addOptions(
        {channels, records, countByte, link, verbose, late, muteAt, lineTiming, think, dropCloser});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    SimulatorConfig config = parser.value(channels) == QLatin1String("6")
                                 ? SimulatorConfig::sixChannels()
                                 : SimulatorConfig();
    bool ok = false;
    config.recordCount = parser.value(records).toUInt(&ok);
    if (!ok) {
        err << "trellmo-sim: --records needs a number\n";
        return 2;
    }
    if (parser.isSet(countByte)) {
        const uint value = parser.value(countByte).toUInt(&ok, 0);
        if (!ok || value > 0xFF) {
            err << "trellmo-sim: --count-byte needs a byte value\n";
            return 2;
        }
        config.channelCountByte = static_cast<quint8>(value);
    }

    config.lineTiming = parser.isSet(lineTiming);
    config.thinkMs = parser.value(think).toDouble(&ok);
    if (!ok || config.thinkMs < 0) {
        err << "trellmo-sim: --think needs milliseconds\n";
        return 2;
    }
    if (parser.isSet(dropCloser)) {
        config.minAnswerSpacingMs = parser.value(dropCloser).toInt(&ok);
        if (!ok || config.minAnswerSpacingMs < 0) {
            err << "trellmo-sim: --drop-closer-than needs milliseconds\n";
            return 2;
        }
    }

    InstrumentSimulator simulator(config);
    if (!simulator.isValid()) {
        err << "trellmo-sim: no pseudo-terminal could be opened\n";
        return 1;
    }
    for (const QString& value : parser.values(late)) {
        const QStringList parts = value.split(QLatin1Char(':'));
        bool recordOk = false;
        bool delayOk = false;
        const uint record = parts.value(0).toUInt(&recordOk);
        const int delayMs = parts.value(1).toInt(&delayOk);
        if (parts.size() != 2 || !recordOk || !delayOk || delayMs < 0) {
            err << "trellmo-sim: --late needs a record number and milliseconds, e.g. 21:96\n";
            return 2;
        }
        simulator.faultRecord(record, SimFault::late(delayMs));
    }
    if (parser.isSet(muteAt)) {
        const uint record = parser.value(muteAt).toUInt(&ok);
        if (!ok) {
            err << "trellmo-sim: --mute-at needs a record number\n";
            return 2;
        }
        // The program asks for this record again and again, so it stays silent from here on.
        simulator.faultRecord(record, SimFault::noAnswer(), 1 << 30);
    }
    out << simulator.slavePath() << Qt::endl;
    if (parser.isSet(link)) {
        const QString folder = parser.value(link);
        QDir().mkpath(folder);
        if (!simulator.linkAs(folder, QStringLiteral("ttyUSB0"))) {
            err << "trellmo-sim: could not link " << folder << "/ttyUSB0\n";
            return 1;
        }
        out << folder << "/ttyUSB0 -> " << simulator.slavePath() << Qt::endl;
    }
    if (parser.isSet(verbose)) {
        QObject::connect(&simulator, &InstrumentSimulator::requestReceived, [&](int number) {
            const SimRequest& r = simulator.requests().at(number - 1);
            out << number << ": " << r.bytes.toHex(' ') << Qt::endl;
        });
    }
    return app.exec();
}

#include "archivefixtures.h"

#include "model/displaytexts.h"
#include "model/recordstore.h"

#include <QProcess>

ArchiveConfig sixChannelConfig() {
    ArchiveConfig config;
    config.channels = 6;
    const char* gases[] = {"CO", "H2S", "O2", "EX", "NO2", "SO2"};
    const char* units[] = {"PPM", "PPM", "%VOL", "%LEL", "PPM", "PPM"};
    for (int i = 0; i < 6; ++i) {
        ArchiveChannel& c = config.channel[size_t(i)];
        c.gasCode = i + 1;
        c.gas = QString::fromLatin1(gases[i]);
        c.unitCode = i % 4;
        c.unit = QString::fromLatin1(units[i]);
        c.precisionCode = i % 3;
        c.scale = i % 3 == 0 ? 1 : (i % 3 == 1 ? 10 : 100);
        c.rangeRaw = 1000;
        c.lowAlarmRaw = quint16(50 + i);
        c.highAlarmRaw = quint16(100 + i);
    }
    return config;
}

ArchiveRecord testRecord(quint32 n, int channels, quint32 seed) {
    ArchiveRecord r;
    r.number = n;
    const quint32 minutes = 8 * 60 + n - 1;
    r.time = {25,
              3,
              quint8(7 + minutes / 1440),
              quint8(minutes / 60 % 24),
              quint8(minutes % 60),
              quint8(seed % 60)};
    for (int i = 0; i < channels; ++i) {
        r.readings[size_t(i)] = quint16((n * 7 + quint32(i) * 13 + seed) % 2000);
    }
    return r;
}

ArchiveBatch testBatch(const QString& memoryKey, quint32 first, quint32 last,
                       const ArchiveConfig& config, quint32 seed) {
    ArchiveBatch batch;
    batch.memoryKey = memoryKey;
    batch.download.config = config;
    batch.fingerprint = memoryFingerprint(config, testRecord(1, config.channels, seed));
    batch.download.downloadKey = memoryKey + QStringLiteral("-download");
    batch.download.downloadedAt = QDateTime(QDate(2025, 3, 8), QTime(17, 30));
    batch.download.port = QStringLiteral("COM1");
    batch.download.recordTotal = last;
    for (quint32 n = first; n <= last; ++n) {
        batch.records.push_back(testRecord(n, config.channels, seed));
    }
    return batch;
}

void fillStore(RecordStore& store, quint32 first, quint32 last) {
    const ArchiveConfig config = sixChannelConfig();
    ChannelTexts gases;
    ChannelTexts units;
    ChannelPrecisions precisions{};
    for (size_t i = 0; i < 6; ++i) {
        gases[i] = config.channel[i].gas;
        units[i] = config.channel[i].unit;
        precisions[i] = config.channel[i].precisionCode;
    }
    for (quint32 n = first; n <= last; ++n) {
        const ArchiveRecord r = testRecord(n);
        RecordValues values;
        values.time = r.time;
        values.channels = 6;
        for (size_t i = 0; i < 6; ++i) {
            values.readings[i] = *r.readings[i];
        }
        const quint32 row = n - first;
        const RecordRowTexts texts = recordRowTextsOf(values, 6, gases, units, precisions);
        store.setCell(RecordColumn::kTime, row, texts.time);
        for (int c = 1; c <= 6; ++c) {
            store.setCell(RecordColumn::gas(c), row, texts.cells[size_t(c - 1)].gas);
            store.setCell(RecordColumn::reading(c), row, texts.cells[size_t(c - 1)].reading);
            store.setCell(RecordColumn::unit(c), row, texts.cells[size_t(c - 1)].unit);
        }
        store.setRecord(row, n, values);
    }
}

QStringList pythonSqlite(const QString& path, const QString& sql) {
    const QString script = QStringLiteral("import sqlite3, sys\n"
                                          "db = sqlite3.connect(sys.argv[1])\n"
                                          "cur = db.execute(sys.argv[2])\n"
                                          "print('|'.join(d[0] for d in cur.description))\n"
                                          "for row in cur:\n"
                                          "    print('|'.join(repr(v) for v in row))\n");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path, sql});
    python.waitForFinished(60000);
    QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    if (python.exitCode() != 0) {
        lines.prepend(QString::fromUtf8(python.readAllStandardError()));
    }
    return lines;
}

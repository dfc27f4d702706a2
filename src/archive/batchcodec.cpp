#include "archive/batchcodec.h"

#include <QDataStream>
#include <QIODevice>

namespace {

constexpr quint32 kFormat = 1;

void write(QDataStream& out, const ArchiveConfig& config) {
    out << qint32(config.channels);
    for (const ArchiveChannel& c : config.channel) {
        out << qint32(c.gasCode) << c.gas << qint32(c.unitCode) << c.unit << qint32(c.precisionCode)
            << qint32(c.scale) << c.rangeRaw << c.lowAlarmRaw << c.highAlarmRaw;
    }
}

void read(QDataStream& in, ArchiveConfig& config) {
    qint32 channels = 0;
    in >> channels;
    config.channels = channels;
    for (ArchiveChannel& c : config.channel) {
        qint32 gas = 0;
        qint32 unit = 0;
        qint32 precision = 0;
        qint32 scale = 0;
        in >> gas >> c.gas >> unit >> c.unit >> precision >> scale >> c.rangeRaw >> c.lowAlarmRaw >>
            c.highAlarmRaw;
        c.gasCode = gas;
        c.unitCode = unit;
        c.precisionCode = precision;
        c.scale = scale;
    }
}

} // namespace

QByteArray encodeBatch(const ArchiveBatch& batch) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const DownloadInfo& d = batch.download;
    out << kFormat << batch.memoryKey << batch.fingerprint << d.downloadKey << d.downloadedAt
        << d.port << d.recordTotal << qint32(batch.end);
    write(out, d.config);
    out << quint32(batch.records.size());
    for (const ArchiveRecord& r : batch.records) {
        out << r.number;
        for (const quint8 byte : r.time) {
            out << byte;
        }
        // A bit per channel says which readings were sent.
        quint8 present = 0;
        for (size_t c = 0; c < r.readings.size(); ++c) {
            present |= r.readings[c] ? quint8(1U << c) : quint8(0);
        }
        out << present;
        for (const auto& reading : r.readings) {
            if (reading) {
                out << *reading;
            }
        }
    }
    return bytes;
}

std::optional<ArchiveBatch> decodeBatch(const QByteArray& bytes) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 format = 0;
    in >> format;
    if (format != kFormat) {
        return std::nullopt;
    }
    ArchiveBatch batch;
    DownloadInfo& d = batch.download;
    qint32 end = 0;
    in >> batch.memoryKey >> batch.fingerprint >> d.downloadKey >> d.downloadedAt >> d.port >>
        d.recordTotal >> end;
    batch.end = static_cast<DownloadEnd>(end);
    read(in, d.config);
    quint32 count = 0;
    in >> count;
    // Bounded by what the bytes can hold: a record takes at least 11 of them.
    if (in.status() != QDataStream::Ok || count > quint32(bytes.size() / 11)) {
        return std::nullopt;
    }
    batch.records.resize(count);
    for (ArchiveRecord& r : batch.records) {
        in >> r.number;
        for (quint8& byte : r.time) {
            in >> byte;
        }
        quint8 present = 0;
        in >> present;
        for (size_t c = 0; c < r.readings.size(); ++c) {
            if ((present & (1U << c)) != 0) {
                quint16 value = 0;
                in >> value;
                r.readings[c] = value;
            }
        }
    }
    if (in.status() != QDataStream::Ok || end < 0 || end > int(DownloadEnd::Imported)) {
        return std::nullopt;
    }
    return batch;
}

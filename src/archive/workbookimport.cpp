#include "archive/workbookimport.h"

#include "records/recordsheet.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <cmath>

namespace {

ArchiveConfig configOf(const RecordSheet& sheet, qsizetype record) {
    ArchiveConfig config;
    config.channels = sheet.channelCount > 4 ? 6 : 4;
    for (int c = 1; c <= std::min(sheet.channelCount, kArchiveChannels); ++c) {
        const RecordCell& cell = sheet.cell(record, c);
        ArchiveChannel& ch = config.channel[static_cast<size_t>(c - 1)];
        ch.gas = sheet.text(cell.gas);
        ch.unit = sheet.text(cell.unit);
        ch.precisionCode = std::max<int>(0, cell.decimals);
        ch.scale = int(std::lround(std::pow(10.0, ch.precisionCode)));
    }
    return config;
}

std::optional<ArchiveRecord> recordOf(const RecordSheet& sheet, qsizetype index,
                                      const ArchiveConfig& config) {
    const RecordTime time = sheet.times[size_t(index)];
    if (time == RecordSheet::kNoTime) {
        return std::nullopt;
    }
    const QDateTime at = QDateTime::fromSecsSinceEpoch(time, Qt::UTC);
    const int year = at.date().year() - 2000;
    if (year < 0 || year > 255) {
        return std::nullopt;
    }
    ArchiveRecord record;
    record.time = {quint8(year),
                   quint8(at.date().month()),
                   quint8(at.date().day()),
                   quint8(at.time().hour()),
                   quint8(at.time().minute()),
                   quint8(at.time().second())};
    for (int c = 1; c <= std::min(sheet.channelCount, kArchiveChannels); ++c) {
        const double value = sheet.cell(index, c).value;
        const double raw = value * config.channel[size_t(c - 1)].scale;
        if (!std::isnan(value) && raw >= 0 && raw <= 65535) {
            record.readings[size_t(c - 1)] = quint16(std::lround(raw));
        }
    }
    return record;
}

QString shortHash(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(40));
}

// One run of records under one configuration becomes one batch of an imported memory.
ArchiveBatch batchFor(const QString& path, int group, const ArchiveConfig& config) {
    ArchiveBatch batch;
    batch.memoryKey = QStringLiteral("import:") + shortHash(config.key());
    batch.fingerprint = QStringLiteral("import|") + config.key();
    batch.download.downloadKey = QStringLiteral("import:%1:%2")
                                     .arg(shortHash(QFileInfo(path).absoluteFilePath()))
                                     .arg(group);
    batch.download.downloadedAt = QFileInfo(path).lastModified();
    batch.download.port = QFileInfo(path).fileName();
    batch.download.config = config;
    batch.end = DownloadEnd::Imported;
    return batch;
}

bool storeGroup(ArchiveStore& store, ArchiveBatch& batch, ImportReport& report) {
    if (batch.records.empty()) {
        return true;
    }
    quint32 number = store.nextRecordNumber(batch.memoryKey);
    for (ArchiveRecord& r : batch.records) {
        r.number = number++;
    }
    batch.download.recordTotal = quint32(batch.records.size());
    const ArchiveStore::StoreResult result = store.store(batch);
    if (!result.ok) {
        report.failure = result.message;
        return false;
    }
    report.added += result.added;
    return true;
}

bool importSheet(ArchiveStore& store, const RecordSheet& sheet, ImportReport& report) {
    RecordTime first = std::numeric_limits<RecordTime>::max();
    RecordTime last = std::numeric_limits<RecordTime>::min();
    for (const RecordTime t : sheet.times) {
        if (t != RecordSheet::kNoTime) {
            first = std::min(first, t);
            last = std::max(last, t);
        }
    }
    if (first > last) {
        return true;
    }
    QSet<QString> known = store.contentKeys(isoRecordTime(first), isoRecordTime(last));
    int group = 0;
    ArchiveBatch batch;
    QString currentKey;
    for (qsizetype i = 0; i < sheet.recordCount(); ++i) {
        const ArchiveConfig config = configOf(sheet, i);
        if (config.key() != currentKey) {
            if (!storeGroup(store, batch, report)) {
                return false;
            }
            currentKey = config.key();
            batch = batchFor(sheet.path, group++, config);
        }
        const auto record = recordOf(sheet, i, config);
        if (!record) {
            continue;
        }
        const QString key = ArchiveStore::contentKey(config.channels, *record);
        if (known.contains(key)) {
            ++report.alreadyThere;
            continue;
        }
        known.insert(key);
        batch.records.push_back(*record);
    }
    return storeGroup(store, batch, report);
}

} // namespace

bool workbooksHold(const QStringList& paths, const ArchiveRecord& record) {
    for (const QString& path : paths) {
        const RecordSheetRead read = readRecordSheet(path);
        if (!read.sheet) {
            continue;
        }
        const RecordSheet& sheet = *read.sheet;
        for (qsizetype i = sheet.recordCount() - 1; i >= 0; --i) {
            const auto found = recordOf(sheet, i, configOf(sheet, i));
            if (found && found->sameContent(record)) {
                return true;
            }
        }
    }
    return false;
}

ImportReport importWorkbooks(ArchiveStore& store, const QStringList& paths,
                             const std::function<void(int, int)>& progress) {
    ImportReport report;
    for (int i = 0; i < paths.size(); ++i) {
        const RecordSheetRead read = readRecordSheet(paths[i]);
        if (!read.sheet) {
            report.refused << QStringLiteral("%1: %2").arg(QFileInfo(paths[i]).fileName(),
                                                           read.problem);
        } else if (!importSheet(store, *read.sheet, report)) {
            break;
        } else {
            ++report.files;
        }
        if (progress) {
            progress(i + 1, int(paths.size()));
        }
    }
    return report;
}

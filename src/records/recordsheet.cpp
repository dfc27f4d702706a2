#include "records/recordsheet.h"

#include "export/recordworkbook.h"
#include "records/readingtext.h"
#include "records/readprogress.h"
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xlsworkbookstore.h"

#include <QFileInfo>

namespace {

constexpr int kMaxChannels = 6;

struct ChannelColumns {
    int gas = -1;
    int conc = -1;
    int unit = -1;
};

struct SheetColumns {
    int time = -1;
    std::vector<ChannelColumns> channels;
};

SheetColumns findColumns(const WorkbookResult& result) {
    QHash<QString, int> byName;
    for (int column = result.columnCount() - 1; column >= 0; --column) {
        byName.insert(result.columnName(column), column); // the first of equal captions wins
    }
    SheetColumns found;
    found.time = byName.value(QStringLiteral("Time"), -1);
    for (int channel = 1; channel <= kMaxChannels; ++channel) {
        const QString prefix = QStringLiteral("CH%1 ").arg(channel);
        ChannelColumns columns{byName.value(prefix + QStringLiteral("Gas"), -1),
                               byName.value(prefix + QStringLiteral("Conc"), -1),
                               byName.value(prefix + QStringLiteral("Unit"), -1)};
        if (columns.gas < 0 || columns.conc < 0 || columns.unit < 0) {
            break;
        }
        found.channels.push_back(columns);
    }
    return found;
}

// Gas names and units repeat in every row: each distinct text is kept once. A channel's cell
// is almost always the text of the row before, which is checked first.
class TextPool {
public:
    explicit TextPool(std::vector<QString>& texts) : m_texts(texts) {
        m_texts.assign(1, QString());
        m_index.insert(QString(), 0);
    }

    quint32 intern(QStringView text) {
        text = text.trimmed();
        const auto found = m_index.constFind(text.toString());
        if (found != m_index.cend()) {
            return *found;
        }
        const quint32 index = quint32(m_texts.size());
        m_texts.push_back(text.toString());
        m_index.insert(m_texts.back(), index);
        return index;
    }

private:
    std::vector<QString>& m_texts;
    QHash<QString, quint32> m_index;
};

class RepeatCache {
public:
    quint32 intern(TextPool& pool, QStringView raw) {
        if (m_valid && raw == m_raw) {
            return m_index;
        }
        m_raw = raw.toString();
        m_index = pool.intern(raw);
        m_valid = true;
        return m_index;
    }

private:
    QString m_raw;
    quint32 m_index = 0;
    bool m_valid = false;
};

bool isBlank(QStringView cell) {
    for (QChar c : cell) {
        if (!c.isSpace()) {
            return false;
        }
    }
    return true;
}

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

QString captionsProblem(const QString& path) {
    return QStringLiteral("%1 is no record workbook: its sheet \"%2\" lacks the captions "
                          "\"Time\", \"CH1 Gas\", \"CH1 Conc\" and \"CH1 Unit\".")
        .arg(fileName(path), recordSheetName());
}

RecordSheetRead failure(QString problem) {
    return RecordSheetRead{nullptr, std::move(problem)};
}

} // namespace

QString RecordSheet::timeText(qsizetype record) const {
    const RecordTime time = times[size_t(record)];
    if (time != kNoTime) {
        return recordTimeText(time);
    }
    return texts[unreadableTimes.value(record, 0)];
}

QString RecordSheet::readingText(qsizetype record, int channel) const {
    const RecordCell& c = cell(record, channel);
    if (c.value != c.value) { // NaN
        return texts[c.reading];
    }
    if (c.decimals == ReadingNumber::kShortest) {
        return QString::number(c.value, 'g', 15);
    }
    return QString::number(c.value, 'f', c.decimals);
}

QStringList RecordSheet::captions() const {
    QStringList captions{QStringLiteral("Time")};
    for (int channel = 1; channel <= channelCount; ++channel) {
        captions << QStringLiteral("CH%1 Gas").arg(channel)
                 << QStringLiteral("CH%1 Conc").arg(channel)
                 << QStringLiteral("CH%1 Unit").arg(channel);
    }
    return captions;
}

namespace {

// The "Storage" sheet of a workbook, open for reading.
struct OpenStorage {
    XlsWorkbookStore store;
    std::unique_ptr<WorkbookResult> result;
    SheetColumns columns;
};

// False with the reason when the file is no record workbook.
bool openStorage(const QString& path, OpenStorage& open, QString& problem) {
    // The connection names no CREATE_DB: a missing file is refused, never created. The store
    // writes a file only when a statement changed its book, and only SELECT is sent here.
    const QString connectText =
        QStringLiteral("DRIVER={%1};DSN='';FIRSTROWHASNAMES=1;READONLY=TRUE;DBQ=%2")
            .arg(XlsWorkbookStore::kDriverName, path);
    QString select = QStringLiteral("SELECT * FROM [");
    sqlquote::appendNameText(select, recordSheetName());
    select += QStringLiteral("$A1:IV65536]");
    try {
        open.store.connect(connectText);
        open.result = open.store.openForwardOnly(select);
    } catch (const WorkbookConnectError& error) {
        problem = QString::fromUtf8(error.what()).trimmed();
        return false;
    } catch (const WorkbookStatementError&) {
        problem = QStringLiteral("%1 is no record workbook: it has no sheet \"%2\".")
                      .arg(fileName(path), recordSheetName());
        return false;
    }
    open.columns = findColumns(*open.result);
    if (open.columns.time < 0 || open.columns.channels.empty()) {
        problem = captionsProblem(path);
        return false;
    }
    return true;
}

bool isEmptyRecord(const std::vector<QStringView>& cells, const SheetColumns& columns) {
    if (!isBlank(cells[size_t(columns.time)])) {
        return false;
    }
    for (const ChannelColumns& c : columns.channels) {
        if (!isBlank(cells[size_t(c.gas)]) || !isBlank(cells[size_t(c.conc)]) ||
            !isBlank(cells[size_t(c.unit)])) {
            return false;
        }
    }
    return true;
}

void closeStorage(OpenStorage& open) {
    open.result.reset();
    QString ignored;
    (void)open.store.disconnect(ignored); // nothing was changed, so nothing is written
}

} // namespace

std::optional<qsizetype> countRecords(const QString& path, QString& problem) {
    OpenStorage open;
    if (!openStorage(path, open, problem)) {
        return std::nullopt;
    }
    const size_t width = size_t(open.result->columnCount());
    std::vector<QStringView> cells(width);
    std::vector<QString> storage(width);
    qsizetype records = 0;
    try {
        for (; !open.result->atEnd(); open.result->moveNext()) {
            open.result->viewRow(cells, storage);
            if (!isEmptyRecord(cells, open.columns)) {
                ++records;
            }
        }
    } catch (const WorkbookStatementError& error) {
        problem = QString::fromUtf8(error.what()).trimmed();
        return std::nullopt;
    }
    closeStorage(open);
    return records;
}

RecordSheetRead readRecordSheet(const QString& path, ReadProgress* progress) {
    OpenStorage open;
    QString problem;
    if (!openStorage(path, open, problem)) {
        return failure(problem);
    }
    const SheetColumns& columns = open.columns;
    const std::unique_ptr<WorkbookResult>& result = open.result;

    auto sheet = std::make_shared<RecordSheet>();
    sheet->path = path;
    sheet->channelCount = int(columns.channels.size());
    const size_t channels = columns.channels.size();
    const qsizetype expected = std::max<qsizetype>(result->rowCountHint(), 1);
    sheet->times.reserve(size_t(expected));
    sheet->cells.reserve(size_t(expected) * channels);

    TextPool pool(sheet->texts);
    std::vector<RepeatCache> gasCache(channels), unitCache(channels);
    const size_t width = size_t(result->columnCount());
    std::vector<QStringView> cells(width);
    std::vector<QString> storage(width);
    qsizetype rowsSeen = 0;
    try {
        for (; !result->atEnd(); result->moveNext(), ++rowsSeen) {
            if (progress) {
                if ((rowsSeen & 0x3ff) == 0) {
                    if (progress->cancelled.load(std::memory_order_relaxed)) {
                        return failure(QString());
                    }
                    progress->percent.store(
                        int(std::min<qsizetype>(100, rowsSeen * 100 / expected)),
                        std::memory_order_relaxed);
                }
            }
            result->viewRow(cells, storage);
            if (isEmptyRecord(cells, columns)) {
                continue;
            }

            const QStringView timeCell = cells[size_t(columns.time)];
            const std::optional<RecordTime> time = parseRecordTime(timeCell);
            if (!time) {
                sheet->unreadableTimes.insert(sheet->recordCount(), pool.intern(timeCell));
            }
            sheet->times.push_back(time ? *time : RecordSheet::kNoTime);

            for (size_t ch = 0; ch < channels; ++ch) {
                const ChannelColumns& c = columns.channels[ch];
                RecordCell cell;
                cell.gas = gasCache[ch].intern(pool, cells[size_t(c.gas)]);
                cell.unit = unitCache[ch].intern(pool, cells[size_t(c.unit)]);
                if (const auto number = parseReading(cells[size_t(c.conc)])) {
                    cell.value = number->value;
                    cell.decimals = qint8(number->decimals);
                } else {
                    cell.reading = pool.intern(cells[size_t(c.conc)]);
                }
                sheet->cells.push_back(cell);
            }
        }
    } catch (const WorkbookStatementError& error) {
        return failure(QStringLiteral("%1 could not be read to its end: %2")
                           .arg(fileName(path), QString::fromUtf8(error.what()).trimmed()));
    }
    closeStorage(open);
    if (progress) {
        progress->percent.store(100, std::memory_order_relaxed);
    }
    sheet->times.shrink_to_fit();
    sheet->cells.shrink_to_fit();
    return RecordSheetRead{std::move(sheet), QString()};
}

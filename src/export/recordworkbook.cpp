#include "export/recordworkbook.h"

#include "model/recordstore.h"

#include <QDir>

QString RecordFolder() {
    return QDir::homePath() + QStringLiteral("/TRELLMO_RECORD_DATA");
}

QString RecordWorkbookName(ChannelLayout layout, const QDate& date) {
    // strftime's %y: the year within its century, two digits.
    return QString::asprintf("C%d-%02d-%02d-%02d.xls", ChannelCountOf(layout),
                             ((date.year() % 100) + 100) % 100, date.month(), date.day());
}

QString RecordSheetName() {
    return QStringLiteral("Storage");
}

QStringList RecordCaptions(ChannelLayout layout) {
    QStringList captions{QStringLiteral("Time")};
    for (int ch = 1; ch <= ChannelCountOf(layout); ++ch) {
        captions << QStringLiteral("CH%1 Gas").arg(ch) << QStringLiteral("CH%1 Conc").arg(ch)
                 << QStringLiteral("CH%1 Unit").arg(ch);
    }
    return captions;
}

QStringList RecordRowCells(ChannelLayout layout, const RecordStore& store, quint32 row) {
    QStringList cells;
    cells.reserve(1 + 3 * ChannelCountOf(layout));
    cells << store.cell(RecordColumn::kTime, row);
    for (int ch = 1; ch <= ChannelCountOf(layout); ++ch) {
        cells << store.cell(RecordColumn::Gas(ch), row)
              << store.cell(RecordColumn::Reading(ch), row)
              << store.cell(RecordColumn::Unit(ch), row);
    }
    return cells;
}

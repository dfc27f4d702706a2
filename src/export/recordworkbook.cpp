#include "export/recordworkbook.h"

#include "model/recordstore.h"

#include <QDir>

namespace {

int channelCount(ChannelLayout layout) {
    return layout == ChannelLayout::Six ? 6 : 4;
}

// Store columns: 0 time, 1-6 gas, 7-12 concentration, 13-18 unit of channels 1-6.
constexpr int kGasColumn = 0;
constexpr int kConcColumn = 6;
constexpr int kUnitColumn = 12;

} // namespace

QString RecordFolder() {
    return QDir::homePath() + QStringLiteral("/TRELLMO_RECORD_DATA");
}

QString RecordWorkbookName(ChannelLayout layout, const QDate& date) {
    // strftime's %y: the year within its century, two digits.
    return QString::asprintf("C%d-%02d-%02d-%02d.xls", channelCount(layout),
                             ((date.year() % 100) + 100) % 100, date.month(), date.day());
}

QString RecordSheetName() {
    return QStringLiteral("Storage");
}

QStringList RecordCaptions(ChannelLayout layout) {
    QStringList captions{QStringLiteral("Time")};
    for (int ch = 1; ch <= channelCount(layout); ++ch) {
        captions << QStringLiteral("CH%1 Gas").arg(ch) << QStringLiteral("CH%1 Conc").arg(ch)
                 << QStringLiteral("CH%1 Unit").arg(ch);
    }
    return captions;
}

QStringList RecordRowCells(ChannelLayout layout, const RecordStore& store, quint32 row) {
    QStringList cells;
    cells.reserve(1 + 3 * channelCount(layout));
    cells << store.cell(0, row);
    for (int ch = 1; ch <= channelCount(layout); ++ch) {
        cells << store.cell(kGasColumn + ch, row) << store.cell(kConcColumn + ch, row)
              << store.cell(kUnitColumn + ch, row);
    }
    return cells;
}

#include "export/recordworkbook.h"

#include "model/recordstore.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QString recordFolder() {
    return QDir::homePath() + QStringLiteral("/TRELLMO_RECORD_DATA");
}

QString recordWorkbookName(ChannelLayout layout, const QDate& date) {
    // strftime's %y: the year within its century, two digits.
    return QString::asprintf("C%d-%02d-%02d-%02d.xls", channelCountOf(layout),
                             ((date.year() % 100) + 100) % 100, date.month(), date.day());
}

namespace {

// "name" and ".xls" of "folder/name.xls"; a name without extension has an empty one.
void splitName(const QString& workbookPath, QString& folder, QString& stem, QString& extension) {
    const QFileInfo info(workbookPath);
    folder = info.path();
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    stem = dot > 0 ? name.left(dot) : name;
    extension = dot > 0 ? name.mid(dot) : QString();
}

} // namespace

QString continuationWorkbookPath(const QString& workbookPath, int n) {
    QString folder, stem, extension;
    splitName(workbookPath, folder, stem, extension);
    return folder + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(n) + extension;
}

QString newestWorkbookOfChain(const QString& workbookPath, int& n) {
    QString folder, stem, extension;
    splitName(workbookPath, folder, stem, extension);
    const QRegularExpression continuation(QLatin1Char('^') + QRegularExpression::escape(stem) +
                                          QStringLiteral(" \\(([1-9][0-9]{0,8})\\)") +
                                          QRegularExpression::escape(extension) + QLatin1Char('$'));
    n = 1;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        const QRegularExpressionMatch match = continuation.match(entry);
        if (match.hasMatch()) {
            n = std::max(n, match.captured(1).toInt());
        }
    }
    return n == 1 ? workbookPath : continuationWorkbookPath(workbookPath, n);
}

QString recordSheetName() {
    return QStringLiteral("Storage");
}

QStringList recordCaptions(ChannelLayout layout) {
    QStringList captions{QStringLiteral("Time")};
    for (int ch = 1; ch <= channelCountOf(layout); ++ch) {
        captions << QStringLiteral("CH%1 Gas").arg(ch) << QStringLiteral("CH%1 Conc").arg(ch)
                 << QStringLiteral("CH%1 Unit").arg(ch);
    }
    return captions;
}

QStringList recordRowCells(ChannelLayout layout, const RecordStore& store, quint32 row) {
    QStringList cells;
    cells.reserve(1 + 3 * channelCountOf(layout));
    cells << store.cell(RecordColumn::kTime, row);
    for (int ch = 1; ch <= channelCountOf(layout); ++ch) {
        cells << store.cell(RecordColumn::gas(ch), row)
              << store.cell(RecordColumn::reading(ch), row)
              << store.cell(RecordColumn::unit(ch), row);
    }
    return cells;
}

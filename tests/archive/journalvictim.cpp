// A download's workbook and archive side in a process of its own, killed (SIGKILL) around its
// second batch of 1000 records:
//
//   archive_journal_victim FOLDER before-workbook|after-workbook|after-batch
//
// Writes records 1..1000 into the day workbook and the SQLite archive in FOLDER and waits until
// the archive holds them; then hands over records 1001..2000 and kills itself before their
// workbook write, right after it (before the batch journal heard of it), or once the batch
// went on to the archive.
#include "archivefixtures.h"

#include "archive/archivefeed.h"
#include "export/recordexporter.h"
#include "model/recordstore.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

namespace {

class KillingExporter : public BatchExporter {
public:
    KillingExporter(RecordExporter& workbooks, QString mode)
        : m_workbooks(workbooks), m_mode(std::move(mode)) {}

    bool exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) override {
        const bool last = ++m_batches == 2;
        if (last && m_mode == QLatin1String("before-workbook")) {
            std::raise(SIGKILL);
        }
        const bool written = m_workbooks.exportBatch(layout, store, rowCount);
        if (last && m_mode == QLatin1String("after-workbook")) {
            std::raise(SIGKILL);
        }
        return written;
    }
    QStringList destinations(ChannelLayout layout) const override {
        return m_workbooks.destinations(layout);
    }

private:
    RecordExporter& m_workbooks;
    QString m_mode;
    int m_batches = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: archive_journal_victim FOLDER MODE\n");
        return 2;
    }
    const QString folder = args[1];
    RecordExporter workbooks(folder, [] { return QDate(2025, 3, 7); });
    KillingExporter exporter(workbooks, args[2]);
    ArchiveService archive;
    archive.openFile(folder + QStringLiteral("/trellmo-archive.sqlite"));
    ArchiveFeed feed(exporter, archive, folder + QStringLiteral("/trellmo-journal.sqlite"));
    QObject::connect(&archive, &ArchiveService::stored,
                     [&feed](const ArchiveStoreReport& report) { feed.archived(report); });
    feed.startDownload(testBatch(QStringLiteral("m"), 1, 2000).download);
    feed.setMemory(QStringLiteral("m"), {});

    RecordStore store;
    fillStore(store, 1, 1000);
    if (!feed.exportBatch(ChannelLayout::Six, store, 1000) || !archive.finish(30000)) {
        return 1;
    }
    QCoreApplication::processEvents();
    fillStore(store, 1001, 2000);
    (void)feed.exportBatch(ChannelLayout::Six, store, 1000);
    std::raise(SIGKILL);
    return 1;
}

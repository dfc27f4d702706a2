// A copy of the program's archive side in a process of its own, for the tests of several PCs
// writing one server archive and of a program killed while its outbox holds records.
//
//   serverarchive_writer URL OUTBOX [MEMORY FIRST LAST]...
//
// Opens the archive at URL with its outbox file (sending what an earlier run left there), then
// stores records FIRST..LAST of each MEMORY in batches of 1000, as a download hands them over.
// Prints the batches still waiting; exits 0 when none is left.
#include "archivefixtures.h"

#include "archive/archiveservice.h"
#include "archive/archiveworker.h"
#include "serverarchive/archivelocation.h"
#include "serverarchive/serveropener.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || (args.size() - 3) % 3 != 0) {
        std::fprintf(stderr, "usage: serverarchive_writer URL OUTBOX [MEMORY FIRST LAST]...\n");
        return 2;
    }
    const ArchiveLocation::Parsed parsed = ArchiveLocation::parse(args[1], QStringLiteral("/"));
    if (!parsed.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
        return 2;
    }
    ArchiveWorker worker(QStringLiteral("writer"));
    QString error;
    if (!worker.useOutbox(args[2], &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const ArchiveLocation location = parsed.location;
    const ArchiveStore::Status status =
        worker.open([location](ArchiveStore& store) { return openServerArchive(store, location); });
    // One retry sends what the outbox holds a share at a time, as the program's retry timer
    // does: go on while it makes progress.
    for (int waiting = worker.pending(); status.ok && waiting > 0;) {
        const ArchiveStoreReport report = worker.retry();
        if (!report.ok) {
            std::fprintf(stderr, "%s\n", qPrintable(report.message));
        }
        const int left = worker.pending();
        if (left >= waiting) {
            break;
        }
        waiting = left;
    }
    for (int i = 3; i + 2 < args.size(); i += 3) {
        const quint32 first = args[i + 1].toUInt();
        const quint32 last = args[i + 2].toUInt();
        for (quint32 start = first; start <= last; start += 1000) {
            // Each instrument its own readings, the same in every process.
            quint32 seed = 0;
            for (const QChar c : args[i]) {
                seed = seed * 31 + c.unicode();
            }
            ArchiveBatch batch =
                testBatch(args[i], start, qMin(last, start + 999), sixChannelConfig(), seed % 1000);
            // Each process is a download of its own, as at another PC.
            batch.download.downloadKey +=
                QStringLiteral("-%1").arg(QCoreApplication::applicationPid());
            (void)worker.store(std::move(batch));
        }
    }
    std::printf("%d\n", worker.pending());
    return worker.pending() == 0 ? 0 : 1;
}

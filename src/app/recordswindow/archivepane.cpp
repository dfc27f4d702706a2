// The Records window's view of the records archive: its instrument memories, and a time range
// of one of them shown as a day workbook is, with the alarm levels of the downloads that brought
// the records. Everything is read on the archive's thread; the window only shows the result.
#include "app/recordswindow/recordswindow.h"

#include "app/recordswindow/recordschartview.h"
#include "archive/archiveservice.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMemoryIdRole = Qt::UserRole;
constexpr int kLastTakenRole = Qt::UserRole + 1;

struct Span {
    const char* caption;
    qint64 seconds; // 0: everything
};
constexpr Span kSpans[] = {{"Last day", 86400},
                           {"Last week", qint64(7) * 86400},
                           {"Last month", qint64(31) * 86400},
                           {"Everything", 0}};

QString memoryCaption(const MemorySummary& m) {
    return QStringLiteral("Instrument %1: %2 (%3 records, %4 to %5)")
        .arg(m.id)
        .arg(m.gases)
        .arg(m.records)
        .arg(m.firstTakenAt.left(10), m.lastTakenAt.left(10));
}

} // namespace

void RecordsWindow::setArchive(ArchiveService* archive) {
    m_archive = archive;
    if (m_memories == nullptr) {
        buildArchivePane();
    }
    connect(archive, &ArchiveService::memoriesListed, this,
            [this](const QList<MemorySummary>& memories, const QString& error) {
                const qint64 chosen = m_memories->currentData(kMemoryIdRole).toLongLong();
                m_memories->clear();
                for (const MemorySummary& m : memories) {
                    m_memories->addItem(memoryCaption(m));
                    m_memories->setItemData(m_memories->count() - 1, m.id, kMemoryIdRole);
                    m_memories->setItemData(m_memories->count() - 1, m.lastTakenAt, kLastTakenRole);
                }
                const int again = m_memories->findData(chosen, kMemoryIdRole);
                m_memories->setCurrentIndex(again >= 0 ? again : 0);
                m_showArchive->setEnabled(!memories.isEmpty());
                if (!error.isEmpty()) {
                    showStatus(error);
                }
            });
    connect(archive, &ArchiveService::stored, this, [this] { listArchive(); });
    connect(archive, &ArchiveService::sheetLoaded, this,
            [this](quint64 ticket, const ArchiveSheet& sheet, const QString& error) {
                archiveSheetLoaded(ticket, sheet.shape, sheet.sheet, sheet.alarms, error);
            });
    listArchive();
}

void RecordsWindow::buildArchivePane() {
    auto* pane = m_open->parentWidget();
    auto* layout = qobject_cast<QVBoxLayout*>(pane->layout());
    auto* caption = new QLabel(QStringLiteral("Archive"), pane);
    m_memories = new QComboBox(pane);
    m_memories->setObjectName(QStringLiteral("archiveMemories"));
    m_memories->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_span = new QComboBox(pane);
    m_span->setObjectName(QStringLiteral("archiveSpan"));
    for (const Span& span : kSpans) {
        m_span->addItem(QString::fromLatin1(span.caption), span.seconds);
    }
    m_showArchive = new QPushButton(QStringLiteral("Show"), pane);
    m_showArchive->setObjectName(QStringLiteral("archiveShow"));
    m_showArchive->setEnabled(false);
    connect(m_showArchive, &QPushButton::clicked, this, &RecordsWindow::showArchiveRange);
    layout->addWidget(caption);
    layout->addWidget(m_memories);
    layout->addWidget(m_span);
    layout->addWidget(m_showArchive);
}

void RecordsWindow::listArchive() {
    if (m_archive && m_archive->ensureOpen()) {
        m_archive->listMemories();
    }
}

void RecordsWindow::showArchiveRange() {
    if (!m_archive || m_memories->currentIndex() < 0) {
        return;
    }
    const qint64 id = m_memories->currentData(kMemoryIdRole).toLongLong();
    const qint64 seconds = m_span->currentData().toLongLong();
    QString from;
    if (seconds > 0) {
        // The span ends at the memory's last record: the instrument's clock, not today's.
        const QDateTime last =
            QDateTime::fromString(m_memories->currentData(kLastTakenRole).toString(), Qt::ISODate);
        from = last.addSecs(1 - seconds).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    const QString label = QStringLiteral("%1, %2").arg(
        m_memories->currentText().section(QLatin1Char(':'), 0, 0), m_span->currentText());
    showStatus(QStringLiteral("Reading %1 from the archive...").arg(label));
    m_archive->loadSheet(id, from, QString(), label, ++m_archiveTicket);
}

void RecordsWindow::archiveSheetLoaded(quint64 ticket, const std::shared_ptr<RecordShape>& shape,
                                       const std::shared_ptr<const RecordSheet>& sheet,
                                       const std::vector<ChannelAlarm>& alarms,
                                       const QString& error) {
    if (ticket != m_archiveTicket) {
        return; // a later Show has asked since
    }
    if (!error.isEmpty() || !shape || !sheet) {
        showStatus(error.isEmpty() ? QStringLiteral("The archive gave no records") : error);
        return;
    }
    m_archiveAlarms = alarms;
    showShaped(sheet, std::make_unique<RecordShape>(*shape), sheet->path);
    showStatus(QStringLiteral("%1: %2 records, %3 lines")
                   .arg(sheet->path)
                   .arg(m_shape->records)
                   .arg(m_shape->series.size()));
    emit fileShown(sheet->path);
}

#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <vector>

// What the archive stores and answers, typed: the instrument's codes and raw numbers, never the
// texts a window shows. The link and the workbook import build these; the archive store turns
// them into rows.

constexpr int kArchiveChannels = 6;

// One channel of the configuration a download read.
struct ArchiveChannel {
    int gasCode = 0;
    QString gas; // the name the gas code had (user gases included), trimmed
    int unitCode = 0;
    QString unit; // trimmed
    int precisionCode = 0;
    int scale = 1;           // the divisor that makes a raw reading the shown number
    quint16 rangeRaw = 0;    // as sent
    quint16 lowAlarmRaw = 0; // as sent; divided by scale it is the shown level
    quint16 highAlarmRaw = 0;
};

struct ArchiveConfig {
    int channels = 4; // 4 or 6
    std::array<ArchiveChannel, kArchiveChannels> channel{};

    // The part of the configuration that gives the readings their meaning: layout, gases,
    // units, precisions and ranges. Alarm levels are left out: a user may change them without
    // clearing the memory, and every download keeps its own.
    QString key() const;
};

// One download: a press of Download Data (or one imported workbook).
struct DownloadInfo {
    QString downloadKey; // unique per download, chosen by the program
    QDateTime downloadedAt;
    QString port;
    ArchiveConfig config;
    quint32 recordTotal = 0;
};

// One stored record as the instrument sent it.
struct ArchiveRecord {
    quint32 number = 0;
    std::array<quint8, 6> time{}; // year - 2000, month, day, hour, minute, second
    std::array<std::optional<quint16>, kArchiveChannels> readings{}; // empty: no reading

    bool sameContent(const ArchiveRecord& other) const {
        return time == other.time && readings == other.readings;
    }
};

enum class DownloadEnd { Running, Complete, Interrupted, Imported };

// Records of one instrument memory brought by one download, to be stored in one transaction.
struct ArchiveBatch {
    QString memoryKey;   // unique per instrument memory, chosen when it was first seen
    QString fingerprint; // configuration and record 1: how the memory is known again
    DownloadInfo download;
    DownloadEnd end = DownloadEnd::Running;
    std::vector<ArchiveRecord> records;
    qint64 journalId = 0; // its entry in the batch journal; 0: none (not kept with the batch)
};

// A memory the archive holds under a configuration: what the link compares the instrument's
// record 1 and record K against before it decides where a download starts.
struct MemoryCandidate {
    QString memoryKey;
    QString fingerprint;
    std::optional<ArchiveRecord> first; // record 1, when archived
    ArchiveRecord last;                 // the highest record number archived
};

// An instrument memory as the Records window lists it.
struct MemorySummary {
    qint64 id = 0;
    QString memoryKey;
    int channels = 4;
    QString gases; // "CO, H2S, O2, EX"
    qint64 records = 0;
    QString firstTakenAt; // ISO 8601
    QString lastTakenAt;
    QString lastDownloadedAt;
};

// A time range of one memory for the chart: records with the alarm levels of the download that
// brought them.
struct ArchiveReading {
    QString takenAt; // ISO 8601, the instrument's clock
    std::array<double, kArchiveChannels> values{};
    std::array<bool, kArchiveChannels> present{};
    qint64 downloadId = 0;
};

struct ArchiveRange {
    QList<ArchiveReading> readings;
    // Per download id met in readings: its configuration (gases, units, alarm levels).
    QList<QPair<qint64, ArchiveConfig>> downloads;
};

// ISO 8601 text of an instrument time, "2025-03-07T14:07:09"; the bytes as they come.
QString isoTakenAt(const std::array<quint8, 6>& time);
// Whether the time bytes name a real date and time. The instrument's clock is taken as it
// comes (a clock never set sends month and day 0), and a time column of a server cannot hold
// what is no calendar time.
bool isCalendarTime(const std::array<quint8, 6>& time);
// The fingerprint of a memory: its configuration and its record 1.
QString memoryFingerprint(const ArchiveConfig& config, const ArchiveRecord& first);

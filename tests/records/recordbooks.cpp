#include "recordbooks.h"

#include "spreadsheet/xls/xlsbook.h"

#include <QFile>

#include <sys/stat.h>

QStringList recordCaptions(int channels) {
    QStringList captions{QStringLiteral("Time")};
    for (int ch = 1; ch <= channels; ++ch) {
        captions << QStringLiteral("CH%1 Gas").arg(ch) << QStringLiteral("CH%1 Conc").arg(ch)
                 << QStringLiteral("CH%1 Unit").arg(ch);
    }
    return captions;
}

QStringList recordRow(const QString& time, const QList<ChannelTexts>& channels) {
    QStringList row{time};
    for (const ChannelTexts& ch : channels) {
        row << ch.gas << ch.reading << ch.unit;
    }
    return row;
}

QString writeWorkbook(const QString& path, const QList<QStringList>& rows, const QString& sheet) {
    xls::Book book;
    book.sheets.push_back({sheet, {}});
    for (const QStringList& row : rows) {
        book.sheets[0].rows.emplace_back(row.begin(), row.end());
    }
    try {
        const QByteArray bytes = xls::serialize(book);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return file.errorString();
        }
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QList<QStringList> sixChannelDay(int records) {
    static const char* gases[] = {"CO      ", "H2S     ", "O2      ",
                                  "EX      ", "NO2     ", "SO2     "};
    static const char* units[] = {"PPM", "PPM", "%VOL", "%LEL", "PPM", "PPM"};
    QList<QStringList> rows{recordCaptions(6)};
    for (int n = 0; n < records; ++n) {
        const int seconds = n * 3;
        QList<ChannelTexts> channels;
        for (int ch = 0; ch < 6; ++ch) {
            channels.append({QString::fromLatin1(gases[ch]),
                             QString::asprintf("%5.1f", double((n * (ch + 7)) % 2000) / 10.0),
                             QString::fromLatin1(units[ch])});
        }
        rows << recordRow(QString::asprintf("2025-03-07  %02d:%02d:%02d", seconds / 3600 % 24,
                                            seconds / 60 % 60, seconds % 60),
                          channels);
    }
    return rows;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

FileState stateOf(const QString& path) {
    struct stat info {};
    FileState state;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        state.inode = info.st_ino;
    }
    state.bytes = bytesOf(path);
    return state;
}
